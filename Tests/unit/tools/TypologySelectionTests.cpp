// Choosing a typology: scores over the built-in catalogue, the first of equal scores, the
// no-match answer, and a catalogue from storage kept once a good one has been read.

#include "TypologyTest.hpp"

namespace {

class TypologySelection : public TypologyTest {};

const std::string kNoMatch =
    R"({"match":false,"message":"No typology matches the brief well enough. Fall back to manual design."})";

TEST_F(TypologySelection, BriefsAgainstTheBuiltInCatalogue)
{
    struct Case {
        const char* brief;
        std::string expected;
        int score;
    };  // result text, or chosen name and score
    const Case cases[] = {
        // The default wishes (1 bathroom, 1 storey, no garage) outweigh the exact bedroom count.
        {R"({"bedrooms":3})", "compact-2br-1bath", 18},
        // Ties at 28 with the townhouse: the earlier entry wins.
        {R"({"bedrooms":3,"bathrooms":2,"stories":2,"style":"modern","approx_sqm":150,"has_garage":true})",
         "family-3br-2bath-twostory", 28},
        {R"({"bedrooms":4,"bathrooms":3,"stories":1,"style":"mediterranean","approx_sqm":250,"has_garage":true})",
         R"({"approx_sqm":250.0,"bathrooms":3,"bedrooms":4,"match":true,"score":31,"stories":1,"style":"mediterranean","typology_name":"villa-4br-3bath"})",
         31},
        {R"({"bedrooms":1,"approx_sqm":-5})", "studio-1br-1bath", 23},  // no area wish at all
        {R"({"bedrooms":2.9})", "compact-2br-1bath", 23},               // counts truncate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.brief);
        const ToolResult r = RunText("select_typology", c.brief);
        ASSERT_TRUE(r.success) << r.error;
        if (c.expected.front() == '{') {
            EXPECT_EQ(r.message, c.expected);
            continue;
        }
        const json result = json::parse(r.message);
        EXPECT_EQ(result["typology_name"], c.expected);
        EXPECT_EQ(result["score"], c.score);
        EXPECT_FALSE(result.contains("has_garage"));
    }
}

TEST_F(TypologySelection, AreaAndBedroomEdgesUnderAStoredCatalogue)
{
    // Entries with only a name and an area score 23 against this brief before the area test.
    storage.Put(
        "typologies/index.json",
        R"([{"name":"too-big","approx_sqm":131},{"name":"edge","approx_sqm":130},{"name":"small","approx_sqm":70}])");
    json result = Data(RunText("select_typology", R"({"bedrooms":0,"bathrooms":0,"approx_sqm":100})"));
    EXPECT_EQ(result["typology_name"], "edge");
    EXPECT_EQ(result["score"], 28);
    EXPECT_EQ(result["approx_sqm"].dump(), "130.0");

    // One bedroom off in either direction gives 5, two off gives nothing (13 from the rest).
    ResetTypologyCatalogueForTesting();
    storage.Put("typologies/index.json", R"([{"name":"three","bedrooms":3}])");
    const std::pair<int, int> cases[] = {{3, 23}, {4, 18}, {1, 13}};
    for (const auto& [bedrooms, score] : cases) {
        SCOPED_TRACE(bedrooms);
        EXPECT_EQ(Data(Run("select_typology", {{"bedrooms", bedrooms}, {"bathrooms", 0}}))["score"], score);
    }
}

TEST_F(TypologySelection, CatalogueShapesFromStorage)
{
    // stored empty: nothing stored (404); expected: result text, a name, or "!" + an error fragment.
    struct Case {
        const char* name;
        std::string stored;
        const char* brief;
        std::string expected;
    };
    const Case cases[] = {
        {"nothing stored", "", R"({"bedrooms":5,"bathrooms":4,"stories":2,"has_garage":true,"approx_sqm":350})",
         "luxury-5br-4bath"},
        {"object walked by its values", R"({"b":{"name":"second","bedrooms":2},"a":{"name":"first","bedrooms":2}})",
         R"({"bedrooms":2})", "first"},
        {"best entry without a name", R"([{"bedrooms":2}])", R"({"bedrooms":2})", kNoMatch},
        {"entry that is not an object", R"([1,{"name":"y","bedrooms":2}])", R"({"bedrooms":2})", "y"},
        {"field of the wrong type", R"([{"name":"x","has_garage":1}])", R"({"bedrooms":2})",
         R"({"match":false,"message":"No typology matches the brief well enough. Fall back to manual design.","unreadable_entries":1})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetTypologyCatalogueForTesting();
        if (!c.stored.empty()) storage.Put("typologies/index.json", c.stored);
        const ToolResult r = RunText("select_typology", c.brief);
        if (c.expected[0] == '!') {
            EXPECT_FALSE(r.success);
            EXPECT_NE(r.error.find(c.expected.substr(1)), std::string::npos) << r.error;
        } else if (c.expected[0] == '{') {
            EXPECT_EQ(r.message, c.expected);
        } else {
            EXPECT_EQ(Data(r)["typology_name"], c.expected);
        }
        storage.Put("typologies/index.json", "");  // an empty object counts as missing
    }
}

TEST_F(TypologySelection, OnlyAGoodCatalogueIsKept)
{
    // A failed or malformed download is tried again; a good index is then kept.
    storage.FailNext("/storage/v1/object/public/Templates/typologies/index.json", 500, "down");
    EXPECT_EQ(Data(RunText("select_typology", R"({"bedrooms":2})"))["typology_name"], "compact-2br-1bath");
    storage.Put("typologies/index.json", "[{not json");
    EXPECT_EQ(Data(RunText("select_typology", R"({"bedrooms":2})"))["typology_name"], "compact-2br-1bath");
    storage.Put("typologies/index.json", "[]");
    EXPECT_EQ(RunText("select_typology", R"({"bedrooms":2})").message, kNoMatch);
    EXPECT_EQ(RunText("select_typology", R"({"bedrooms":2})").message, kNoMatch);
    EXPECT_EQ(PublicDownloads(), 3u);

    // A bad input fails before the catalogue is touched; the next good call still loads it.
    ResetTypologyCatalogueForTesting();
    const ToolResult bad = RunText("select_typology", R"({"bedrooms":2,"has_garage":1})");
    EXPECT_FALSE(bad.success);
    EXPECT_NE(bad.error.find("type must be boolean"), std::string::npos) << bad.error;
    EXPECT_EQ(PublicDownloads(), 3u);
    EXPECT_EQ(RunText("select_typology", R"({"bedrooms":2})").message, kNoMatch);  // the stored [] now
    EXPECT_EQ(PublicDownloads(), 4u);
}

}  // namespace
