// build_from_layout and create_walls_batch against the emulated host: what each entry becomes,
// what is skipped and counted, one undo step per build, and input refused before anything is built.

#include <limits>

#include "PlanToolsTest.hpp"


namespace {

class LayoutTest : public PlanToolsTest {
protected:
    json Built(const ToolResult& r)
    {
        EXPECT_TRUE(r.success) << r.error;
        return r.success ? json::parse(r.message) : json::object();
    }
    static std::vector<API_Coord> Outline(const API_Guid& zone) { return HostTesting::GetPolygon(zone); }
    static std::u16string Name(const API_Element& zone) { return std::u16string(zone.zone.roomName); }
    static std::vector<API_Guid> All(API_ElemTypeID type)
    {
        std::vector<API_Guid> out;
        for (const API_Guid& g : HostTesting::AllElements()) {
            API_Element e;
            HostTesting::GetElement(g, &e);
            if (e.header.type.typeID == type) out.push_back(g);
        }
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
        {"start":[0,2],"end":[6,2]},
        {"id":"dup","start":[0,4],"end":[6,4]},
        {"id":"dup","start":[0,6],"end":[6,6]}])");
    const json openings = json::parse(R"([
        {"type":"Door","host_wall":"a","offset":2},
        {"type":"window","host_wall":"a","sill_height":1.1,"width":0.6,"height":0.5,"offset":4},
        {"type":"door","host_wall":"a","sill_height":1.1,"offset":5},
        {"host_wall":"refused"},
        {"host_wall":"nobody","width":"ignored"},
        {"host_wall":""},
        {"host_wall":"dup","offset":3},
        {"host_wall":"a","offset":9}])");
    const json result = Built(Run("build_from_layout", {{"walls", walls}, {"openings", openings}}));
    EXPECT_EQ(result["message"], "4 walls, 2 doors, 2 windows, 0 zones created")
        << "refused wall and opening past the wall's end skipped";
    const std::vector<API_Guid> wallGuids = All(API_WallID);
    const std::vector<API_Guid> doors = All(API_DoorID), windows = All(API_WindowID);
    ASSERT_EQ(windows.size(), 2u);
    ASSERT_EQ(doors.size(), 2u);
    const API_Element capitalDoor = Stored(windows[0]), window = Stored(windows[1]);
    EXPECT_EQ(std::make_tuple(capitalDoor.window.openingBase.width, capitalDoor.window.openingBase.height,
                              capitalDoor.window.lower, capitalDoor.window.objLoc),
              std::make_tuple(1.2, 1.2, 0.9, 2.0))
        << "only exactly \"door\" makes a door";
    EXPECT_EQ(std::make_tuple(window.window.openingBase.width, window.window.openingBase.height, window.window.lower,
                              window.window.objLoc),
              std::make_tuple(0.6, 0.5, 1.1, 4.0));
    EXPECT_EQ(Stored(doors[0]).door.lower, 0.0) << "a door ignores a sill height";
    EXPECT_TRUE(Stored(doors[1]).door.owner == wallGuids[3]) << "the later of two walls of one id hosts";
}

TEST_F(LayoutTest, AnOpeningListedBeforeItsWallAndOpeningsOrRoomsOfOtherShapes)
{
    json layout = {{"openings", {{{"host_wall", "w1"}, {"type", "window"}}}}, {"walls", kTwoWalls}};
    EXPECT_EQ(Built(Run("build_from_layout", layout))["windows_created"], 1);
    layout = {{"walls", kTwoWalls}, {"openings", nullptr}, {"rooms", nullptr}};
    EXPECT_EQ(Built(Run("build_from_layout", layout))["total_elements"], 2);
    layout = {{"walls", kTwoWalls},
              {"openings", {{"z", {{"host_wall", "w1"}}}, {"a", {{"host_wall", "w2"}, {"type", "window"}}}}}};
    const json byKey = Built(Run("build_from_layout", layout));
    EXPECT_EQ(std::make_pair(byKey["doors_created"], byKey["windows_created"]), std::make_pair(json(1), json(1)));
    const auto windows = All(API_WindowID), doors = All(API_DoorID);
    EXPECT_TRUE(HostTesting::AllElements().back() == doors.back()) << "members are built in the order of their keys";
}

TEST_F(LayoutTest, WallsTakeTheLayoutsHeightAndStoryAndSkipWhatCannotBeAWall)
{
    HostTesting::SetStories({{-1, -3.0, "Basement"}, {0, 0.0, "Ground"}, {1, 3.0, "First"}});
    const struct {
        const char* what;
        json layout;
        int walls;
        double height;
        Int16 story;
    } cases[] = {
        {"layout height", {{"wall_height", 2.4}, {"walls", {{{"start", {0, 0}}, {"end", {3, 0}}}}}}, 1, 2.4, 0},
        {"own height wins",
         {{"wall_height", 2.4}, {"walls", {{{"start", {0, 0}}, {"end", {3, 0}}, {"height", 5}}}}},
         1,
         5.0,
         0},
        {"story 1", {{"story", 1}, {"walls", {{{"start", {0, 0}}, {"end", {3, 0}}}}}}, 1, 3.0, 1},
        {"story's low 16 bits", {{"story", 65537}, {"walls", {{{"start", {0, 0}}, {"end", {3, 0}}}}}}, 1, 3.0, 1},
        {"story below ground", {{"story", -1.7}, {"walls", {{{"start", {0, 0}}, {"end", {3, 0}}}}}}, 1, 3.0, -1},
        {"story the project lacks", {{"story", 7}, {"walls", {{{"start", {0, 0}}, {"end", {3, 0}}}}}}, 0, 0, 0},
        {"extra coordinates", {{"walls", {{{"start", {0, 0, 9}}, {"end", {3, 0, 9}}}}}}, 1, 3.0, 0},
        {"start of one number", {{"walls", {{{"start", {1}}, {"end", {3, 0}}}}}}, 0, 0, 0},
        {"no end", {{"walls", {{{"start", {0, 0}}}}}}, 0, 0, 0},
        {"zero length", {{"walls", {{{"start", {1, 1}}, {"end", {1, 1}}}}}}, 0, 0, 0},
        {"not finite", {{"walls", {{{"start", {1e308 * 10, 0}}, {"end", {3, 0}}}}}}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostTesting::ClearCallLog();
        const json result = Built(Run("build_from_layout", c.layout));
        EXPECT_EQ(result["walls_created"], c.walls);
        const auto walls = All(API_WallID);
        if (c.walls == 1) {
            const API_Element wall = Stored(walls.back());
            EXPECT_EQ(std::make_tuple(wall.wall.height, wall.wall.thickness, wall.header.floorInd),
                      std::make_tuple(c.height, 0.3, c.story));
        }
        if (std::string(c.what) == "not finite") {
            EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 0) << "skipped before the host";
        }
        ASSERT_TRUE(UndoLast());
    }
}

TEST_F(LayoutTest, RoomsBecomeClosedNamedZonesAndUnusableRoomsAreSkipped)
{
    const std::string longName(300, 'n');
    std::string emojiAtTheEdge(254, 'e');
    emojiAtTheEdge += "\xF0\x9F\x8F\xA0";  // one character, two UTF-16 units: 254 + 2 > 255
    const json rooms = {
        {{"polygon", {{0, 0}, {4, 0}, {4, 3}, {0, 3}}}},
        {{"name", "Kitchen"}, {"polygon", {{0, 0}, {4, 0}, {4, 3}, {0, 3}, {0, 0}}}},
        {{"name", "Two points"}, {"polygon", {{0, 0}, {4, 0}}}},
        {{"name", "One usable point"}, {"polygon", {{0, 0}, {4}, "x"}}},
        {{"name", longName}, {"polygon", {{0, 0}, {1, 0}, {1, 1}, nullptr, 5}}},
        {{"name", emojiAtTheEdge}, {"polygon", {{0, 0}, {1, 0}, {1, 1}}}},
    };
    const json result = Built(Run("build_from_layout", {{"walls", json::array()}, {"rooms", rooms}}));
    EXPECT_EQ(result["message"], "0 walls, 0 doors, 0 windows, 4 zones created");
    const auto zones = All(API_ZoneID);
    ASSERT_EQ(zones.size(), 4u);
    EXPECT_EQ(Name(Stored(zones[0])), u"Room");
    EXPECT_EQ(Outline(zones[0]), (std::vector<API_Coord>{{0, 0}, {4, 0}, {4, 3}, {0, 3}, {0, 0}}));
    EXPECT_EQ(Stored(zones[0]).zone.poly.nCoords, 5);
    EXPECT_EQ(Name(Stored(zones[1])), u"Kitchen");
    EXPECT_EQ(Outline(zones[1]).size(), 6u) << "the builder closes the outline even when it was closed";
    EXPECT_EQ(Name(Stored(zones[2])), std::u16string(255, u'n'));
    EXPECT_EQ(Outline(zones[2]).size(), 4u) << "entries that are no point are left out";
    EXPECT_EQ(Name(Stored(zones[3])), std::u16string(254, u'e')) << "a surrogate pair is never split";
    EXPECT_EQ(UndoStepCount(), 1u) << "an empty walls array still opens the undo step";
}

TEST_F(LayoutTest, AZoneWhoseOutlineCannotBeAllocatedIsNotCounted)
{
    HostTesting::FailAllocation(1, 2);
    const json result = Built(
        Run("build_from_layout", {{"walls", json::array()}, {"rooms", {{{"polygon", {{0, 0}, {1, 0}, {1, 1}}}}}}}));
    EXPECT_EQ(result["zones_created"], 0);
    EXPECT_EQ(HostTesting::ElementCount(API_ZoneID), 0u);
}

TEST_F(LayoutTest, WrongTypesAnywhereFailWithTheLibrarysTextBeforeAnythingIsBuilt)
{
    const std::string number302 = "[json.exception.type_error.302] type must be number, but is string";
    const std::string string302 = "[json.exception.type_error.302] type must be string, but is number";
    const json wallsWithBadThird = json::parse(
        R"([{"start":[0,0],"end":[3,0]},{"start":[0,1],"end":[3,1]},{"start":[0,2],"end":[3,2],"thickness":"0.2"}])");
    ExpectRefused("build_from_layout", {{"walls", wallsWithBadThird}}, number302);
    ExpectRefused("build_from_layout", {{"walls", kTwoWalls}, {"openings", {{{"host_wall", "w1"}, {"width", "wide"}}}}},
                  number302);
    ExpectRefused("build_from_layout",
                  {{"walls", kTwoWalls}, {"rooms", {{{"name", 5}, {"polygon", {{0, 0}, {1, 0}, {1, 1}}}}}}}, string302);
    ExpectRefused("build_from_layout", {{"walls", {{{"id", 3}, {"start", {0, 0}}, {"end", {1, 0}}}}}}, string302);
    ExpectRefused("build_from_layout", {{"walls", {{{"start", {0, 0}}, {"end", {1, 0}}, {"height", nullptr}}}}},
                  "[json.exception.type_error.302] type must be number, but is null");
    ExpectRefused("build_from_layout", {{"story", "1"}, {"walls", kTwoWalls}}, number302);
    ExpectRefused("build_from_layout", {{"wall_height", "3"}}, number302);  // read before walls are looked for
    ExpectRefused("build_from_layout", {{"walls", {"not a wall"}}},
                  "[json.exception.type_error.306] cannot use value() with string");
    ExpectRefused("build_from_layout", {{"story", 1e12}, {"walls", kTwoWalls}},
                  "Input 'story' must be a whole number between -2147483648 and 2147483647, got 1000000000000.0");
    const ToolResult point =
        Run("build_from_layout",
            {{"walls", json::array()}, {"rooms", {{{"polygon", {{0, 0}, {{"x", 1}, {"y", 0}}, {1, 1}}}}}}});
    EXPECT_NE(point.error.find("type_error"), std::string::npos) << "a point given as an object";
    for (const json& input : {json::array(), json("walls"), json::object(), json{{"walls", nullptr}},
                              json{{"walls", json::object()}}, json{{"walls", "w"}}})
        ExpectRefused("build_from_layout", input, "walls array is required");
    EXPECT_EQ(HostTesting::ElementCount(), 0u);
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

TEST_F(LayoutTest, ABatchCreatesWhatTheHostAcceptsInOneStep)
{
    json walls = json::parse(R"([
        {"start_x":0,"start_y":0,"end_x":4,"end_y":0},
        {"start_x":1,"start_y":1,"end_x":1,"end_y":1},
        {"start_x":0,"start_y":2,"end_x":4,"end_y":2,"height":2.5,"thickness":0.1,"story":65537},
        {"start_x":0,"start_y":3,"end_x":4,"end_y":3,"story":7}])");
    walls.push_back({{"end_x", 4}, {"height", std::numeric_limits<double>::infinity()}});
    HostTesting::ClearCallLog();
    const ToolResult r = Run("create_walls_batch", {{"walls", walls}});
    ASSERT_TRUE(r.success) << r.error;
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Create"), 4) << "a height that is no number never reaches the host";
    const auto made = All(API_WallID);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(r.message, R"({"guids":[")" + Text(made[0]) + R"(",")" + Text(made[1]) +
                             R"("],"message":"2 walls created","walls_created":2})");
    const API_Element first = Stored(made[0]), third = Stored(made[1]);
    EXPECT_EQ(std::make_tuple(first.wall.thickness, first.wall.height, first.header.floorInd),
              std::make_tuple(0.3, 3.0, Int16(0)));
    EXPECT_EQ(std::make_tuple(third.wall.thickness, third.wall.height, third.header.floorInd),
              std::make_tuple(0.1, 2.5, Int16(1)));
    EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Create Walls Batch"});
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(HostTesting::ElementCount(), 0u);

    const ToolResult none = Run("create_walls_batch", {{"walls", json::array()}});
    EXPECT_EQ(none.message, R"({"guids":[],"message":"0 walls created","walls_created":0})");
    EXPECT_EQ(UndoStepCount(), 1u) << "the undo step is requested even for no walls";
    const ToolResult one = Run("create_walls_batch", {{"walls", {{{"end_x", 2}}}}});
    EXPECT_EQ(json::parse(one.message)["message"], "1 walls created");
}

TEST_F(LayoutTest, ABatchWithAWrongTypeOrNoWallsArrayBuildsNothing)
{
    ExpectRefused("create_walls_batch", {{"walls", {{{"end_x", 3}}, {{"end_x", 3}, {"thickness", "0.2"}}}}},
                  "[json.exception.type_error.302] type must be number, but is string");
    ExpectRefused("create_walls_batch", {{"walls", {{{"end_x", 3}}, 5}}},
                  "[json.exception.type_error.306] cannot use value() with number");
    ExpectRefused("create_walls_batch", {{"walls", {{{"end_x", true}}}}},
                  "[json.exception.type_error.302] type must be number, but is boolean");
    for (const json& input :
         {json::array(), json{{"walls", json::object()}}, json{{"walls", nullptr}}, json{{"walls", 3}}})
        ExpectRefused("create_walls_batch", input, "walls array is required");
}
