// What the attribute tools compute themselves: which indices a listing holds (its first ones
// when a result cannot hold it all), which layer a call names (the index wins over the name),
// and names cut and read within their fields.
#include <cstring>

#include "QuillmereTest.hpp"
#include "core/OutsideText.hpp"

namespace {

class AttributeTools : public QuillmereTest {
protected:
    static API_Attribute Stored(API_AttrTypeID type, Int32 index)
    {
        API_Attribute a;
        BNClear(a);
        EXPECT_TRUE(HostTesting::GetAttribute(type, index, &a)) << type << "/" << index;
        return a;
    }
    json Listing(const char* tool) { return Data(Run(tool, json::object())); }
};

TEST_F(AttributeTools, ListsLeaveOutDeletedAndUnreadableIndicesAndReadNamesWithinTheirFields)
{
    HostTesting::InjectFailure({"ACAPI_Attribute_Get", APIERR_GENERAL, 0, -1, {}, API_LayerID, 7});
    std::vector<int> indices;
    for (const json& layer : Listing("list_layers")) indices.push_back(layer.at("index"));
    EXPECT_EQ(indices, (std::vector<int>{1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 13, 14, 15, 17, 18}));  // 12, 16 deleted

    API_Attribute full = Stored(API_CompWallID, 1);
    std::memset(full.header.name, 'n', sizeof full.header.name);  // no terminating zero
    HostTesting::SetAttribute(full);
    EXPECT_EQ(Listing("list_composites").front().at("name"), std::string(sizeof full.header.name, 'n'));

    HostTesting::ClearFailures();
    HostTesting::InjectFailure({"ACAPI_Attribute_GetNum", APIERR_GENERAL, 0, -1, {}, API_BuildingMaterialID});
    for (const json& m : Listing("list_materials")) EXPECT_EQ(m.at("category"), "surface");
    HostTesting::InjectFailure({"ACAPI_Attribute_GetNum", APIERR_MEMFULL});
    EXPECT_EQ(Run("list_layers", json::object()).error,
              "ACAPI_Attribute_GetNum(Layer) error: " + std::to_string(APIERR_MEMFULL));

    // A table larger than a result holds: its first entries as JSON, and a note of how many.
    HostTesting::ClearFailures();
    const size_t shown = Listing("list_layers").size(), added = kMaxToolResultBytes / 30;
    for (size_t i = 1; i <= added; ++i) Run("create_layer", {{"name", "L" + std::to_string(i)}});
    const std::string text = Run("list_layers", json::object()).message;
    const json listed = json::parse(text.substr(0, text.find('\n')));
    EXPECT_EQ(listed.back().at("name"), "L" + std::to_string(listed.size() - shown)) << "the first ones";
    EXPECT_EQ(text.substr(text.find('\n')), "\n[Only the first " + std::to_string(listed.size()) + " of " +
                                                std::to_string(shown + added) + " layers are listed: a result holds " +
                                                "at most " + std::to_string(kMaxToolResultBytes) + " bytes.]");
    EXPECT_LE(json(text).dump().size(), kMaxToolResultBytes - kToolResultFrameBytes) << "escaped as the model reads it";
}

// Long names are cut at the last whole character within 255 bytes, for creation and lookups
// alike, so the layer is found again by the name the model gave.
TEST_F(AttributeTools, ALongMultiByteNameIsCutCleanlyAndFoundByTheWholeName)
{
    const std::string wall = Text(HostTesting::AddWall(0, 0, 5, 0));
    const struct {
        std::string name;
        size_t stored;
    } rows[] = {
        {std::string(254, 'a') + "\xC3\xA9" + "tail", 254},          // two bytes across the limit
        {std::string(252, 'c') + "\xF0\x9F\x8F\xA0" + "tail", 252},  // four bytes, three would fit
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stored);
        const ToolResult created = Run("create_layer", {{"name", row.name}});
        ASSERT_TRUE(created.success) << created.error;
        EXPECT_EQ(created.message.substr(0, row.name.size() + 7), "Layer \"" + row.name) << "quotes the whole name";
        const Int32 index = std::stoi(created.message.substr(created.message.rfind(' ') + 1));
        EXPECT_EQ(Stored(API_LayerID, index).header.name, row.name.substr(0, row.stored));
        ASSERT_TRUE(Run("set_element_layer", {{"element_guid", wall}, {"layer_name", row.name}}).success);
        EXPECT_EQ(Element(wall).header.layer, index);
    }
}

TEST_F(AttributeTools, VisibilityNamesItsLayerByIndexBeforeNameAndChangesOnlyTheHiddenBit)
{
    const struct {
        json input;
        Int32 layer;
        Int16 flags;
    } rows[] = {
        {{{"layer_index", 2}, {"visible", false}}, 2, APILay_Hidden},
        {{{"layer_index", 5}, {"layer_name", "Zones"}}, 5, 0},  // visible left out: shown
        {{{"layer_name", "Locked Survey"}, {"visible", false}}, 11, APILay_Hidden | APILay_Locked},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.input.dump());
        API_Attribute expected = Stored(API_LayerID, row.layer);
        ASSERT_TRUE(Run("set_layer_visibility", row.input).success);
        expected.header.flags = row.flags;
        const API_Attribute stored = Stored(API_LayerID, row.layer);
        EXPECT_EQ(std::memcmp(&stored, &expected, sizeof stored), 0);
    }
    EXPECT_EQ(Stored(API_LayerID, 8).header.flags, 0) << "the name Zones was ignored";
}

}  // namespace
