// build_from_layout and create_walls_batch against the emulated host: what each entry becomes,
// what is skipped and counted, one undo step per build, and input refused before anything is built.

#include <limits>

#include "PlanToolsTest.hpp"

namespace {

const std::string kNumber302 = "[json.exception.type_error.302] type must be number, but is string";

class LayoutTest : public PlanToolsTest {
protected:
    json Built(const ToolResult& r)
    {
        EXPECT_TRUE(r.success) << r.error;
        return r.success ? json::parse(r.message) : json::object();
    }
    static std::vector<API_Guid> All(API_ElemTypeID type)
    {
        std::vector<API_Guid> out;
        for (const API_Guid& g : HostTesting::AllElements())
            if (Stored(g).header.type.typeID == type) out.push_back(g);
        return out;
    }
    static API_Element Stored(const API_Guid& g)
    {
        API_Element e;
        BNClear(e);
        HostTesting::GetElement(g, &e);
        return e;
    }
    // Fails with exactly error, creating nothing and opening no undo step.
    void ExpectRefused(const char* tool, const json& input, const std::string& error)
    {
        SCOPED_TRACE(std::string(tool) + " " + input.dump());
        const Footprint before = TakeFootprint();
        HostTesting::ClearCallLog();
        const ToolResult r = Run(tool, input);
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.error, error);
        EXPECT_TRUE(TakeFootprint() == before);
        EXPECT_TRUE(HostTesting::CallLog().empty()) << HostTesting::CallLog()[0].function;
    }
};

const json kTwoWalls =
    json::parse(R"([{"id":"w1","start":[0,0],"end":[5,0]},{"id":"w2","start":[5,0],"end":[5,4],"thickness":0.2}])");

}  // namespace

TEST_F(LayoutTest, TwoWallsAndABareOpeningBuildADoorOnTheSecondWallInOneUndoStep)
{
    const ToolResult r = Run("build_from_layout", {{"walls", kTwoWalls}, {"openings", {{{"host_wall", "w2"}}}}});
    ASSERT_TRUE(r.success) << r.error;
    const std::vector<API_Guid> walls = All(API_WallID), doors = All(API_DoorID);
    ASSERT_EQ(walls.size(), 2u);
    ASSERT_EQ(doors.size(), 1u);
    EXPECT_EQ(
        r.message,
        R"({"doors_created":1,"message":"2 walls, 1 doors, 0 windows, 0 zones created","total_elements":3,"wall_guids":[")" +
            Text(walls[0]) + R"(",")" + Text(walls[1]) +
            R"("],"walls_created":2,"windows_created":0,"zones_created":0})");
    const API_Element door = Stored(doors[0]);
    EXPECT_TRUE(door.door.owner == walls[1]);
    EXPECT_EQ(
        std::make_tuple(door.door.openingBase.width, door.door.openingBase.height, door.door.objLoc, door.door.lower),
        std::make_tuple(0.9, 2.1, 1.0, 0.0));
    const API_Element first = Stored(walls[0]), second = Stored(walls[1]);
    EXPECT_EQ(std::make_tuple(first.wall.thickness, first.wall.height), std::make_tuple(0.3, 3.0))
        << "the host's 0.25 and 2.7 overwritten";
    EXPECT_EQ(second.wall.thickness, 0.2);
    EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Build from Layout"});
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(HostTesting::ElementCount(), 0u) << "one undo takes the whole build back";
}

TEST_F(LayoutTest, OpeningsFindTheirWallsByIdAndTakeTheirKindsDefaults)
{
    const json walls = json::parse(R"([
        {"id":"a","start":[0,0],"end":[6,0]},
        {"id":"refused","start":[1,1],"end":[1,1]},
        {"id":"dup","start":[0,4],"end":[6,4]},
        {"id":"dup","start":[0,6],"end":[6,6]}])");
    const json openings = json::parse(R"([
        {"type":"Door","host_wall":"a","offset":2},
        {"type":"door","host_wall":"a","sill_height":1.1,"offset":5},
        {"host_wall":"refused"},
        {"host_wall":"nobody","width":"ignored"},
        {"host_wall":"dup","offset":3},
        {"host_wall":"a","offset":9}])");
    const json result = Built(Run("build_from_layout", {{"walls", walls}, {"openings", openings}}));
    EXPECT_EQ(result["message"], "3 walls, 2 doors, 1 windows, 0 zones created")
        << "refused wall and opening past the wall's end skipped";
    const std::vector<API_Guid> wallGuids = All(API_WallID), doors = All(API_DoorID), windows = All(API_WindowID);
    ASSERT_EQ(windows.size(), 1u);
    ASSERT_EQ(doors.size(), 2u);
    const API_Element capitalDoor = Stored(windows[0]);
    EXPECT_EQ(std::make_tuple(capitalDoor.window.openingBase.width, capitalDoor.window.openingBase.height,
                              capitalDoor.window.lower, capitalDoor.window.objLoc),
              std::make_tuple(1.2, 1.2, 0.9, 2.0))
        << "only exactly \"door\" makes a door";
    EXPECT_EQ(Stored(doors[0]).door.lower, 0.0) << "a door ignores a sill height";
    EXPECT_TRUE(Stored(doors[1]).door.owner == wallGuids[2]) << "the later of two walls of one id hosts";

    const json early = {{"openings", {{{"host_wall", "w1"}, {"type", "window"}}}}, {"walls", kTwoWalls}};
    EXPECT_EQ(Built(Run("build_from_layout", early))["windows_created"], 1) << "an opening listed before its wall";
}

TEST_F(LayoutTest, WallsTakeTheLayoutsHeightAndStoryAndSkipWhatCannotBeAWall)
{
    HostTesting::SetStories({{-1, -3.0, "Basement"}, {0, 0.0, "Ground"}, {1, 3.0, "First"}});
    const json wall = {{"start", {0, 0}}, {"end", {3, 0}}};
    const struct {
        json layout;
        int walls;
        double height;
        Int16 story;
    } cases[] = {
        {{{"wall_height", 2.4}, {"walls", {wall}}}, 1, 2.4, 0},
        {{{"story", 65537}, {"walls", {wall}}}, 1, 3.0, 1},  // the low 16 bits
        {{{"story", 7}, {"walls", {wall}}}, 0, 0, 0},        // no such story
        {{{"walls", {{{"start", {1, 1}}, {"end", {1, 1}}}}}}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout.dump());
        HostTesting::ClearCallLog();
        EXPECT_EQ(Built(Run("build_from_layout", c.layout))["walls_created"], c.walls);
        if (c.walls == 1) {
            const API_Element made = Stored(All(API_WallID).back());
            EXPECT_EQ(std::make_tuple(made.wall.height, made.wall.thickness, made.header.floorInd),
                      std::make_tuple(c.height, 0.3, c.story));
        }
        ASSERT_TRUE(UndoLast());
    }
    HostTesting::ClearCallLog();
    const json infinite = {{"walls", {{{"start", {1e308 * 10, 0}}, {"end", {3, 0}}}}}};
    EXPECT_EQ(Built(Run("build_from_layout", infinite))["walls_created"], 0);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 0) << "skipped before the host";
}

TEST_F(LayoutTest, RoomsBecomeClosedNamedZonesAndUnusableRoomsAreSkipped)
{
    std::string emojiAtTheEdge(254, 'e');
    emojiAtTheEdge += "\xF0\x9F\x8F\xA0";  // one character, two UTF-16 units: 254 + 2 > 255
    const json rooms = {
        {{"polygon", {{0, 0}, {4, 0}, {4, 3}, {0, 3}}}},
        {{"name", "Two points"}, {"polygon", {{0, 0}, {4, 0}}}},
        {{"name", std::string(300, 'n')}, {"polygon", {{0, 0}, {1, 0}, {1, 1}, nullptr, 5}}},
        {{"name", emojiAtTheEdge}, {"polygon", {{0, 0}, {1, 0}, {1, 1}}}},
    };
    const json result = Built(Run("build_from_layout", {{"walls", json::array()}, {"rooms", rooms}}));
    EXPECT_EQ(result["zones_created"], 3);
    const auto zones = All(API_ZoneID);
    ASSERT_EQ(zones.size(), 3u);
    EXPECT_EQ(std::u16string(Stored(zones[0]).zone.roomName), u"Room");
    EXPECT_EQ(HostTesting::GetPolygon(zones[0]), (std::vector<API_Coord>{{0, 0}, {4, 0}, {4, 3}, {0, 3}, {0, 0}}));
    EXPECT_EQ(std::u16string(Stored(zones[1]).zone.roomName), std::u16string(255, u'n'));
    EXPECT_EQ(HostTesting::GetPolygon(zones[1]).size(), 4u) << "entries that are no point are left out";
    EXPECT_EQ(std::u16string(Stored(zones[2]).zone.roomName), std::u16string(254, u'e'))
        << "a surrogate pair is never split";
    EXPECT_EQ(UndoStepCount(), 1u) << "an empty walls array still opens the undo step";

    HostTesting::FailAllocation(1, 2);
    EXPECT_EQ(Built(Run("build_from_layout", {{"walls", json::array()}, {"rooms", {rooms[3]}}}))["zones_created"], 0)
        << "a zone whose outline cannot be allocated is not counted";
    EXPECT_EQ(HostTesting::ElementCount(API_ZoneID), 3u);
}

TEST_F(LayoutTest, WrongTypesAnywhereFailWithTheLibrarysTextBeforeAnythingIsBuilt)
{
    const json wallsWithBadSecond =
        json::parse(R"([{"start":[0,0],"end":[3,0]},{"start":[0,2],"end":[3,2],"thickness":"0.2"}])");
    ExpectRefused("build_from_layout", {{"walls", wallsWithBadSecond}}, kNumber302);
    ExpectRefused("build_from_layout", {{"wall_height", "3"}}, kNumber302);  // read before walls are looked for
    ExpectRefused("build_from_layout", {{"story", 1e12}, {"walls", kTwoWalls}},
                  "Input 'story' must be a whole number between -2147483648 and 2147483647, got 1000000000000.0");
    for (const json& input : {json::array(), json{{"walls", json::object()}}})
        ExpectRefused("build_from_layout", input, "walls array is required");
}

TEST_F(LayoutTest, ARefusedUndoStepFailsTheBuildWithTheHostsCode)
{
    for (const char* tool : {"build_from_layout", "create_walls_batch"}) {
        HostTesting::FailNextCall("ACAPI_CallUndoableCommand", APIERR_BADPARS);
        const ToolResult r =
            Run(tool, {{"walls", {{{"start", {0, 0}}, {"end", {3, 0}}, {"start_x", 0}, {"end_x", 3}}}}});
        EXPECT_EQ(r.error,
                  std::string(tool[0] == 'b' ? "Build failed: " : "Batch wall creation failed: ") + "-2130313112");
        EXPECT_EQ(HostTesting::ElementCount(), 0u);
        EXPECT_EQ(UndoStepCount(), 0u);
    }
}

TEST_F(LayoutTest, ABatchCreatesWhatTheHostAcceptsInOneStepAndBuildsNothingOnAWrongType)
{
    json walls = json::parse(R"([
        {"start_x":0,"start_y":0,"end_x":4,"end_y":0},
        {"start_x":1,"start_y":1,"end_x":1,"end_y":1},
        {"start_x":0,"start_y":2,"end_x":4,"end_y":2,"height":2.5,"thickness":0.1,"story":65537}])");
    walls.push_back({{"end_x", 4}, {"height", std::numeric_limits<double>::infinity()}});
    HostTesting::ClearCallLog();
    const ToolResult r = Run("create_walls_batch", {{"walls", walls}});
    ASSERT_TRUE(r.success) << r.error;
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 3) << "a height that is no number never reaches the host";
    const auto made = All(API_WallID);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(r.message, R"({"guids":[")" + Text(made[0]) + R"(",")" + Text(made[1]) +
                             R"("],"message":"2 walls created","walls_created":2})");
    const API_Element third = Stored(made[1]);
    EXPECT_EQ(std::make_tuple(third.wall.thickness, third.wall.height, third.header.floorInd),
              std::make_tuple(0.1, 2.5, Int16(1)));
    EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Create Walls Batch"});
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(HostTesting::ElementCount(), 0u);

    EXPECT_EQ(Run("create_walls_batch", {{"walls", json::array()}}).message,
              R"({"guids":[],"message":"0 walls created","walls_created":0})");
    EXPECT_EQ(UndoStepCount(), 1u) << "the undo step is requested even for no walls";

    ExpectRefused("create_walls_batch", {{"walls", {{{"end_x", 3}}, {{"end_x", 3}, {"thickness", "0.2"}}}}},
                  kNumber302);
    ExpectRefused("create_walls_batch", {{"walls", {{{"end_x", 3}}, 5}}},
                  "[json.exception.type_error.306] cannot use value() with number");
    for (const json& input : {json::array(), json{{"walls", 3}}})
        ExpectRefused("create_walls_batch", input, "walls array is required");
}
