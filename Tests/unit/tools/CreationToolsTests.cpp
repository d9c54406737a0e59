// What the creation families compute themselves (the story's low 16 bits, a search matched
// without case in any script) and the faults mended in placing objects, opening markers and
// deleting by GUID text.
#include "HostTestingLibrary.hpp"
#include "QuillmereTest.hpp"

namespace {

class CreationTools : public QuillmereTest {
protected:
    void SetUp() override
    {
        QuillmereTest::SetUp();
        wall = Text(HostTesting::AddWall(0, 0, 6, 0, 1));
    }
    std::string wall;
};

TEST_F(CreationTools, TheStoryKeepsTheLow16BitsOfAnyNumber)
{
    HostTesting::SetStories({{-1, -3.0, "Basement"}, {0, 0.0, "Ground"}, {1, 3.0, "First"}, {2, 6.0, "Second"}});
    const json square = {{"x1", 0}, {"y1", 0}, {"x2", 3}, {"y2", 0}, {"x3", 3}, {"y3", 3}, {"x4", 0}, {"y4", 3}};
    const std::pair<const char*, json> tools[] = {
        {"create_wall", {{"end_x", 3}}}, {"create_column", json::object()}, {"create_beam", {{"end_x", 3}}},
        {"create_slab", square},         {"create_roof", square},           {"place_object", {{"name", "Chair"}}}};
    for (auto [tool, input] : tools) {
        for (const auto& [story, expected] : std::vector<std::pair<json, Int16>>{{2.7, 2}, {65538, 2}, {65535, -1}}) {
            SCOPED_TRACE(std::string(tool) + " story " + story.dump());
            input["story"] = story;
            const ToolResult result = Run(tool, input);
            ASSERT_TRUE(result.success) << result.error;
            EXPECT_EQ(Element(result.elementGuid).header.floorInd, expected);
        }
    }
}

TEST_F(CreationTools, SearchMatchesWithoutCaseInAnyScript)
{
    HostTesting::ClearLibrary();
    HostTesting::AddLibraryPart({APILib_ObjectID, "Oak Étagère", "{E}", 1, 1, {}});
    for (const char* pattern : {"oAK", "ÉTAGÈRE"})
        EXPECT_EQ(Run("search_library_parts", {{"pattern", pattern}}).message, R"([{"index":1,"name":"Oak Étagère"}])");
}

TEST_F(CreationTools, PlacementNeverStandsInForAPartThatIsNotLoaded)
{
    HostTesting::AddLibraryPart({APILib_ObjectID, std::string(255, 'w'), "{W}", 1, 1, {}});
    EXPECT_TRUE(Run("place_object", {{"name", std::string(255, 'w')}}).success) << "a name filling its field";
    const Int32 parts = HostTesting::LibraryPartCount();
    const size_t elements = HostTesting::ElementCount();
    HostTesting::FailNextCall("ACAPI_LibPart_Search", APIERR_GENERAL);
    for (const std::string& name :
         {std::string("Sofa 3-Seat"), std::string("Hovercraft"), std::string("Chair "), std::string(256, 'w')}) {
        SCOPED_TRACE(name.substr(0, 20));
        EXPECT_EQ(Run("place_object", {{"name", name}}).error, "Library part not found: " + name);
    }
    EXPECT_EQ(HostTesting::LibraryPartCount(), parts) << "a stand-in for a missing part was added";
    EXPECT_EQ(HostTesting::ElementCount(), elements);
}

TEST_F(CreationTools, MarkersCarryTheirOwnPartsParametersInPlaceOfTheDefaults)
{
    // The door's defaults bring a parameter list (freed, or the teardown finds it leaked); the
    // window's bring none.
    HostTesting::SetMarkerDefaultsCarryParams(API_WindowID, false);
    for (const auto& [tool, part] : {std::pair{"create_door", "Door Marker"}, {"create_window", "Window Marker"}}) {
        SCOPED_TRACE(tool);
        const ToolResult made = Run(tool, {{"wall_guid", wall}, {"offset", 3}});
        Int32 libInd = 0;
        std::vector<API_AddParType> params;
        ASSERT_TRUE(made.success && HostTesting::GetMarker(Guid(made.elementGuid), &libInd, &params)) << made.error;
        const Int32 markerPart = HostTesting::FindLibraryPart(part);
        EXPECT_EQ(libInd, markerPart);
        ASSERT_EQ(params.size(), HostTesting::LibraryPartParams(markerPart).size());
        EXPECT_STREQ(params[0].name, HostTesting::LibraryPartParams(markerPart)[0].name);
    }
}

TEST_F(CreationTools, AGuidTextWithAnythingAfterItNamesNoElement)
{
    const std::string badId = "DeleteElement ACAPI error: " + std::to_string(APIERR_BADID);
    for (const std::string& text :
         {wall + std::string("\0x", 2), wall + " ", std::string("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0")})
        EXPECT_EQ(Run("delete_element", {{"element_guid", text}}).error, badId);
    EXPECT_TRUE(HostTesting::ElementExists(Guid(wall)));
}

}  // namespace
