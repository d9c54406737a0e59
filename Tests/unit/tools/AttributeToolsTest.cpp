// Attribute tools: listings with the gaps and flags the host reports, layer creation and
// visibility, moving an element to a layer, pens; and the failures of each, which must
// leave the attribute tables, the elements and the undo history as they were.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ToolsTest.hpp"

namespace {

const std::string kBadIndex = std::to_string(APIERR_BADINDEX);

class AttributeTools : public ToolsTest {
protected:
    // Every stored attribute of every type, byte for byte: "no attribute changed".
    static std::string Tables()
    {
        std::string bytes;
        for (API_AttrTypeID type : {API_PenID, API_LayerID, API_LinetypeID, API_FilltypeID, API_CompWallID,
                                    API_MaterialID, API_BuildingMaterialID}) {
            for (Int32 i = 1; i <= 400; ++i) {
                API_Attribute a;
                BNClear(a);
                if (HostTesting::GetAttribute(type, i, &a)) bytes.append(reinterpret_cast<const char*>(&a), sizeof a);
            }
        }
        return bytes;
    }
    static API_Attribute Stored(API_AttrTypeID type, Int32 index)
    {
        API_Attribute a;
        BNClear(a);
        EXPECT_TRUE(HostTesting::GetAttribute(type, index, &a)) << type << "/" << index;
        return a;
    }
    static std::string NameAt(API_AttrTypeID type, Int32 index) { return Stored(type, index).header.name; }
    json Listing(const char* tool, const json& input = json::object())
    {
        const ToolResult result = Run(tool, input);
        EXPECT_TRUE(result.success) << tool << ": " << result.error;
        EXPECT_TRUE(result.elementGuid.empty());
        return json::parse(result.message);
    }
    static std::vector<int> Indices(const json& list)
    {
        std::vector<int> out;
        for (const json& entry : list) out.push_back(entry.at("index").get<int>());
        return out;
    }

    // ToolsTest's failure table (exact error, no element or undo change, no host call where
    // notCalled says so), and no attribute changed either.
    void ExpectRefusals(const std::vector<Failure>& cases, const char* notCalled = nullptr)
    {
        const std::string tables = Tables();
        ExpectFailures(cases, notCalled);
        EXPECT_EQ(Tables(), tables);
    }
};

TEST_F(AttributeTools, LayerListSkipsUnreadableIndicesReportsTheTwoFlagBitsAndKeepsNamesUnescaped)
{
    API_Attribute odd = Stored(API_LayerID, 4);
    odd.header.flags = 0x0104;  // bits other than hidden and locked mean nothing to the list
    HostTesting::SetAttribute(odd);
    HostTesting::InjectFailure({"ACAPI_Attribute_Get", APIERR_GENERAL, 0, -1, {}, API_LayerID, 7});
    const ToolResult result = Run("list_layers", json::array({1, 2}));  // input is never read
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message.rfind(R"([{"hidden":false,"index":1,"locked":false,"name":"General"},)", 0), 0u);
    EXPECT_NE(result.message.find("\"Fa\xC3\xA7"
                                  "ade Elements\""),
              std::string::npos)
        << "non-ASCII written as it is";

    const json list = json::parse(result.message);
    const std::vector<int> expected = {1,  2,  3,  4,  5,  6,  8, 9,
                                       10, 11, 13, 14, 15, 17, 18};  // 7 fails, 12 and 16 deleted
    EXPECT_EQ(Indices(list), expected);
    for (const json& entry : list) {
        const API_Attribute layer = Stored(API_LayerID, entry.at("index").get<int>());
        EXPECT_EQ(entry, (json{{"index", layer.header.index},
                               {"name", layer.header.name},
                               {"hidden", (layer.header.flags & 1) != 0},
                               {"locked", (layer.header.flags & 2) != 0}}));
    }
}

TEST_F(AttributeTools, MaterialsListBuildingMaterialsBeforeSurfacesAndCompositesTheHostsThickness)
{
    // Every readable building material in index order, then every readable surface.
    json expected = json::array();
    for (const auto& [type, category] :
         {std::make_pair(API_BuildingMaterialID, "building_material"), std::make_pair(API_MaterialID, "surface")})
        for (Int32 i = 1; i <= 400; ++i)
            if (HostTesting::GetAttribute(type, i, nullptr))
                expected.push_back({{"category", category}, {"index", i}, {"name", NameAt(type, i)}});
    EXPECT_EQ(Listing("list_materials", "anything"), expected);

    const ToolResult composites = Run("list_composites", nullptr);
    ASSERT_TRUE(composites.success) << composites.error;
    EXPECT_EQ(composites.message.rfind(R"([{"index":1,"name":"Brick Cavity Wall 365","total_thickness":0.365},)", 0),
              0u);
    const json list = json::parse(composites.message);
    const std::vector<int> compositeIndices = Indices(list);
    EXPECT_EQ(std::count(compositeIndices.begin(), compositeIndices.end(), 6), 0) << "deleted composite listed";
    for (const json& c : list)
        EXPECT_EQ(c.at("total_thickness").get<double>(),
                  Stored(API_CompWallID, c.at("index").get<int>()).compWall.totalThick);
}

// A host record whose name fills the whole field, without a terminating zero, is listed with
// all of the field's bytes and none after it.
TEST_F(AttributeTools, ANameFillingItsWholeFieldIsListedWhole)
{
    const std::string full(sizeof(API_Attr_Head::name), 'n');
    API_Attribute a = Stored(API_CompWallID, 1);
    std::memset(a.header.name, 'n', sizeof a.header.name);
    HostTesting::SetAttribute(a);
    EXPECT_EQ(Listing("list_composites").front().at("name"), full);
}

TEST_F(AttributeTools, ListFailuresLayersReportTheOthersAnswerEmptyMaterialsKeepTheOtherKind)
{
    const std::string tables = Tables();
    HostTesting::InjectFailure({"ACAPI_Attribute_GetNum", APIERR_MEMFULL});
    const ToolResult layers = Run("list_layers", {});
    EXPECT_FALSE(layers.success);
    EXPECT_EQ(layers.error, "ACAPI_Attribute_GetNum(Layer) error: " + std::to_string(APIERR_MEMFULL));
    for (const char* tool : {"list_materials", "list_composites", "list_line_types", "list_fill_types"}) {
        const ToolResult r = Run(tool, {});
        EXPECT_TRUE(r.success) << tool;
        EXPECT_EQ(r.message, "[]") << tool;
    }
    HostTesting::ClearFailures();

    HostTesting::InjectFailure({"ACAPI_Attribute_GetNum", APIERR_GENERAL, 0, -1, {}, API_BuildingMaterialID});
    const json surfacesOnly = Listing("list_materials");
    ASSERT_FALSE(surfacesOnly.empty());
    for (const json& m : surfacesOnly) EXPECT_EQ(m.at("category"), "surface");
    HostTesting::ClearFailures();
    EXPECT_EQ(Tables(), tables);

    // One name that is not UTF-8 fails the whole listing with the library's text.
    API_Attribute bad = Stored(API_LinetypeID, 1);
    std::strcpy(bad.header.name, "Bad \xFF name");
    HostTesting::SetAttribute(bad);
    const ToolResult r = Run("list_line_types", {});
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.error.rfind("[json.exception.type_error.316] invalid UTF-8 byte", 0), 0u) << r.error;
    EXPECT_TRUE(r.message.empty());
}

TEST_F(AttributeTools, ReadingToolsChangeNothingAndOpenNoUndoStep)
{
    const std::string tables = Tables();
    const Footprint footprint = TakeFootprint();
    HostTesting::ClearCallLog();
    for (const char* tool :
         {"list_layers", "list_materials", "list_composites", "get_pen_color", "list_line_types", "list_fill_types"})
        EXPECT_TRUE(Run(tool, json::object()).success) << tool;
    for (const HostTesting::CallRecord& call : HostTesting::CallLog())
        EXPECT_TRUE(call.function == "ACAPI_Attribute_GetNum" || call.function == "ACAPI_Attribute_Get")
            << call.function;
    EXPECT_FALSE(HostTesting::CallLog().empty());
    EXPECT_EQ(Tables(), tables);
    EXPECT_EQ(TakeFootprint(), footprint);
}

TEST_F(AttributeTools, CreateLayerReportsTheHostsIndexAndAddsNoUndoStep)
{
    Int32 count = 0;
    ASSERT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &count), NoError);
    const size_t steps = UndoStepCount();
    const ToolResult result = Run("create_layer", {{"name", "Stair Cores"}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Layer \"Stair Cores\" created (index " + std::to_string(count + 1) + ")");
    EXPECT_TRUE(result.elementGuid.empty());
    EXPECT_EQ(UndoStepCount(), steps);
    EXPECT_EQ(Listing("list_layers").back(),
              (json{{"index", count + 1}, {"name", "Stair Cores"}, {"hidden", false}, {"locked", false}}));

    ExpectRefusals(
        {
            {"create_layer", {{"name", ""}}, "Layer name is required"},
        },
        "");
    ExpectRefusals({
        {"create_layer", {{"name", "Stair Cores"}}, "CreateLayer ACAPI error: " + std::to_string(APIERR_ATTREXIST)},
    });
}

// Long names are cut at the last whole character within 255 bytes, for creation and for
// lookups alike, so the layer lists and is found again by the name the model gave.
TEST_F(AttributeTools, ALongMultiByteNameIsCutCleanlyListsAndIsFoundByTheWholeName)
{
    const std::string e2 = "\xC3\xA9", e3 = "\xE2\x82\xAC", e4 = "\xF0\x9F\x8F\xA0";
    struct Case {
        std::string name;
        size_t stored;
    };
    const std::vector<Case> cases = {
        {std::string(254, 'a') + e2 + "tail", 254},  // a two-byte character across the limit
        {std::string(252, 'c') + e4 + "tail", 252},  // four bytes, three of which would fit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        const ToolResult created = Run("create_layer", {{"name", c.name}});
        ASSERT_TRUE(created.success) << created.error;
        EXPECT_EQ(created.message.substr(0, c.name.size() + 7), "Layer \"" + c.name)
            << "the message quotes the whole name";
        const Int32 index = std::stoi(created.message.substr(created.message.rfind(' ') + 1));
        EXPECT_EQ(NameAt(API_LayerID, index), c.name.substr(0, c.stored));

        const json list = Listing("list_layers");
        EXPECT_EQ(list.back().at("name"), c.name.substr(0, c.stored));
        const ToolResult hidden = Run("set_layer_visibility", {{"layer_name", c.name}, {"visible", false}});
        EXPECT_EQ(hidden.message, "Layer " + c.name.substr(0, c.stored) + " hidden") << hidden.error;
        const ToolResult moved = Run("set_element_layer", {{"element_guid", wall}, {"layer_name", c.name}});
        EXPECT_EQ(moved.message, "Element moved to layer " + std::to_string(index)) << moved.error;
        EXPECT_EQ(Element(wall).header.layer, index);
    }
}

TEST_F(AttributeTools, VisibilityByIndexOrNameTheIndexWinsOtherBitsStayAndNoUndoStep)
{
    const size_t steps = UndoStepCount();
    struct Case {
        json input;
        Int32 layer;
        std::string message;
        Int16 flags;
    };
    const std::vector<Case> cases = {
        {{{"layer_index", 2}, {"visible", false}}, 2, "Layer Structural - Bearing hidden", APILay_Hidden},
        {{{"layer_index", 5}, {"layer_name", "Zones"}}, 5, "Layer Furniture shown", 0},  // visible absent: shown
        {{{"layer_name", "Locked Survey"}, {"visible", false}},
         11,
         "Layer Locked Survey hidden",
         APILay_Hidden | APILay_Locked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.dump());
        API_Attribute expected = Stored(API_LayerID, c.layer);
        const ToolResult result = Run("set_layer_visibility", c.input);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.message, c.message);
        EXPECT_TRUE(result.elementGuid.empty());
        expected.header.flags = c.flags;
        const API_Attribute stored = Stored(API_LayerID, c.layer);
        EXPECT_EQ(std::memcmp(&stored, &expected, sizeof stored), 0) << "more than the hidden bit changed";
    }
    EXPECT_EQ(Stored(API_LayerID, 8).header.flags, 0) << "the name Zones was ignored";
    EXPECT_EQ(UndoStepCount(), steps);

    ExpectRefusals(
        {
            {"set_layer_visibility", {{"visible", false}}, "Provide layer_index or layer_name"},
        },
        "");
    ExpectRefusals({
        {"set_layer_visibility", {{"layer_index", 999}}, "Layer not found: " + kBadIndex},
    });
}

TEST_F(AttributeTools, SetElementLayerIsOneUndoStepChangingOnlyTheLayer)
{
    const API_Guid guid = HostTesting::AddWall(0, 0, 5, 0);
    std::string given = Text(guid);
    for (char& ch : given) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    const API_Element before = Element(given);
    const size_t steps = UndoStepCount();

    for (const auto& [input, layer] : {std::make_pair(json{{"layer_name", "Furniture"}}, 5),
                                       std::make_pair(json{{"layer_index", 13}, {"layer_name", "Furniture"}}, 13)}) {
        json call = input;
        call["element_guid"] = given;
        const ToolResult result = Run("set_element_layer", call);
        ASSERT_TRUE(result.success) << result.error;
        EXPECT_EQ(result.elementGuid, given) << "the text as received";
        EXPECT_EQ(result.message, "Element moved to layer " + std::to_string(layer));
        API_Element expected = before;
        expected.header.layer = layer;
        EXPECT_EQ(FirstDifference(Element(given), expected), sizeof(API_Element));
    }
    const std::vector<std::string> names = UndoSteps();
    ASSERT_EQ(names.size(), steps + 2);
    EXPECT_EQ(names[steps], "Quillmere: Set Element Layer");
    EXPECT_EQ(names[steps + 1], "Quillmere: Set Element Layer");
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(Element(given).header.layer, 5);
    ASSERT_TRUE(UndoLast());
    EXPECT_EQ(FirstDifference(Element(given), before), sizeof(API_Element));

    const std::string unknown = "01234567-89AB-CDEF-0123-456789ABCDEF";
    ExpectRefusals(
        {
            {"set_element_layer", {{"element_guid", given}}, "Provide layer_index or layer_name"},
        },
        "");
    ExpectRefusals({
        {"set_element_layer", {{"element_guid", unknown}, {"layer_index", 2}}, "Element not found: " + unknown},
        {"set_element_layer",
         {{"element_guid", given}, {"layer_index", 12}},
         "SetElementLayer ACAPI error: " + kBadIndex},
    });
}

TEST_F(AttributeTools, PenColourReadsAsTheHostKeepsItAndChangesOnlyTheColourWithoutAnUndoStep)
{
    EXPECT_EQ(Run("get_pen_color", json::object()).message,
              R"({"blue":0.0,"green":0.0,"pen_index":1,"red":0.0,"width":0.1})");
    const size_t steps = UndoStepCount();
    const API_Attribute before = Stored(API_PenID, 5);
    const ToolResult set = Run("set_pen_color", {{"pen_index", 5}, {"red", 1}, {"green", 0.5}, {"blue", 0}});
    ASSERT_TRUE(set.success) << set.error;
    EXPECT_EQ(set.message, "Pen 5 colour updated");
    EXPECT_EQ(UndoStepCount(), steps);
    API_Attribute expected = before;
    expected.pen.rgb = {1.0, 0.5, 0.0};
    const API_Attribute after = Stored(API_PenID, 5);
    EXPECT_EQ(std::memcmp(&after, &expected, sizeof after), 0) << "more than the colour changed";
    const json read = json::parse(Run("get_pen_color", {{"pen_index", 5.9}}).message);
    EXPECT_EQ(read, (json{{"pen_index", 5}, {"red", 1.0}, {"green", 0.5}, {"blue", 0.0}, {"width", before.pen.width}}));

    // Only the index given: the pen turns black.
    ASSERT_TRUE(Run("set_pen_color", {{"pen_index", 5}}).success);
    EXPECT_EQ(Stored(API_PenID, 5).pen.rgb.f_green, 0.0);

    HostTesting::InjectFailure({"ACAPI_Attribute_Modify", APIERR_GENERAL, 0, -1, {}, API_PenID, 9});
    const std::string range = "Colour components must be between 0.0 and 1.0";
    ExpectRefusals(
        {
            {"set_pen_color", {{"pen_index", 5}, {"red", 255}}, range},
            {"set_pen_color", {{"pen_index", 0}, {"blue", 2}}, range},  // the range is checked before the lookup
        },
        "");
    ExpectRefusals({
        {"set_pen_color",
         {{"pen_index", 9}, {"red", 0.2}},
         "SetPenColor ACAPI error: " + std::to_string(APIERR_GENERAL)},
        {"get_pen_color", {{"pen_index", -3}}, "Pen not found: -3"},
    });
}

}  // namespace
