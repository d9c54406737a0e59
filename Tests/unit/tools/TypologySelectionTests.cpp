// Choosing a typology, all computed here: the first of equal scores, the area and bedroom
// edges, a stored catalogue of any shape, and a catalogue from storage kept once a good one has
// been read.
#include "FakeStorage.hpp"
#include "QuillmereTest.hpp"
#include "tools/library/TypologyCatalogue.hpp"

namespace {

const std::string kNoMatch =
    R"({"match":false,"message":"No typology matches the brief well enough. Fall back to manual design."})";

class TypologySelection : public QuillmereTest {
protected:
    // The chosen name and score, or the whole reply when nothing matched, or "!" + the error.
    std::string Choose(const std::string& brief)
    {
        const ToolResult r = RunText("select_typology", brief);
        if (!r.success) return "!" + r.error;
        const json result = json::parse(r.message);
        return result.value("match", false) ? result["typology_name"].get<std::string>() + " " + result["score"].dump()
                                            : r.message;
    }
    size_t Downloads() { return Storage().RequestsTo("GET", "/storage/v1/object/public/Templates/").size(); }
};

TEST_F(TypologySelection, BriefsAgainstTheBuiltInAndStoredCatalogues)
{
    const struct {
        const char* stored;  // "" : nothing stored
        const char* brief;
        std::string chosen;
    } rows[] = {
        // Ties at 28 with the townhouse: the earlier entry wins.
        {"", R"({"bedrooms":3,"bathrooms":2,"stories":2,"style":"modern","approx_sqm":150,"has_garage":true})",
         "family-3br-2bath-twostory 28"},
        {"", R"({"bedrooms":2.9})", "compact-2br-1bath 23"},  // counts truncate
        {"", "{}", "compact-2br-1bath 23"},                   // no bedrooms given: two
        {R"([{"name":"too-big","approx_sqm":131},{"name":"edge","approx_sqm":130}])",
         R"({"bedrooms":0,"bathrooms":0,"approx_sqm":100})", "edge 28"},
        {R"([{"name":"three","bedrooms":3}])", R"({"bedrooms":4,"bathrooms":0})", "three 18"},  // one off: 5
        {R"([{"name":"three","bedrooms":3}])", R"({"bedrooms":1,"bathrooms":0})", "three 13"},  // two off: 0
        {R"({"b":{"name":"second","bedrooms":2},"a":{"name":"first","bedrooms":2}})", R"({"bedrooms":2})",
         "first 18"},  // an object walked by its values; no bathroom count, no bathroom points
        {R"([{"bedrooms":2}])", R"({"bedrooms":2})", kNoMatch},             // the best entry has no name
        {R"([1,{"name":"y","bedrooms":2}])", R"({"bedrooms":2})", "y 18"},  // an entry that is no object is skipped
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.stored) + " " + row.brief);
        ResetTypologyCatalogueForTesting();
        Storage().Put("typologies/index.json", row.stored);  // an empty object counts as missing
        EXPECT_EQ(Choose(row.brief), row.chosen);
    }
}

TEST_F(TypologySelection, OnlyAGoodCatalogueIsKept)
{
    Storage().FailNext("/storage/v1/object/public/Templates/typologies/index.json", 500, "down");
    EXPECT_EQ(Choose(R"({"bedrooms":2})"), "compact-2br-1bath 23") << "the built-in catalogue stands in";
    Storage().Put("typologies/index.json", "[]");
    EXPECT_EQ(Choose(R"({"bedrooms":2})"), kNoMatch) << "a failed download is tried again";
    EXPECT_EQ(Choose(R"({"bedrooms":2})"), kNoMatch);
    EXPECT_EQ(Downloads(), 2u) << "a good catalogue is kept";
}

}  // namespace
