// Reshaping a design: mirroring across the box of the walls (widened by a room added earlier in
// the call), scaling to an area about it, snapping to a grid once; and the mended faults:
// every operation read and its geometry checked before the undo step, a scale that overflows
// inside the step rolls the whole step back, a memo fetched in vain is still released; and the
// snapshot's box of the walls.
#include <array>

#include "QuillmereTest.hpp"

namespace {

API_Guid AddSlab(const std::vector<API_Coord>& corners)
{
    ScopedMemo memo;
    API_Element slab = HostTesting::MakeElement(API_SlabID);
    PutPolygon(memo.memo, corners);
    slab.slab.poly = {Int32(corners.size()) + 1, 1, 0};
    return HostTesting::AddElement(slab, memo.get());
}
void AddRectangleOfWalls(double x1, double y1)
{
    const API_Coord c[4] = {{0, 0}, {x1, 0}, {x1, y1}, {0, y1}};
    for (int i = 0; i < 4; ++i) HostTesting::AddWall(c[i].x, c[i].y, c[(i + 1) % 4].x, c[(i + 1) % 4].y);
}

class DesignEdits : public QuillmereTest {
protected:
    json Adapt(const json& operations) { return Data(Run("adapt_typology", {{"operations", operations}})); }
    static API_Coord Begin(const API_Guid& wall) { return Read(wall).wall.begC; }
};

TEST_F(DesignEdits, MirrorAndScaleWorkAboutTheBoxOfTheWalls)
{
    const struct {
        const char* name;
        json operations;
        API_Coord probe;  // where the wall that began at (2, 2) begins afterwards
    } rows[] = {
        {"mirror across x by default", {{{"op", "mirror"}}}, {8, 2}},
        {"mirror across the other axis", {{{"op", "mirror"}, {"axis", "X"}}}, {2, 6}},
        {"a room added first widens the box", {{{"op", "add_room"}, {"x", 20}, {"y", 0}}, {{"op", "mirror"}}}, {22, 2}},
        {"a garage added first widens it", {{{"op", "add_garage"}, {"x", 20}}, {{"op", "mirror"}}}, {24, 2}},
        {"and deepens it", {{{"op", "add_garage"}, {"y", 20}}, {{"op", "mirror"}, {"axis", "y"}}}, {2, 21.5}},
        {"scale to an area", {{{"op", "scale_to_sqm"}, {"target_sqm", 320}}}, {-1, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HostTesting::ResetProject();
        AddRectangleOfWalls(10, 8);
        const API_Guid probe = HostTesting::AddWall(2, 2, 3, 2);
        const API_Guid slab = AddSlab({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
        const auto slabBefore = HostTesting::GetPolygon(slab);
        Adapt(row.operations);
        EXPECT_POINT(Begin(probe), row.probe.x, row.probe.y);
        if (row.operations[0]["op"] == "mirror") {
            EXPECT_EQ(HostTesting::GetPolygon(slab), slabBefore) << "only walls move";
        }
        EXPECT_EQ(UndoSteps(), std::vector<std::string>{"Quillmere: Adapt Typology"});
    }
    // A slab whose memo cannot be fetched is skipped, and whatever was fetched is released.
    HostTesting::InjectFailure({"ACAPI_Element_GetMemo", APIERR_MEMFULL, 0, -1, ListOf(API_SlabID)[0]});
    EXPECT_EQ(Adapt({{{"op", "scale_to_sqm"}, {"target_sqm", 200}}})["changed_elements"], 5);
}

TEST_F(DesignEdits, OperationsAreCheckedBeforeTheStepAndAnOverflowInsideItRollsItBack)
{
    const struct {
        const char* name;
        std::string input;
        std::string error;  // or the start of the library's text
        int commands;
        bool farWalls;
    } rows[] = {
        {"a bad field anywhere", R"({"operations":[{"op":"add_room"},{"op":"add_room","x":"3"}]})",
         "[json.exception.type_error.302] type must be number, but is string", 0, false},
        {"coordinates overflow", R"({"operations":[{"op":"add_garage"},{"op":"add_room","x":1e308,"width":1e308}]})",
         "Adapt failed: operation 2 (add_room) gives coordinates that are not finite numbers", 0, false},
        {"scaled points overflow", R"({"operations":[{"op":"mirror"},{"op":"scale_to_sqm","target_sqm":1e308}]})",
         "Adapt failed: scale_to_sqm target 1e+308 gives coordinates that are not finite numbers", 1, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HostTesting::ResetProject();
        if (row.farWalls) {
            HostTesting::AddWall(-7e307, 0, 7e307, 0);
            HostTesting::AddWall(0, 0, 0, 0.01);
        } else {
            AddRectangleOfWalls(4, 4);
        }
        const auto before = TakeSnapshot();
        EXPECT_EQ(RunText("adapt_typology", row.input).error.rfind(row.error, 0), 0u);
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
        EXPECT_TRUE(UndoSteps().empty());
        EXPECT_EQ(HostTesting::CallCount("ACAPI_CallUndoableCommand"), row.commands);
    }
}

// The snapshot's box is the walls' reference lines alone; a box starts at +/-1e9 and counts as
// found once its minimum x is below 1e8, so walls only far beyond the working extent give one
// that keeps its starting maximum and no area.
TEST_F(DesignEdits, TheSnapshotsBoxCoversTheWallsReferenceLines)
{
    const struct {
        const char* name;
        std::vector<std::array<double, 4>> walls;
        json bbox;  // null: none
        double area;
    } rows[] = {
        {"no wall", {}, nullptr, 0.0},
        {"two walls", {{0, 0, 8, 0}, {8, 0, 8, 5}}, {{"min_x", 0}, {"min_y", 0}, {"max_x", 8}, {"max_y", 5}}, 40.0},
        {"one wall, no area", {{-2, 1, 3, 1}}, {{"min_x", -2}, {"min_y", 1}, {"max_x", 3}, {"max_y", 1}}, 0.0},
        {"far beyond on the right", {{2e9, 0, 3e9, 0}}, nullptr, 0.0},
        {"far beyond on the left",
         {{-5e9, 0, -4e9, 0}},
         {{"min_x", -5e9}, {"min_y", 0}, {"max_x", -1e9}, {"max_y", 0}},
         0.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HostTesting::ResetProject();
        HostTesting::AddFixture(API_SlabID);  // a slab never widens the box
        for (const auto& w : row.walls) HostTesting::AddWall(w[0], w[1], w[2], w[3]);
        const json snapshot = Data(Run("get_design_snapshot", json::object()));
        EXPECT_EQ(snapshot.value("bbox", json()), row.bbox);
        EXPECT_EQ(snapshot["approx_sqm"], row.area);
    }
}

TEST_F(DesignEdits, PolishSnapsWallPointsToTheGridOnce)
{
    const API_Guid wall = HostTesting::AddWall(0.2, 0.74, 3.26, -0.25);
    const API_Guid unreadable = HostTesting::AddWall(0.03, 0, 1, 0);
    HostTesting::InjectFailure({"ACAPI_Element_Get", APIERR_BADID, 0, -1, unreadable});
    EXPECT_EQ(Run("polish_plan", {{"grid_size", 0.5}}).message, R"({"grid_size":0.5,"snapped_count":1})");
    EXPECT_EQ(Read(wall).wall.begC, (API_Coord{0.0, 0.5}));
    EXPECT_EQ(Read(wall).wall.endC, (API_Coord{3.5, -0.5}));
    EXPECT_EQ(Run("polish_plan", {{"grid_size", 0.5}}).message, R"({"grid_size":0.5,"snapped_count":0})");
    for (const json& input : {json::object(), json{{"grid_size", -1}}})
        EXPECT_EQ(Data(Run("polish_plan", input))["grid_size"], 0.05) << "no grid: 5 cm";
    EXPECT_EQ(UndoSteps().front(), "Quillmere: Polish Plan");
    for (const auto& [tool, words] : {std::pair{"polish_plan", "Polish"}, {"adapt_typology", "Adapt"}}) {
        HostTesting::FailNextCall("ACAPI_CallUndoableCommand", APIERR_REFUSEDCMD);
        EXPECT_EQ(RunText(tool, R"({"operations":[{"op":"mirror"}]})").error,
                  words + (" failed (error " + std::to_string(APIERR_REFUSEDCMD) + ")"));
    }
    EXPECT_EQ(RunText("polish_plan", R"({"grid_size":5e-324})").error,
              "Polish failed: grid_size 5e-324 gives coordinates that are not finite numbers");
}

}  // namespace
