// Looking at and reshaping a design: the snapshot's counts, zones and wall box; adaptation
// (mirror, rooms and garages, scaling to an area) in one undo step; snapping walls to a grid;
// and inputs whose geometry could not be finite, refused with nothing changed.

#include "TypologyTest.hpp"

namespace {

class DesignSnapshot : public TypologyTest {};

TEST_F(DesignSnapshot, CountsZonesAndTheBoxOverWallReferenceLines)
{
    EXPECT_EQ(
        Run("get_design_snapshot", json::object()).message,
        R"({"approx_sqm":0.0,"counts":{"beams":0,"columns":0,"doors":0,"objects":0,"roofs":0,"slabs":0,"walls":0,"windows":0,"zones":0},"zones":[]})");

    AddRectangleOfWalls(0, 0, 10, 8, 0.45);
    const API_Guid living = AddZone("Living", 5, 4);
    const API_Guid outside = AddZone("", 30, -7);  // outside the walls: listed, box unchanged
    AddSlab({{-50, -50}, {50, -50}, {50, 50}, {-50, 50}});
    const json snap = Data(RunText("get_design_snapshot", R"({"foo":1})"));
    EXPECT_EQ(snap["approx_sqm"], 80.0);
    EXPECT_EQ(snap["bbox"].dump(), R"({"max_x":10.0,"max_y":8.0,"min_x":0.0,"min_y":0.0})");
    EXPECT_EQ(snap["counts"]["slabs"], 1);
    EXPECT_EQ(snap["zones"], json::parse(R"([{"center":[5.0,4.0],"name":"Living","uuid":")" + Text(living) +
                                         R"("},{"center":[30.0,-7.0],"name":"","uuid":")" + Text(outside) + R"("}])"));
    EXPECT_TRUE(UndoSteps().empty());

    // Unreadable elements and lists are left out.
    const API_Guid hidden = HostTesting::AddWall(-5, -5, 0, 0);
    HostTesting::InjectFailure({"ACAPI_Element_Get", APIERR_BADID, 0, -1, hidden});
    HostTesting::InjectFailure({"ACAPI_Element_Get", APIERR_BADID, 0, -1, living});
    HostTesting::InjectFailure({"ACAPI_Element_GetElemList", APIERR_GENERAL, 0, -1, std::nullopt, API_SlabID});
    const json thin = Data(Run("get_design_snapshot", json::object()));
    EXPECT_EQ(thin["bbox"], snap["bbox"]);
    EXPECT_EQ(thin["zones"].size(), 1u);
    EXPECT_EQ(thin["counts"]["walls"], 5);
    EXPECT_EQ(thin["counts"]["slabs"], 0);
}

class AdaptTypology : public TypologyTest {
protected:
    json Adapt(const json& operations) { return Data(Run("adapt_typology", {{"operations", operations}})); }
    static std::vector<API_Coord> Points(const API_Guid& wall)
    {
        const API_Element e = Read(wall);
        return {e.wall.begC, e.wall.endC};
    }
    static std::u16string RoomName(const API_Guid& zone)
    {
        const API_Element e = Read(zone);
        return std::u16string(e.zone.roomName);
    }
};

TEST_F(AdaptTypology, RoomsAndGaragesAreFourWallsASlabAndAZone)
{
    struct Case {
        json op;
        double x0, y0, x1, y1;
        std::u16string zoneName;
        std::string entry;
    };
    const Case cases[] = {
        {{{"op", "add_garage"}}, 0, 0, 6, 3.5, u"Garage", R"({"op":"add_garage","room":"Garage"})"},
        {{{"op", "add_room"}, {"room_name", "Kitchen"}, {"x", 10}, {"y", 2}},
         10,
         2,
         14,
         6,
         u"Kitchen",
         R"({"op":"add_room","room":"Kitchen"})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op.dump());
        HostTesting::ResetProject();
        HostTesting::SetStories({{0, 0.0, "Ground"}, {1, 3.0, "Upper"}});
        const json result = Adapt(json::array({c.op}));
        EXPECT_EQ(result["adaptations"].dump(), "[" + c.entry + "]");
        EXPECT_EQ(result["changed_elements"], 6);
        const std::vector<API_Guid> walls = ListOf(API_WallID);
        ASSERT_EQ(walls.size(), 4u);
        const API_Coord corners[4] = {{c.x0, c.y0}, {c.x1, c.y0}, {c.x1, c.y1}, {c.x0, c.y1}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Points(walls[size_t(i)]), (std::vector<API_Coord>{corners[i], corners[(i + 1) % 4]}));
            EXPECT_EQ(Read(walls[size_t(i)]).wall.thickness, 0.2);
        }
        const API_Guid slab = ListOf(API_SlabID).at(0), zone = ListOf(API_ZoneID).at(0);
        EXPECT_EQ(HostTesting::GetPolygon(slab),
                  (std::vector<API_Coord>{corners[0], corners[1], corners[2], corners[3], corners[0]}));
        const std::vector<API_Coord> outline = HostTesting::GetPolygon(zone);
        ASSERT_EQ(outline.size(), 5u);
        EXPECT_POINT(outline[2], c.x1 - 0.2, c.y1 - 0.2);
        EXPECT_EQ(RoomName(zone), c.zoneName);
        EXPECT_EQ(Read(zone).header.floorInd, 0);
        EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Adapt Typology"});
    }
}

TEST_F(AdaptTypology, MirrorFlipsWallPointsAcrossTheBoxCentre)
{
    struct Case {
        const char* axis;
        API_Coord movedBeg;
    };  // axis null: not given
    // Walls span x 0..10 and y 1..5; the probe wall starts at (2, 2).
    const Case cases[] = {{nullptr, {8, 2}}, {"X", {2, 4}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.axis ? c.axis : "(none)");
        HostTesting::ResetProject();
        HostTesting::AddWall(0, 1, 10, 5);
        const API_Guid probe = HostTesting::AddWall(2, 2, 3, 2);
        const API_Guid slab = AddSlab({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
        json op = {{"op", "mirror"}};
        if (c.axis) op["axis"] = c.axis;
        const json result = Adapt(json::array({op}));
        EXPECT_EQ(result["adaptations"], json::array({{{"axis", c.axis ? c.axis : "x"}, {"op", "mirror"}}}));
        EXPECT_EQ(result["changed_elements"], 2);
        EXPECT_AT(Points(probe)[0], c.movedBeg);
        EXPECT_EQ(HostTesting::GetPolygon(slab)[1], (API_Coord{1, 0})) << "only walls move";
    }

    // A room added earlier in the call widens the box and its walls are mirrored too.
    HostTesting::ResetProject();
    HostTesting::AddWall(0, 0, 4, 0);
    const json result = Adapt(json::array({{{"op", "add_room"}, {"x", 20}, {"y", 0}}, {{"op", "mirror"}}}));
    EXPECT_EQ(result["changed_elements"], 6 + 5);
    EXPECT_EQ(Points(ListOf(API_WallID)[0]), (std::vector<API_Coord>{{24, 0}, {20, 0}}));  // box x 0..24
    EXPECT_EQ(HostTesting::GetPolygon(ListOf(API_SlabID)[0])[0], (API_Coord{20, 0})) << "the new slab stays";
}

TEST_F(AdaptTypology, ScaleToAreaGrowsWallsAndSlabOutlinesAboutTheBoxCentre)
{
    AddRectangleOfWalls(0, 0, 10, 8);
    const API_Guid slab = AddSlab({{0, 0}, {10, 0}, {10, 8}, {0, 8}});
    const API_Guid zone = AddZone("Living", 5, 4);
    const API_Element zoneBefore = Read(zone);
    const ToolResult r = Run("adapt_typology", {{"operations", {{{"op", "scale_to_sqm"}, {"target_sqm", 120}}}}});
    EXPECT_EQ(r.message, R"({"adaptations":[{"factor":1.224744871391589,"op":"scale_to_sqm"}],"changed_elements":5})");
    const API_Element first = Read(ListOf(API_WallID)[0]);
    EXPECT_EQ(first.wall.begC, (API_Coord{-1.1237243569579451, -0.8989794855663558}));
    EXPECT_EQ(HostTesting::GetPolygon(slab)[2], (API_Coord{11.123724356957945, 8.898979485566356}));
    EXPECT_TRUE(Same(Read(zone), zoneBefore)) << "zones stay";
    EXPECT_NEAR(Data(Run("get_design_snapshot", json::object()))["approx_sqm"].get<double>(), 120.0, 1e-9);

    // A slab whose memo cannot be fetched is skipped (and whatever was fetched is released).
    HostTesting::InjectFailure({"ACAPI_Element_GetMemo", APIERR_MEMFULL, 0, -1, slab});
    const json again = Adapt(json::array({{{"op", "scale_to_sqm"}, {"target_sqm", 200}}}));
    EXPECT_EQ(again["changed_elements"], 4);
}

TEST_F(AdaptTypology, OperationsThatDoNothingAddNoEntry)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        json operations;
    };
    const Case cases[] = {
        {"resize_room is offered but does nothing, and a zero target",
         [] { AddRectangleOfWalls(0, 0, 4, 4); },
         {{{"op", "resize_room"}, {"zone_uuid", "x"}, {"new_width", 5}}, {{"op", "scale_to_sqm"}, {"target_sqm", 0}}}},
        {"unknown and empty ops", [] {}, {{{"op", "Mirror"}}, {{"op", ""}}, json::object()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::ResetProject();
        c.arrange();
        const std::vector<ElementState> before = TakeSnapshot();
        EXPECT_EQ(Run("adapt_typology", {{"operations", c.operations}}).message,
                  R"({"adaptations":[],"changed_elements":0})");
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
        EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Adapt Typology"})
            << "the step runs even when nothing happens";
    }
}

TEST_F(AdaptTypology, RefusedCallsChangeNothingAndOpenNoStep)
{
    struct Case {
        const char* name;
        std::string input;
        std::string error;      // whole text, or a fragment after "~"
        int commands;           // undo commands the host was asked for
        bool farWalls = false;  // walls so long that scaling them can overflow (else a 4 x 4 room)
    };
    const Case cases[] = {
        {"no operations", R"({})", "No operations provided", 0},
        // A bad field anywhere fails the call before the first operation runs.
        {"text for a number", R"({"operations":[{"op":"add_room"},{"op":"add_room","x":"3"}]})",
         "~type must be number, but is string", 0},
        {"coordinates overflow", R"({"operations":[{"op":"add_garage"},{"op":"add_room","x":1e308,"width":1e308}]})",
         "Adapt failed: operation 2 (add_room) gives coordinates that are not finite numbers", 0},
        // Found inside the step (the box depends on earlier operations): the whole step goes back.
        {"scaled points overflow", R"({"operations":[{"op":"mirror"},{"op":"scale_to_sqm","target_sqm":1e308}]})",
         "Adapt failed: scale_to_sqm target 1e+308 gives coordinates that are not finite numbers", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTesting::ResetProject();
        if (c.farWalls) {
            HostTesting::AddWall(-7e307, 0, 7e307, 0);
            HostTesting::AddWall(0, 0, 0, 0.01);
        } else {
            AddRectangleOfWalls(0, 0, 4, 4);
        }
        const std::vector<ElementState> before = TakeSnapshot();
        const ToolResult r = RunText("adapt_typology", c.input);
        ExpectFailure(r, c.error);
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
        EXPECT_TRUE(UndoSteps().empty());
        EXPECT_EQ(HostTesting::CallCount("ACAPI_CallUndoableCommand"), c.commands);
    }

    HostTesting::FailNextCall("ACAPI_CallUndoableCommand", APIERR_GENERAL);
    EXPECT_EQ(Run("adapt_typology", {{"operations", {{{"op", "mirror"}}}}}).error, "Adapt failed (error -2130313215)");
}

class PolishPlan : public AdaptTypology {};

TEST_F(PolishPlan, WallPointsSnapToTheGrid)
{
    struct Case {
        json input;
        API_Coord beg, end, snappedBeg, snappedEnd;
        std::string result;
    };
    const Case cases[] = {
        {{{"grid_size", 0.5}},
         {0.2, 0.74},
         {3.26, -0.25},
         {0.0, 0.5},
         {3.5, -0.5},
         R"({"grid_size":0.5,"snapped_count":1})"},
        {{{"grid_size", -1}},
         {1.2, 0},
         {0, 0},
         {1.2000000000000002, 0},
         {0, 0},
         R"({"grid_size":0.05,"snapped_count":1})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.dump());
        HostTesting::ResetProject();
        const API_Guid wall = HostTesting::AddWall(c.beg.x, c.beg.y, c.end.x, c.end.y);
        const API_Element before = Read(wall);
        EXPECT_EQ(Run("polish_plan", c.input).message, c.result);
        EXPECT_EQ(Points(wall), (std::vector<API_Coord>{c.snappedBeg, c.snappedEnd}));
        API_Element expected = before;
        expected.wall.begC = c.snappedBeg;
        expected.wall.endC = c.snappedEnd;
        EXPECT_TRUE(Same(Read(wall), expected)) << "only the two points are written";
        EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Polish Plan"});
        // A snapped value snaps to itself: the second call changes nothing.
        EXPECT_NE(Run("polish_plan", c.input).message.find("\"snapped_count\":0"), std::string::npos);
    }
}

TEST_F(PolishPlan, RefusalsChangeNothingAndOneStepUndoesWhatWasSnapped)
{
    const API_Guid a = HostTesting::AddWall(0.01, 0, 1, 0);
    const API_Guid b = HostTesting::AddWall(0.02, 0, 1, 0);
    const API_Guid c = HostTesting::AddWall(0.03, 0, 1, 0);
    const std::vector<ElementState> before = TakeSnapshot();
    ExpectFailure(RunText("polish_plan", R"({"grid_size":"0.1"})"), "~type must be number, but is string");
    ExpectFailure(RunText("polish_plan", R"({"grid_size":5e-324})"),
                  "Polish failed: grid_size 5e-324 gives coordinates that are not finite numbers");
    EXPECT_EQ(HostTesting::CallCount("ACAPI_CallUndoableCommand"), 0);
    HostTesting::FailNextCall("ACAPI_CallUndoableCommand", APIERR_GENERAL);
    EXPECT_EQ(Run("polish_plan", json::object()).error, "Polish failed (error -2130313215)");
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));

    // Walls the host will not read or change are not counted.
    HostTesting::InjectFailure({"ACAPI_Element_Change", APIERR_BADID, 0, -1, b});
    HostTesting::InjectFailure({"ACAPI_Element_Get", APIERR_BADID, 0, -1, c});
    EXPECT_EQ(Run("polish_plan", json::object()).message, R"({"grid_size":0.05,"snapped_count":1})");
    EXPECT_EQ(Read(a).wall.begC.x, 0.0);
    EXPECT_EQ(Read(b).wall.begC.x, 0.02);
    HostTesting::ClearFailures();
    ASSERT_TRUE(UndoLast());
    EXPECT_TRUE(SameProject(before, TakeSnapshot()));
}

}  // namespace
