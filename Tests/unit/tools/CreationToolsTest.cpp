// What the creation families compute themselves (the story's low 16 bits, the first column or
// beam segment, which library parts a search offers) and the faults mended in placing objects,
// opening markers and deleting by GUID text.
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
    // The stored memo's segment list of a column or beam.
    template <typename T>
    static std::vector<T> Segments(const std::string& guid, T* API_ElementMemo::*field)
    {
        ScopedMemo memo;
        EXPECT_TRUE(HostTesting::GetElementMemo(Guid(guid), memo.get()));
        T* list = memo.get()->*field;
        return list ? std::vector<T>(list, list + BMGetPtrSize(reinterpret_cast<GSConstPtr>(list)) / sizeof(T))
                    : std::vector<T>();
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

TEST_F(CreationTools, ColumnsAndBeamsWriteOnlyTheirFirstSegment)
{
    ScopedMemo memo;  // three default segments that no input below produces
    memo->columnSegments =
        reinterpret_cast<API_ColumnSegmentType*>(BMAllocatePtr(sizeof(API_ColumnSegmentType), ALLOCATE_CLEAR, 0));
    *memo->columnSegments = {false, 0.35, 0.45};
    memo->beamSegments =
        reinterpret_cast<API_BeamSegmentType*>(BMAllocatePtr(sizeof(API_BeamSegmentType), ALLOCATE_CLEAR, 0));
    *memo->beamSegments = {0.33, 0.44, 1};
    for (API_ElemTypeID type : {API_ColumnID, API_BeamID}) {
        HostTesting::SetDefaults(HostTesting::GetDefaults(type), memo.get());
        HostTesting::SetDefaultSegmentCount(type, 3);
    }
    const auto column = Segments(Run("create_column", {{"radius", 0.4}}).elementGuid, &API_ElementMemo::columnSegments);
    ASSERT_EQ(column.size(), 3u);
    EXPECT_TRUE(column[0].circleBased && column[0].nominalWidth == 0.8 && column[0].nominalHeight == 0.8);
    EXPECT_TRUE(!column[2].circleBased && column[2].nominalWidth == 0.35 && column[2].nominalHeight == 0.45);
    const auto beam = Segments(Run("create_beam", {{"end_x", 5}, {"height", 0.6}, {"width", 0.2}}).elementGuid,
                               &API_ElementMemo::beamSegments);
    ASSERT_EQ(beam.size(), 3u);
    EXPECT_TRUE(beam[0].nominalWidth == 0.2 && beam[0].nominalHeight == 0.6 && beam[0].shape == 1);
    EXPECT_TRUE(beam[2].nominalWidth == 0.33 && beam[2].nominalHeight == 0.44);
    // Defaults without segments: the element is still made.
    HostTesting::SetDefaultSegmentCount(API_ColumnID, 0);
    EXPECT_TRUE(Run("create_column", {{"x", 1}, {"radius", 0.5}}).success);
}

TEST_F(CreationTools, SearchOffersPlaceableKindsMatchedWithoutCase)
{
    HostTesting::ClearLibrary();
    for (Int32 type = 0; type <= 11; ++type)  // index type + 1
        HostTesting::AddLibraryPart(
            {type, "Oak type " + std::to_string(type), "{T" + std::to_string(type) + "}", 1, 1, {}});
    HostTesting::AddLibraryPart({APILib_ObjectID, "Oak Étagère", "{E}", 1, 1, {}});
    std::string expected = "[";
    for (Int32 type : {2, 3, 4, 5, 6, 9})
        expected += "{\"index\":" + std::to_string(type + 1) + ",\"name\":\"Oak type " + std::to_string(type) + "\"},";
    EXPECT_EQ(Run("search_library_parts", {{"pattern", "oAK"}}).message,
              expected + R"({"index":13,"name":"Oak Étagère"}])");
    EXPECT_EQ(Run("search_library_parts", {{"pattern", "ÉTAGÈRE"}}).message, R"([{"index":13,"name":"Oak Étagère"}])");
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
