// What the layout builders compute themselves: openings found by their wall's id, the default of what an entry
// leaves out, entries that cannot be built skipped and not counted, rooms as closed named zones; and the
// mended faults: the whole input read before the undo step, points that are no finite numbers
// skipped before the host, names cut without splitting a pair, a batch's defaults read once a
// story and its GUIDs no more than a result holds; a zone's label point inside the room.
#include <limits>

#include "QuillmereTest.hpp"
#include "core/OutsideText.hpp"
#include "tools/recognition/PlanLayout.hpp"

namespace {

using Values = std::vector<double>;
const std::string kNumber302 = "[json.exception.type_error.302] type must be number, but is string";
const std::string kValue306 = "[json.exception.type_error.306] cannot use value() with number";

class LayoutBuilder : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        RegisterPaletteTools();
    }
    static std::vector<API_Element> All(API_ElemTypeID type)
    {
        std::vector<API_Element> out;
        for (const API_Guid& g : ListOf(type)) out.push_back(Read(g));
        return out;
    }
};

TEST_F(LayoutBuilder, OpeningsFindTheLastWallOfTheirIdAndWhatCannotBeBuiltIsNotCounted)
{
    const json walls = json::parse(R"([
        {"id":"a","start":[0,0],"end":[6,0]},
        {"id":"refused","start":[1,1],"end":[1,1]},
        {"id":"dup","start":[0,4],"end":[6,4],"thickness":0.2},
        {"id":"dup","start":[0,6],"end":[6,6]}])");
    const json openings = json::parse(R"([
        {"type":"Door","host_wall":"a"},
        {"type":"door","host_wall":"a","sill_height":1.1,"offset":5},
        {"host_wall":"refused"},
        {"host_wall":"nobody","width":"ignored"},
        {"host_wall":"dup"},
        {"host_wall":"a","offset":9}])");
    const json result = Data(Run("build_from_layout", {{"walls", walls}, {"openings", openings}}));
    EXPECT_EQ(result["message"], "3 walls, 2 doors, 1 windows, 0 zones created")
        << "refused wall and opening past the wall's end skipped";
    const auto made = All(API_WallID), doors = All(API_DoorID);
    ASSERT_TRUE(made.size() == 3 && doors.size() == 2 && All(API_WindowID).size() == 1);
    EXPECT_TRUE(doors[1].door.owner == made[2].header.guid) << "the later of two walls of one id hosts";
    EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Build from Layout"});
    // What an entry leaves out: wall "a" sets no sizes, the door on "dup" and the "Door" window only their wall.
    const API_WallType& wall = made[0].wall;
    const API_DoorType& door = doors[1].door;
    const API_WindowType window = All(API_WindowID)[0].window;
    EXPECT_EQ((Values{wall.thickness, wall.height, double(wall.head.floorInd)}), (Values{0.3, 3.0, 0}));
    EXPECT_EQ((Values{door.openingBase.width, door.openingBase.height, door.objLoc}), (Values{0.9, 2.1, 1.0}));
    EXPECT_EQ((Values{window.openingBase.width, window.openingBase.height, window.lower, window.objLoc}),
              (Values{1.2, 1.2, 0.9, 1.0}));
}

TEST_F(LayoutBuilder, ABatchTakesTheDefaultsOfWhatItsWallsLeaveOutInOneStep)
{
    EXPECT_EQ(Data(Run("create_walls_batch", {{"walls", {{{"end_x", 4}}, {{"end_y", 5}}}}}))["message"],
              "2 walls created");
    const API_WallType wall = All(API_WallID).at(1).wall;
    EXPECT_EQ((Values{wall.thickness, wall.height, double(wall.head.floorInd), wall.begC.x, wall.begC.y, wall.endC.x}),
              (Values{0.3, 3.0, 0, 0, 0, 0}));
    EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Create Walls Batch"});
    for (const auto& [tool, prefix] :
         {std::pair{"build_from_layout", "Build failed: "}, {"create_walls_batch", "Batch wall creation failed: "}}) {
        HostTesting::FailNextCall("ACAPI_CallUndoableCommand", APIERR_REFUSEDCMD);
        EXPECT_EQ(Run(tool, {{"walls", json::array()}}).error, prefix + std::to_string(APIERR_REFUSEDCMD));
    }
}

TEST_F(LayoutBuilder, WallsTakeTheStorysLow16BitsAndPointsThatAreNoNumbersNeverReachTheHost)
{
    HostTesting::SetStories({{0, 0.0, "Ground"}, {1, 3.0, "First"}});
    const json wall = {{"start", {0, 0}}, {"end", {3, 0}}};
    EXPECT_EQ(Data(Run("build_from_layout", {{"story", 65537}, {"walls", {wall}}}))["walls_created"], 1);
    EXPECT_EQ(All(API_WallID).back().header.floorInd, 1);
    HostTesting::ClearCallLog();
    const json infinite = {{"walls", {{{"start", {1e308 * 10, 0}}, {"end", {3, 0}}}}}};
    EXPECT_EQ(Data(Run("build_from_layout", infinite))["walls_created"], 0);
    const json noHeight = json::array({{{"end_x", 4}, {"height", std::numeric_limits<double>::infinity()}}});
    EXPECT_EQ(Data(Run("create_walls_batch", {{"walls", noHeight}}))["walls_created"], 0);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 0);

    json walls = json::array();  // more than a result can list, every other one a story up
    for (size_t i = 0; i < kMaxToolResultBytes / 30; ++i)
        walls.push_back({{"end_x", 4}, {"start_y", i}, {"end_y", i}, {"story", i % 2}});
    const size_t before = ListOf(API_WallID).size(), steps = UndoStepCount();
    const std::string text = Run("create_walls_batch", {{"walls", walls}}).message;
    const json guids = json::parse(text.substr(0, text.find('\n')))["guids"];
    const std::vector<API_Guid> made = ListOf(API_WallID);
    EXPECT_EQ(std::make_tuple(HostTesting::CallCount("ACAPI_Element_GetDefaults"), made.size(), UndoStepCount()),
              std::make_tuple(2, before + walls.size(), steps + 1));  // defaults read once a story, one step
    EXPECT_EQ(guids.back(), Text(made[before + guids.size() - 1]));
    EXPECT_NE(text.find(std::to_string(guids.size()) + " of " + std::to_string(walls.size()) + " wall GUIDs"),
              text.npos);
    EXPECT_EQ(Read(made[before + 1]).header.floorInd, 1);
}

TEST_F(LayoutBuilder, RoomsBecomeClosedNamedZonesAndUnusableRoomsAreSkipped)
{
    const std::string emoji = std::string(254, 'e') + "\xF0\x9F\x8F\xA0";  // 254 + 2 UTF-16 units > 255
    const json rooms = {
        {{"polygon", {{0, 0}, {4, 0}, {4, 3}, {0, 3}}}},
        {{"name", "Two points"}, {"polygon", {{0, 0}, {4, 0}}}},
        {{"name", std::string(300, 'n')}, {"polygon", {{0, 0}, {1, 0}, {1, 1}, nullptr, 5}}},
        {{"name", emoji}, {"polygon", {{0, 0}, {1, 0}, {1, 1}}}},
    };
    EXPECT_EQ(Data(Run("build_from_layout", {{"walls", json::array()}, {"rooms", rooms}}))["zones_created"], 3);
    const auto zones = ListOf(API_ZoneID);
    ASSERT_EQ(zones.size(), 3u);
    EXPECT_EQ(std::u16string(Read(zones[0]).zone.roomName), u"Room");
    EXPECT_EQ(HostTesting::GetPolygon(zones[0]), (std::vector<API_Coord>{{0, 0}, {4, 0}, {4, 3}, {0, 3}, {0, 0}}));
    EXPECT_EQ(std::u16string(Read(zones[1]).zone.roomName), std::u16string(255, u'n'));
    EXPECT_EQ(HostTesting::GetPolygon(zones[1]).size(), 4u) << "entries that are no point are left out";
    EXPECT_EQ(std::u16string(Read(zones[2]).zone.roomName), std::u16string(254, u'e')) << "a pair is never split";
    HostTesting::FailAllocation(1, 2);
    EXPECT_EQ(Data(Run("build_from_layout", {{"walls", json::array()}, {"rooms", {rooms[3]}}}))["zones_created"], 0)
        << "a zone whose outline cannot be allocated is not counted";
}

TEST_F(LayoutBuilder, TheWholeInputIsReadBeforeAnythingIsBuilt)
{
    const json twoWalls = json::parse(R"([{"start":[0,0],"end":[3,0]},{"start":[0,2],"end":[3,2],"thickness":"0.2"}])");
    const struct {
        const char* tool;
        json input;
        std::string error;
    } rows[] = {
        {"build_from_layout", {{"walls", twoWalls}}, kNumber302},
        {"build_from_layout", {{"wall_height", "3"}}, kNumber302},  // read before walls are looked for
        {"build_from_layout", json::array(), "walls array is required"},
        {"build_from_layout", {{"walls", json::object()}}, "walls array is required"},
        {"create_walls_batch", {{"walls", {{{"end_x", 3}}, 5}}}, kValue306},
        {"create_walls_batch", {{"walls", 3}}, "walls array is required"},
    };
    for (const auto& row : rows) {
        HostTesting::ClearCallLog();
        EXPECT_EQ(Run(row.tool, row.input).error, row.error) << row.input;
        EXPECT_TRUE(HostTesting::CallLog().empty()) << row.input;
    }
}

}  // namespace

TEST(ZoneLabelPoint, StandsInsideTheRoomWhateverItsShape)
{
    using Outline = std::vector<std::pair<double, double>>;
    struct Rect {
        double x0, y0, x1, y1;
    };
    const struct {
        const char* name;
        Outline outline;
        Rect within;  // the label must stand inside this part of the room
    } cases[] = {
        {"rectangle: its centre", {{0, 0}, {4, 0}, {4, 3}, {0, 3}}, {1.99, 1.49, 2.01, 1.51}},
        {"clockwise, off the origin", {{10, 10}, {10, 13}, {14, 13}, {14, 10}}, {11.99, 11.49, 12.01, 11.51}},
        {"L-shape, centroid in the notch", {{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 4}, {0, 4}}, {0, 0, 4, 1}},
        {"U-shape, centroid in the gap",
         {{0, 0}, {5, 0}, {5, 4}, {4, 4}, {4, 1}, {1, 1}, {1, 4}, {0, 4}},
         {0, 0, 5, 1}},
        {"no area: the mean of its points", {{0, 0}, {2, 0}, {4, 0}}, {2, 0, 2, 0}},
    };
    for (const auto& c : cases) {
        const API_Coord p = PlanLayout::ZoneLabelPoint(c.outline);
        EXPECT_TRUE(p.x >= c.within.x0 && p.x <= c.within.x1 && p.y >= c.within.y0 && p.y <= c.within.y1)
            << c.name << ": (" << p.x << ", " << p.y << ")";
    }
}
