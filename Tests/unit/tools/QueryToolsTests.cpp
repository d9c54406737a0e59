// The query tools: filters combined, paging at its edges, each element kind's summary against
// the host's record, details of chosen elements, and bad input refused without a change.
#include <cmath>

#include "HostTestingNavigator.hpp"
#include "HostTestingProperties.hpp"
#include "QuillmereTest.hpp"
#include "core/OutsideText.hpp"

namespace {

using QueryTools = QuillmereTest;

std::vector<std::string> Guids(const json& page)
{
    std::vector<std::string> guids;
    for (const json& summary : page.value("elements", json::array())) guids.push_back(summary.at("guid"));
    return guids;
}

TEST_F(QueryTools, FiltersCombineAndPagesMeetAtTheirEdges)
{
    HostTesting::SetStories({{0, 0.0, "Ground"}, {1, 3.0, "First"}});
    const std::string w0 = Text(HostTesting::AddWall(0, 0, 2, 0));       // 2 m, story 0
    const std::string w1 = Text(HostTesting::AddWall(10, 0, 16, 0));     // 6 m, story 0
    const std::string w2 = Text(HostTesting::AddWall(0, 5, 3, 5, 1));    // 3 m, story 1
    const std::string slab = Text(HostTesting::AddFixture(API_SlabID));  // 4 x 3 at the origin
    const std::string zone = Text(HostTesting::AddFixture(API_ZoneID, 1));
    const struct {
        const char* name;
        const char* tool;
        json input;
        size_t total;
        std::vector<std::string> page;
        json next;
    } cases[] = {
        {"every element", "list_elements", json::object(), 5, {w0, w1, w2, slab, zone}, nullptr},
        {"type and story", "list_elements", {{"types", {"wall"}}, {"story", 0}}, 2, {w0, w1}, nullptr},
        {"first page", "list_elements", {{"types", {"wall", "slab"}}, {"limit", 2}}, 4, {w0, w1}, 2},
        {"last page exactly",
         "list_elements",
         {{"types", {"wall", "slab"}}, {"offset", 2}, {"limit", 2}},
         4,
         {w2, slab},
         nullptr},
        {"offset past the end", "list_elements", {{"offset", 9}}, 5, {}, nullptr},
        {"box touches", "find_elements", {{"within", {1, -1, 11, 1}}}, 4, {w0, w1, slab, zone}, nullptr},
        {"box and length", "find_elements", {{"within", {1, -1, 11, 1}}, {"min_length", 5}}, 1, {w1}, nullptr},
        {"length range", "find_elements", {{"min_length", 2.5}, {"max_length", 3.5}}, 1, {w2}, nullptr},
        {"area range", "find_elements", {{"min_area", 11.9}, {"max_area", 12.1}, {"story", 1}}, 1, {zone}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const json page = Data(Run(c.tool, c.input));
        EXPECT_EQ(page.value("total", 0u), c.total);
        EXPECT_EQ(Guids(page), c.page);
        EXPECT_EQ(page.value("next_offset", json(-1)), c.next);
    }
}

// A page ends before the cap as the model reads the result (escaped): quotes in zone names
// double there, so a page measured before escaping would be cut.
TEST_F(QueryTools, PagesEndBeforeTheCapSoNoneIsCut)
{
    API_Element zone = HostTesting::MakeElement(API_ZoneID);
    GS::ucscpy(zone.zone.roomName, GS::UniString(std::string(200, '"').c_str()).ToUStr().Get());
    std::vector<std::string> zones;
    for (int i = 0; i < 100; ++i) {
        ScopedMemo memo;
        PutPolygon(memo.memo, kRectangle8x6);
        zones.push_back(Text(HostTesting::AddElement(zone, memo.get())));
    }
    ASSERT_TRUE(Run("select_elements", {{"element_guids", zones}}).success);
    const json paged = {{"limit", 1000}};
    const std::pair<const char*, json> cases[] = {{"list_elements", paged},
                                                  {"find_elements", {{"text", "\"\""}, {"limit", 1000}}},
                                                  {"get_selection", paged},
                                                  {"get_element_details", {{"element_guids", zones}}}};
    for (const auto& [tool, first] : cases) {
        SCOPED_TRACE(tool);
        std::vector<std::string> seen;
        int calls = 0;
        for (json input = first; !input.is_null() && calls++ < 10;) {
            const ToolResult result = Run(tool, input);
            EXPECT_LE(result.toJson().size(), kMaxToolResultBytes);
            const json page = Data(result);
            ASSERT_TRUE(page.is_object());
            for (const std::string& guid : Guids(page)) seen.push_back(guid);
            input["offset"] = page.value("next_offset", json());  // the next page, or the details left out
            if (page.contains("left_out"))
                input = {{"element_guids", page["left_out"]}};
            else if (input["offset"].is_null())
                input = json();
        }
        EXPECT_EQ(seen, zones);
        EXPECT_GT(calls, 1);
    }
}

TEST_F(QueryTools, TextAndPropertyFiltersMatchWhatTheHostHolds)
{
    API_Element zone = HostTesting::MakeElement(API_ZoneID);
    GS::ucscpy(zone.zone.roomName, GS::UniString("Living Room").ToUStr().Get());
    ScopedMemo memo;
    PutPolygon(memo.memo, kRectangle8x6);
    const std::string living = Text(HostTesting::AddElement(zone, memo.get()));
    const std::string wall = Text(HostTesting::AddWall(0, 0, 5, 0));
    HostTesting::SetPropertyValue(Guid(wall), HostTesting::DefaultPropertyDefinition("Project Data", "Status"),
                                  HostTesting::StringVariant("Demolish"));
    EXPECT_EQ(Guids(Data(Run("find_elements", {{"text", "living"}}))), std::vector<std::string>{living});
    const json status = {{"definition", "Project Data/Status"}, {"equals", "Demolish"}};
    EXPECT_EQ(Guids(Data(Run("find_elements", {{"property", status}}))), std::vector<std::string>{wall});
    const json area = Data(Run("find_elements", {{"types", {"zone"}}}))["elements"][0];
    EXPECT_EQ(area["area"], 48.0);
    EXPECT_EQ(area["zone_name"], "Living Room");
}

TEST_F(QueryTools, EachKindIsSummarisedFromItsRecord)
{
    const API_Guid wallGuid = HostTesting::AddWall(1, 2, 7, 2);
    const API_Guid door = HostTesting::AddFixture(API_DoorID, 0, wallGuid);
    const API_Guid column = HostTesting::AddFixture(API_ColumnID);
    const API_Guid object = HostTesting::AddFixture(API_ObjectID);
    const API_Guid slab = HostTesting::AddFixture(API_SlabID);
    const API_Guid line = HostTesting::AddFixture(API_LineID);
    const API_Element wall = Read(wallGuid);
    const double along = Read(door).door.objLoc;
    const json details = Data(
        Run("get_element_details",
            {{"element_guids", {Text(wallGuid), Text(door), Text(column), Text(object), Text(slab), Text(line)}}}));
    ASSERT_EQ(details["elements"].size(), 6u);
    const json& w = details["elements"][0];
    EXPECT_EQ(w["start"], json({wall.wall.begC.x, wall.wall.begC.y}));
    EXPECT_EQ(w["end"], json({wall.wall.endC.x, wall.wall.endC.y}));
    EXPECT_EQ(w["details"]["thickness"], wall.wall.thickness);
    const json& d = details["elements"][1];
    EXPECT_EQ(d["host_wall"], Text(wallGuid));
    EXPECT_EQ(d["position"], json({1 + along, 2.0}));
    EXPECT_EQ(d["details"]["width"], Read(door).door.openingBase.width);
    EXPECT_EQ(details["elements"][2]["position"],
              json({Read(column).column.origoPos.x, Read(column).column.origoPos.y}));
    EXPECT_FALSE(details["elements"][3]["library_part"].get<std::string>().empty());
    EXPECT_EQ(details["elements"][4]["extent"], json({0, 0, 4, 3}));
    EXPECT_EQ(details["elements"][4]["area"], 12.0);
    EXPECT_EQ(details["elements"][5]["type"], "line");
    for (const json& summary : details["elements"]) EXPECT_EQ(summary["story"], 0);
}

TEST_F(QueryTools, DraftingOnAWorksheetNamesItAndIsOnNoStorysPlan)
{
    const std::string onPlan = Text(HostTesting::AddFixture(API_LineID));
    Run("switch_database", {{"database_guid", Text(HostTesting::AddDatabase(APIWind_WorksheetID, "Survey"))}});
    const std::string onSheet = Text(HostTesting::AddFixture(API_LineID));
    const json all = Data(Run("list_elements", json::object()))["elements"];
    EXPECT_EQ(std::make_tuple(all[0].contains("worksheet"), all[1]["guid"], all[1]["worksheet"]),
              std::make_tuple(false, json(onSheet), json("Survey")));
    EXPECT_EQ(Guids(Data(Run("find_elements", {{"story", 0}}))), std::vector<std::string>{onPlan});

    // Every kind the host draws on a worksheet is named with it, the kinds without a type word too.
    int kinds = 0;
    for (Int32 type = 1; type <= API_LastElemTypeID; ++type) {
        if (!HostTesting::IsDrafting(type)) continue;
        ++kinds;
        const std::string drawn = Text(HostTesting::AddFixture(API_ElemTypeID(type)));
        const json details = Data(Run("get_element_details", {{"element_guids", {drawn}}}));
        EXPECT_EQ(details["elements"][0].value("worksheet", json()), json("Survey")) << "type " << type;
    }
    EXPECT_EQ(kinds, 10);
}

// A name that is not UTF-8 (a module's layer) reaches every result with its bad bytes replaced.
TEST_F(QueryTools, ANameThatIsNotUtf8IsReportedReplaced)
{
    const std::string wall = Text(HostTesting::AddWall(0, 0, 5, 0));
    API_Attribute layer = HostTesting::MakeLayer("Survey \xFF");
    layer.header.index = Element(wall).header.layer;
    HostTesting::SetAttribute(layer);
    Run("select_elements", {{"element_guids", {wall}}});
    for (const auto& [tool, input] :
         std::vector<std::pair<const char*, json>>{{"list_elements", json::object()},
                                                   {"find_elements", {{"types", {"wall"}}}},
                                                   {"get_element_details", {{"element_guids", {wall}}}},
                                                   {"get_selection", json::object()},
                                                   {"capture_element_detail", {{"element_guid", wall}}},
                                                   {"list_layers", json::object()}}) {
        const ToolResult result = Run(tool, input);
        EXPECT_NE(result.message.find("Survey \xEF\xBF\xBD"), std::string::npos) << tool << ": " << result.error;
    }
}

TEST_F(QueryTools, UnknownElementsAreListedAndMalformedOnesRefuseTheCall)
{
    const std::string wall = Text(HostTesting::AddWall(0, 0, 5, 0));
    const std::string gone = Text(HostTesting::AddWall(0, 1, 5, 1));
    ASSERT_EQ(DeleteInCommand(GS::Array<API_Guid>{Guid(gone)}), NoError);
    const json result = Data(Run("get_element_details", {{"element_guids", {wall, gone}}}));
    EXPECT_EQ(Guids(result), std::vector<std::string>{wall});
    EXPECT_EQ(result["not_found"], json({gone}));
    EXPECT_EQ(Run("get_element_details", {{"element_guids", {wall, "nope"}}}).error, "Element not found: nope");
}

TEST_F(QueryTools, BadInputIsRefusedClearly)
{
    HostTesting::AddWall(0, 0, 5, 0);
    const struct {
        const char* tool;
        json input;
        std::string error;
    } cases[] = {
        {"list_elements", {{"types", {"wall", "pillar"}}}, "Unknown element type: pillar (valid types: wall, "},
        {"list_elements", {{"story", 7}}, "Unknown story: 7"},
        {"list_elements", {{"layer", "No Such Layer"}}, "Unknown layer: No Such Layer"},
        {"list_elements", {{"offset", -1}}, "offset must be 0 or more"},
        {"list_elements", {{"limit", 1001}}, "limit must be between 1 and 1000"},
        {"find_elements", {{"within", {5, 0, 1, 1}}}, "within has a minimum above its maximum"},
        {"find_elements", {{"within", {0, 0, 1}}}, "within must be [min_x, min_y, max_x, max_y]"},
        {"find_elements", {{"max_length", INFINITY}}, "min_length and max_length must be finite numbers"},
        {"find_elements", {{"min_area", 3}, {"max_area", 2}}, "min_area is above max_area"},
        {"find_elements", {{"property", {{"definition", "X/Y"}, {"equals", "1"}}}}, "Unknown property definition: X/Y"},
        {"find_elements",
         {{"property", {{"definition", "General Ratings/Acoustic Rating"}, {"equals", "loud"}}}},
         "property.equals is not a integer value"},
    };
    const Footprint before = TakeFootprint();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.dump());
        const ToolResult result = Run(c.tool, c.input);
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error.rfind(c.error, 0), 0u) << result.error;
    }
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(QueryTools, ProjectInfoCountsEveryElementOnce)
{
    HostTesting::SetStories({{0, 0.0, "Ground"}, {1, 3.0, "First"}});
    HostTesting::AddWall(-2, -1, 3, -1);
    HostTesting::AddWall(0, 0, 1, 0, 1);
    HostTesting::AddFixture(API_SlabID, 1);
    const json info = Data(Run("get_project_info", json::object()));
    EXPECT_EQ(info["element_count"], 3);
    EXPECT_EQ(info["elements_per_type"], json({{"slab", 1}, {"wall", 2}}));
    EXPECT_EQ(info["elements_per_story"], json({{"0", 1}, {"1", 2}}));
    EXPECT_EQ(info["bounding_box"], json({{"min_x", -2}, {"min_y", -1}, {"max_x", 4}, {"max_y", 3}}));
    EXPECT_EQ(info["stories"][1], json({{"index", 1}, {"name", "First"}, {"level", 3.0}}));
}

}  // namespace
