// Library search and object placement against the emulated library.
#include "ToolsTest.hpp"

namespace {

Int32 AddPart(Int32 type, const std::string& name, double a = 1.0, double b = 1.0,
              std::vector<std::pair<std::string, double>> params = {})
{
    return HostTesting::AddLibraryPart({type, name, "{TEST-" + name + "}", a, b, std::move(params)});
}

TEST_F(ToolsTest, SearchListsPlaceableKindsCaseInsensitivelyInCompactJson)
{
    HostTesting::ClearLibrary();
    for (Int32 type = 0; type <= 11; ++type) AddPart(type, "Oak type " + std::to_string(type));  // index type + 1
    AddPart(APILib_ObjectID, "Pine Shelf");
    AddPart(APILib_ObjectID, "Oak unreadable");
    AddPart(APILib_ObjectID, "Oak Étagère");
    HostTesting::InjectFailure({"ACAPI_LibPart_Get", APIERR_BADINDEX, 0, -1, {}, {}, 14});  // part 14 is unreadable

    std::string expected = "[";
    for (Int32 type : {2, 3, 4, 5, 6, 9})
        expected += "{\"index\":" + std::to_string(type + 1) + ",\"name\":\"Oak type " + std::to_string(type) + "\"},";
    expected += "{\"index\":15,\"name\":\"Oak Étagère\"}]";
    const ToolResult result = Run("search_library_parts", {{"pattern", "oAK"}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, expected);
    EXPECT_TRUE(result.elementGuid.empty());
    EXPECT_EQ(Run("search_library_parts", {{"pattern", "ÉTAGÈRE"}}).message,
              "[{\"index\":15,\"name\":\"Oak Étagère\"}]");

    // No count and no library both answer an empty list.
    HostTesting::FailNextCall("ACAPI_LibPart_GetNum", APIERR_GENERAL);
    const ToolResult noCount = Run("search_library_parts", {{"pattern", "oak"}});
    EXPECT_TRUE(noCount.success && noCount.message == "[]") << noCount.toJson();
    HostTesting::ClearLibrary();
    const ToolResult noLibrary = Run("search_library_parts", json::object());
    EXPECT_TRUE(noLibrary.success && noLibrary.message == "[]") << noLibrary.toJson();
}

TEST_F(ToolsTest, EveryPartTheSearchOffersCanBePlaced)
{
    const json offered = json::parse(Run("search_library_parts", json::object()).message);
    ASSERT_GE(offered.size(), 20u);
    EXPECT_LT(offered.size(), static_cast<size_t>(HostTesting::LibraryPartCount()))
        << "markers and macros are left out";
    for (size_t i = 0; i < offered.size(); ++i)
        EXPECT_TRUE(Run("place_object", {{"name", offered[i].at("name")}, {"x", 3.0 * i}, {"y", 1.0}}).success)
            << offered[i];
    EXPECT_EQ(HostTesting::ElementCount(API_ObjectID), offered.size());
}

TEST_F(ToolsTest, PlacedObjectTakesThePartsSizesAndParametersAndTheInputs)
{
    const Int32 part = AddPart(APILib_ObjectID, "Test Armchair", 0.85, 0.92, {{"seatHeight", 0.44}, {"cushions", 2}});
    // Defaults unlike the tool's own, with a parameter list of their own that must not leak.
    API_Element defaults = HostTesting::GetDefaults(API_ObjectID);
    defaults.header.floorInd = 1;
    defaults.object.level = 0.3;
    defaults.object.angle = 0.1;
    API_ElementMemo preset;
    BNClear(preset);
    preset.params = reinterpret_cast<API_AddParType**>(BMAllocateHandle(3 * sizeof(API_AddParType), ALLOCATE_CLEAR, 0));
    HostTesting::SetDefaults(defaults, &preset);
    ACAPI_DisposeElemMemoHdls(&preset);

    const auto placed = [part](double x, double y, double z, double degrees, Int16 story, bool sized) {
        return [=](API_Element& e) {
            e.object.libInd = part;
            e.object.pos = {x, y};
            e.object.level = z;
            e.object.angle = degrees * kStoredDegree;  // compared bit for bit
            e.header.floorInd = story;
            e.object.xRatio = sized ? 0.85 : e.object.xRatio;
            e.object.yRatio = sized ? 0.92 : e.object.yRatio;
        };
    };
    const API_Element full = ExpectOnlyToolFields(
        "place_object", {{"name", "Test Armchair"}, {"x", 2.5}, {"y", -1}, {"z", 0.4}, {"rotation", 90}, {"story", 2}},
        API_ObjectID, placed(2.5, -1, 0.4, 90, 2, true));
    const auto params = Memo(Text(full.header.guid)).params;
    ASSERT_EQ(params.size(), 2u);
    EXPECT_STREQ(params[0].name, "seatHeight");
    EXPECT_DOUBLE_EQ(params[0].real, 0.44);
    EXPECT_STREQ(params[1].name, "cushions");
    ExpectOnlyToolFields("place_object", {{"name", "Test Armchair"}}, API_ObjectID, placed(0, 0, 0, 0, 0, true));

    // A part whose sizes cannot be read keeps the default sizes and gets no parameter list.
    HostTesting::FailNextCall("ACAPI_LibPart_GetParams", APIERR_BADINDEX);
    const API_Element unsized = ExpectOnlyToolFields("place_object", {{"name", "Test Armchair"}, {"x", 4}},
                                                     API_ObjectID, placed(4, 0, 0, 0, 0, false));
    EXPECT_TRUE(Memo(Text(unsized.header.guid)).params.empty());
}

TEST_F(ToolsTest, PlaceObjectRefusesNamesOfNoLoadedPart)
{
    // The record's name field holds 255 units and a terminator.
    AddPart(APILib_ObjectID, std::string(255, 'w'));
    EXPECT_TRUE(Run("place_object", {{"name", std::string(255, 'w')}}).success);

    const Int32 partsBefore = HostTesting::LibraryPartCount();
    ExpectFailures({{"place_object", {{"name", "Hovercraft"}}, "Library part not found: Hovercraft"},
                    {"place_object", {{"name", "Chair "}}, "Library part not found: Chair "}},
                   "ACAPI_CallUndoableCommand");
    EXPECT_EQ(HostTesting::LibraryPartCount(), partsBefore) << "a stand-in for a missing part was added";
    for (const std::string& name : {std::string(256, 'w')})
        ExpectFailures({{"place_object", {{"name", name}}, "Library part not found: " + name}}, "ACAPI_LibPart_Search");
    // A failing search is "not found", whatever the host's code.
    HostTesting::FailNextCall("ACAPI_LibPart_Search", APIERR_GENERAL);
    ExpectFailures({{"place_object", {{"name", "Sofa 3-Seat"}}, "Library part not found: Sofa 3-Seat"}});
}

}  // namespace
