// move_element, copy_element, rotate_element and mirror_element: the edit record each sends,
// where the geometry ends up, the message, and one undo step that brings everything back.

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "ModifyTestSupport.hpp"

using json = nlohmann::json;

namespace {

constexpr double kStoredDegree = 0.017453292519943278;

std::string Point(double x, double y)
{
    char text[64];
    std::snprintf(text, sizeof text, "(%.17g,%.17g)", x, y);
    return text;
}

std::string EditRecord(API_EditCmdID type, bool withDelete, const std::string& origin, const std::string& begin,
                       const std::string& end)
{
    return "edit=" + std::to_string(type) + " withDelete=" + (withDelete ? "1" : "0") + " count=1 orig=" + origin +
           " beg=" + begin + " end=" + end;
}

std::string LastEditRecord()
{
    std::string detail = "no edit call";
    for (const HostTesting::CallRecord& call : HostTesting::CallLog())
        if (call.function == "ACAPI_Element_Edit")
            detail = call.detail;
    return detail;
}

}  // namespace

TEST_F(ModifyToolTest, TransformsSendTheirEditAndUndoInOneStep)
{
    const API_Guid wall = HostTesting::AddWall(3.0, 3.0, 4.0, 3.0);
    const API_Guid slab = HostTesting::AddFixture(API_SlabID);
    const API_Guid line = HostTesting::AddFixture(API_LineID);
    API_Element record = HostTesting::MakeElement(API_ObjectID);
    record.object.pos = {2.0, 0.0};
    record.object.angle = 0.5;
    const API_Guid object = HostTesting::AddElement(record);
    record = HostTesting::MakeElement(API_HotspotID);
    record.hotspot.pos = {1.0, 3.0};
    const API_Guid hotspot = HostTesting::AddElement(record);
    const std::vector<API_Coord> slabPolygon = HostTesting::GetPolygon(slab);
    ASSERT_FALSE(slabPolygon.empty());
    const API_Element wallBefore = Get(wall), lineBefore = Get(line);
    const auto before = TakeSnapshot();

    const std::string zero = Point(0.0, 0.0);
    const double quarter = 90 * kStoredDegree, thirty = 30 * kStoredDegree, minusQuarter = -90 * kStoredDegree;
    auto wallAt = [](double x1, double y1, double x2, double y2) {
        return [=](const API_Element& e, const API_Guid&) {
            EXPECT_POINT(e.wall.begC, x1, y1);
            EXPECT_POINT(e.wall.endC, x2, y2);
        };
    };
    auto slabMapped = [&](std::function<API_Coord(API_Coord)> map) {
        return [=](const API_Element&, const API_Guid& guid) {
            const std::vector<API_Coord> polygon = HostTesting::GetPolygon(guid);
            ASSERT_EQ(polygon.size(), slabPolygon.size());
            for (size_t i = 0; i < polygon.size(); ++i)
                EXPECT_POINT(polygon[i], map(slabPolygon[i]).x, map(slabPolygon[i]).y);
        };
    };
    const double s = std::sin(M_PI / 6.0), co = std::cos(M_PI / 6.0);
    struct Case {
        const char* tool;
        API_Guid target;
        json input;
        std::string message, edit;
        std::function<void(const API_Element&, const API_Guid&)> check;  // of the moved element or the copy
    };
    const Case cases[] = {
        {"move_element", wall, {{"dx", 1.5}, {"dy", -2.0}}, "Element moved by (1.500000, -2.000000)",
         EditRecord(APIEdit_Drag, true, zero, zero, Point(1.5, -2.0)), wallAt(4.5, 1.0, 5.5, 1.0)},
        {"move_element", wall, json::object(), "Element moved by (0.000000, 0.000000)",
         EditRecord(APIEdit_Drag, true, zero, zero, zero), wallAt(3.0, 3.0, 4.0, 3.0)},
        {"move_element", slab, {{"dx", -3.0}, {"dy", 0.5}}, "Element moved by (-3.000000, 0.500000)",
         EditRecord(APIEdit_Drag, true, zero, zero, Point(-3.0, 0.5)),
         slabMapped([](API_Coord p) { return API_Coord {p.x - 3.0, p.y + 0.5}; })},
        // Without an offset a copy lands one metre along x; otherwise it is its source, moved.
        {"copy_element", wall, json::object(), "Element copied with offset (1.000000, 0.000000)",
         EditRecord(APIEdit_Drag, false, zero, zero, Point(1.0, 0.0)),
         [&](const API_Element& e, const API_Guid&) {
             API_Element expected = wallBefore;
             expected.header.guid = e.header.guid;
             expected.wall.begC.x += 1.0, expected.wall.endC.x += 1.0;
             EXPECT_EQ(FirstDifference(e, expected), sizeof(API_Element));
         }},
        {"copy_element", line, {{"dx", -1.5}, {"dy", 0.25}}, "Element copied with offset (-1.500000, 0.250000)",
         EditRecord(APIEdit_Drag, false, zero, zero, Point(-1.5, 0.25)),
         [&](const API_Element& e, const API_Guid&) {
             EXPECT_POINT(e.line.begC, lineBefore.line.begC.x - 1.5, lineBefore.line.begC.y + 0.25);
             EXPECT_POINT(e.line.endC, lineBefore.line.endC.x - 1.5, lineBefore.line.endC.y + 0.25);
         }},
        {"rotate_element", wall, {{"center_x", 2.0}, {"center_y", 3.0}, {"angle", 90}}, "Element rotated 90.000000 degrees",
         EditRecord(APIEdit_Rotate, true, Point(2.0, 3.0), Point(3.0, 3.0),
                    Point(2.0 + std::cos(quarter), 3.0 + std::sin(quarter))),
         wallAt(2.0, 4.0, 2.0, 5.0)},
        // About the origin the end point is the bare cosine and sine of the stored degree.
        {"rotate_element", wall, {{"angle", 30}}, "Element rotated 30.000000 degrees",
         EditRecord(APIEdit_Rotate, true, zero, Point(1.0, 0.0), Point(std::cos(thirty), std::sin(thirty))),
         wallAt(3 * co - 3 * s, 3 * s + 3 * co, 4 * co - 3 * s, 4 * s + 3 * co)},
        {"rotate_element", object, {{"angle", -90}}, "Element rotated -90.000000 degrees",
         EditRecord(APIEdit_Rotate, true, zero, Point(1.0, 0.0), Point(std::cos(minusQuarter), std::sin(minusQuarter))),
         [](const API_Element& e, const API_Guid&) {
             EXPECT_POINT(e.object.pos, 0.0, -2.0);
             EXPECT_NEAR(e.object.angle, 0.5 - M_PI / 2.0, 1e-9);
         }},
        {"rotate_element", wall, {{"center_x", 1.0}}, "Element rotated 0.000000 degrees",
         EditRecord(APIEdit_Rotate, true, Point(1.0, 0.0), Point(2.0, 0.0), Point(2.0, 0.0)),
         [&](const API_Element& e, const API_Guid&) { EXPECT_TRUE(SameRecord(e, wallBefore)); }},
        // Without an axis, the x axis.
        {"mirror_element", wall, json::object(), "Element mirrored", EditRecord(APIEdit_Mirror, true, zero, zero, Point(1.0, 0.0)),
         wallAt(3.0, -3.0, 4.0, -3.0)},
        {"mirror_element", slab, {{"axis_y2", 1}}, "Element mirrored", EditRecord(APIEdit_Mirror, true, zero, zero, Point(1.0, 1.0)),
         slabMapped([](API_Coord p) { return API_Coord {p.y, p.x}; })},
        {"mirror_element", hotspot, {{"axis_x2", 2}, {"axis_y2", 2}, {"keep_original", true}}, "Element mirrored",
         EditRecord(APIEdit_Mirror, false, zero, zero, Point(2.0, 2.0)),
         [](const API_Element& e, const API_Guid&) { EXPECT_POINT(e.hotspot.pos, 3.0, 1.0); }},
        // The line through (1, 2) and (3, 5) reflects (3, 3) to (15/13, 55/13).
        {"mirror_element", wall, {{"axis_x1", 1}, {"axis_y1", 2}, {"axis_x2", 3}, {"axis_y2", 5}, {"keep_original", true}},
         "Element mirrored", EditRecord(APIEdit_Mirror, false, Point(1.0, 2.0), zero, Point(3.0, 5.0)),
         [](const API_Element& e, const API_Guid&) { EXPECT_POINT(e.wall.begC, 15.0 / 13.0, 55.0 / 13.0); }},
    };
    const std::map<std::string, std::string> stepNames = {{"move_element", "Quillmere: Move Element"},
                                                          {"copy_element", "Quillmere: Copy Element"},
                                                          {"rotate_element", "Quillmere: Rotate Element"},
                                                          {"mirror_element", "Quillmere: Mirror Element"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.input.dump());
        const std::string sent = Text(c.target);
        json input = c.input;
        input["element_guid"] = sent;
        const bool copies = std::string(c.tool) == "copy_element" || input.value("keep_original", false);
        HostTesting::ClearCallLog();

        const ToolResult result = Run(c.tool, input);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.message, c.message);
        // A copy reports no GUID at all; the others echo the GUID as sent.
        if (std::string(c.tool) == "copy_element")
            EXPECT_EQ(result.toJson().find("element_guid"), std::string::npos);
        else
            EXPECT_EQ(result.elementGuid, sent);
        EXPECT_EQ(LastEditRecord(), c.edit);
        EXPECT_EQ(UndoSteps(), std::vector<std::string> {stepNames.at(c.tool)});
        ASSERT_EQ(HostTesting::ElementCount(), before.size() + (copies ? 1 : 0));
        const API_Guid changed = copies ? HostTesting::AllElements().back() : c.target;
        c.check(Get(changed), changed);
        const auto after = TakeSnapshot();
        for (size_t i = 0; i < before.size(); ++i)
            if (copies || before[i].record.header.guid != c.target)
                EXPECT_TRUE(SameState(before[i], after[i])) << "element " << i << " changed";

        ASSERT_TRUE(UndoLast());
        EXPECT_TRUE(SameProject(before, TakeSnapshot()));
        EXPECT_EQ(UndoStepCount(), 0u);
    }
}
