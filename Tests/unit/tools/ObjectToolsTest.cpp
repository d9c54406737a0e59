// Library search and object placement through the registry, against the emulated library.
#include <cstring>

#include "HostTestingLibrary.hpp"
#include "ToolTestFixture.hpp"

using json = nlohmann::json;

namespace {

constexpr double kStoredDegree = 0.017453292519943278;

class ObjectToolsTest : public ToolTestFixture {
protected:
    static Int32 AddPart(Int32 type, const std::string& name, double a = 1.0, double b = 1.0,
                         std::vector<std::pair<std::string, double>> params = {})
    {
        HostTesting::LibraryPartFixture part;
        part.typeID = type;
        part.name = name;
        part.unID = "{TEST-" + name + "}";
        part.a = a;
        part.b = b;
        part.params = std::move(params);
        return HostTesting::AddLibraryPart(part);
    }

    // The search's answer as a list of (index, name).
    static std::vector<std::pair<Int32, std::string>> Matches(const ToolResult& result)
    {
        std::vector<std::pair<Int32, std::string>> out;
        const json list = json::parse(result.message);
        for (const json& entry : list)
            out.emplace_back(entry.at("index").get<Int32>(), entry.at("name").get<std::string>());
        return out;
    }

    std::vector<API_AddParType> StoredParams(const std::string& guidText)
    {
        API_ElementMemo memo;
        BNClear(memo);
        EXPECT_TRUE(HostTesting::GetElementMemo(Guid(guidText), &memo));
        std::vector<API_AddParType> params;
        if (memo.params != nullptr) {
            const size_t n = static_cast<size_t>(BMGetHandleSize(memo.params)) / sizeof(API_AddParType);
            params.assign(*memo.params, *memo.params + n);
        }
        ACAPI_DisposeElemMemoHdls(&memo);
        return params;
    }
};

// ---- search -------------------------------------------------------------------------------

TEST_F(ObjectToolsTest, SearchIsCaseInsensitiveAndKeepsEachNamesCase)
{
    const ToolResult lower = Run("search_library_parts", {{"pattern", "door"}});
    const ToolResult upper = Run("search_library_parts", {{"pattern", "DOOR"}});
    ASSERT_TRUE(lower.success) << lower.error;
    EXPECT_EQ(lower.message, upper.message);
    EXPECT_TRUE(lower.elementGuid.empty());

    const auto matches = Matches(lower);
    ASSERT_FALSE(matches.empty());
    for (size_t i = 0; i < matches.size(); ++i) {
        EXPECT_NE(matches[i].second.find("Door"), std::string::npos) << matches[i].second;
        if (i > 0) {
            EXPECT_LT(matches[i - 1].first, matches[i].first) << "indices ascend";
        }
        EXPECT_EQ(HostTesting::FindLibraryPart(matches[i].second), matches[i].first);
    }
    // The door marker and the frame macro match by name but are not offered.
    for (const auto& m : matches) {
        EXPECT_NE(m.second, "Door Marker");
        EXPECT_NE(m.second, "Door Frame Macro");
    }
}

TEST_F(ObjectToolsTest, SearchListsOnlyPlaceableKindsInCompactSortedJson)
{
    HostTesting::ClearLibrary();
    for (Int32 type = 0; type <= 11; ++type)
        AddPart(type, "Oak type " + std::to_string(type));
    AddPart(APILib_ObjectID, "Pine Shelf");

    const ToolResult result = Run("search_library_parts", {{"pattern", "oak"}});
    ASSERT_TRUE(result.success) << result.error;
    // Indices are 1-based in insertion order: type t sits at index t + 1.
    std::string expected = "[";
    for (Int32 type : {2, 3, 4, 5, 6, 9}) {
        if (expected.size() > 1)
            expected += ",";
        expected += "{\"index\":" + std::to_string(type + 1) + ",\"name\":\"Oak type " + std::to_string(type) + "\"}";
    }
    expected += "]";
    EXPECT_EQ(result.message, expected);
}

TEST_F(ObjectToolsTest, SearchWithoutMatchesOrLibraryAnswersEmptyList)
{
    EXPECT_EQ(Run("search_library_parts", {{"pattern", "no such furniture"}}).message, "[]");

    HostTesting::FailNextCall("ACAPI_LibPart_GetNum", APIERR_GENERAL);
    const ToolResult failedCount = Run("search_library_parts", {{"pattern", "door"}});
    EXPECT_TRUE(failedCount.success);
    EXPECT_EQ(failedCount.message, "[]");

    HostTesting::ClearLibrary();
    const ToolResult empty = Run("search_library_parts", json::object());
    EXPECT_TRUE(empty.success);
    EXPECT_EQ(empty.message, "[]");
}

TEST_F(ObjectToolsTest, EmptyPatternListsEveryOfferedPart)
{
    const ToolResult all = Run("search_library_parts", json::object());
    ASSERT_TRUE(all.success);
    const ToolResult chairs = Run("search_library_parts", {{"pattern", "chair"}});
    const auto allMatches = Matches(all);
    EXPECT_GT(allMatches.size(), Matches(chairs).size());
    EXPECT_LT(allMatches.size(), static_cast<size_t>(HostTesting::LibraryPartCount())) << "markers and macros are left out";
}

TEST_F(ObjectToolsTest, EveryOfferedPartOfTheDefaultLibraryCanBePlaced)
{
    const auto offered = Matches(Run("search_library_parts", {{"pattern", ""}}));
    ASSERT_GE(offered.size(), 20u);
    double x = 0.0;
    for (const auto& part : offered) {
        const ToolResult placed = Run("place_object", {{"name", part.second}, {"x", x}, {"y", 1.0}});
        EXPECT_TRUE(placed.success) << part.second << ": " << placed.error;
        x += 3.0;
    }
    EXPECT_EQ(HostTesting::ElementCount(API_ObjectID), offered.size());
}

TEST_F(ObjectToolsTest, UnreadablePartIsLeftOutAndTheRestListed)
{
    HostTesting::ClearLibrary();
    AddPart(APILib_ObjectID, "Lamp Shade A");
    AddPart(APILib_ObjectID, "Lamp Shade B");
    AddPart(APILib_ObjectID, "Lamp Shade C");
    HostTesting::FailureRule rule;
    rule.function = "ACAPI_LibPart_Get";
    rule.code = APIERR_BADINDEX;
    rule.index = 2;
    HostTesting::InjectFailure(rule);

    const auto matches = Matches(Run("search_library_parts", {{"pattern", "shade"}}));
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0], std::make_pair(Int32(1), std::string("Lamp Shade A")));
    EXPECT_EQ(matches[1], std::make_pair(Int32(3), std::string("Lamp Shade C")));
}

TEST_F(ObjectToolsTest, SearchMatchesNonAsciiNamesAndWritesThemUnescaped)
{
    AddPart(APILib_ObjectID, "Étagère Murale");
    const ToolResult result = Run("search_library_parts", {{"pattern", "étagère"}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_NE(result.message.find("\"name\":\"Étagère Murale\""), std::string::npos) << result.message;
}

TEST_F(ObjectToolsTest, SearchPatternOfWrongTypeFails)
{
    HostTesting::ClearCallLog();
    const ToolResult result = Run("search_library_parts", {{"pattern", 5}});
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.error, "[json.exception.type_error.302] type must be string, but is number");
    EXPECT_TRUE(HostTesting::CallLog().empty());
}

// ---- placement ----------------------------------------------------------------------------

TEST_F(ObjectToolsTest, PlacedObjectTakesPartSizesParametersAndInputs)
{
    const Int32 part = AddPart(APILib_ObjectID, "Test Armchair", 0.85, 0.92, {{"seatHeight", 0.44}, {"cushions", 2}});
    // Object defaults that come with a parameter list of their own: it must not leak.
    API_ElementMemo preset;
    BNClear(preset);
    preset.params = reinterpret_cast<API_AddParType**>(BMAllocateHandle(3 * sizeof(API_AddParType), ALLOCATE_CLEAR, 0));
    HostTesting::SetDefaults(HostTesting::GetDefaults(API_ObjectID), &preset);
    ACAPI_DisposeElemMemoHdls(&preset);

    const ToolResult result = Run("place_object", {{"name", "Test Armchair"}, {"x", 2.5}, {"y", -1}, {"z", 0.4},
                                                   {"rotation", 90}, {"story", 2}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Object placed: Test Armchair");
    const API_Element object = Element(result.elementGuid);
    EXPECT_EQ(object.header.type.typeID, API_ObjectID);
    EXPECT_EQ(object.object.libInd, part);
    EXPECT_DOUBLE_EQ(object.object.pos.x, 2.5);
    EXPECT_DOUBLE_EQ(object.object.pos.y, -1.0);
    EXPECT_DOUBLE_EQ(object.object.level, 0.4);
    const double expectedAngle = 90.0 * kStoredDegree;
    EXPECT_EQ(std::memcmp(&object.object.angle, &expectedAngle, sizeof(double)), 0) << object.object.angle;
    EXPECT_EQ(object.header.floorInd, 2);
    EXPECT_DOUBLE_EQ(object.object.xRatio, 0.85);
    EXPECT_DOUBLE_EQ(object.object.yRatio, 0.92);

    const auto params = StoredParams(result.elementGuid);
    ASSERT_EQ(params.size(), 2u);
    EXPECT_STREQ(params[0].name, "seatHeight");
    EXPECT_DOUBLE_EQ(params[0].real, 0.44);
    EXPECT_STREQ(params[1].name, "cushions");
}

TEST_F(ObjectToolsTest, OnlyTheToolsFieldsDifferFromTheHostDefaults)
{
    const Int32 part = HostTesting::FindLibraryPart("Desk");
    const ToolResult result = Run("place_object", {{"name", "Desk"}, {"x", 1}, {"y", 2}, {"z", 0.5}, {"rotation", 45}});
    ASSERT_TRUE(result.success) << result.error;
    API_Element expected = HostTesting::GetDefaults(API_ObjectID);
    expected.object.libInd = part;
    expected.object.pos = {1, 2};
    expected.object.level = 0.5;
    expected.object.angle = 45 * kStoredDegree;
    expected.object.xRatio = 1.4;
    expected.object.yRatio = 0.7;
    expected.header.floorInd = 0;
    const API_Element stored = Element(result.elementGuid);
    expected.header.guid = stored.header.guid;
    EXPECT_EQ(FirstDifference(expected, stored), sizeof(API_Element));
}

TEST_F(ObjectToolsTest, MissingCoordinatesAndStoryTakeTheirDefaults)
{
    HostTesting::SetStories({{-1, -3.0, "Basement"}, {0, 0.0, "Ground"}, {1, 3.0, "First"}, {2, 6.0, "Second"}});
    const struct {
        json story;
        Int16 expected;
    } cases[] = {{nullptr, 0}, {2.7, 2}, {true, 1}, {-1, -1}, {65537, 1}};
    for (const auto& c : cases) {
        json input = {{"name", "Chair"}};
        if (!c.story.is_null())
            input["story"] = c.story;
        const ToolResult result = Run("place_object", input);
        ASSERT_TRUE(result.success) << input.dump() << ": " << result.error;
        const API_Element object = Element(result.elementGuid);
        EXPECT_EQ(object.header.floorInd, c.expected) << input.dump();
        EXPECT_DOUBLE_EQ(object.object.pos.x, 0.0);
        EXPECT_DOUBLE_EQ(object.object.pos.y, 0.0);
        EXPECT_DOUBLE_EQ(object.object.level, 0.0);
        EXPECT_DOUBLE_EQ(object.object.angle, 0.0);
    }
}

TEST_F(ObjectToolsTest, MissingNameFailsWithoutLibraryOrElementCalls)
{
    HostTesting::ClearCallLog();
    const Footprint before = TakeFootprint();
    for (const json& input : {json {{"x", 1}, {"y", 1}}, json {{"name", ""}}}) {
        const ToolResult result = Run("place_object", input);
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, "Library part name is required");
    }
    EXPECT_TRUE(HostTesting::CallLog().empty());
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(ObjectToolsTest, UnknownNameIsRefusedAndNothingIsPlaced)
{
    const Int32 partsBefore = HostTesting::LibraryPartCount();
    const Footprint before = TakeFootprint();
    for (const std::string name : {"Hovercraft", "chair", "Chair "}) {
        const ToolResult result = Run("place_object", {{"name", name}, {"x", 1}, {"y", 1}});
        EXPECT_FALSE(result.success) << name;
        EXPECT_EQ(result.error, "Library part not found: " + name);
    }
    EXPECT_EQ(TakeFootprint(), before);
    EXPECT_EQ(HostTesting::LibraryPartCount(), partsBefore) << "a reference to a missing part was added";
}

TEST_F(ObjectToolsTest, NamesThatDoNotFitTheRecordAreRefused)
{
    // The record's name field holds 255 units and a terminator.
    const std::string longest(255, 'w');
    const std::string tooLong(256, 'w');
    AddPart(APILib_ObjectID, longest);

    const ToolResult fits = Run("place_object", {{"name", longest}});
    EXPECT_TRUE(fits.success) << fits.error;

    const Footprint before = TakeFootprint();
    for (const std::string& name : {tooLong, std::string(4000, 'w')}) {
        HostTesting::ClearCallLog();
        const ToolResult result = Run("place_object", {{"name", name}});
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, "Library part not found: " + name);
        EXPECT_EQ(HostTesting::CallCount("ACAPI_LibPart_Search"), 0);
    }
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(ObjectToolsTest, PartWithoutReadableSizesIsPlacedWithDefaultSizes)
{
    const API_Element defaults = HostTesting::GetDefaults(API_ObjectID);
    HostTesting::FailNextCall("ACAPI_LibPart_GetParams", APIERR_BADINDEX);
    const ToolResult result = Run("place_object", {{"name", "Bed Double"}, {"x", 4}, {"y", 4}});
    ASSERT_TRUE(result.success) << result.error;
    const API_Element object = Element(result.elementGuid);
    EXPECT_DOUBLE_EQ(object.object.xRatio, defaults.object.xRatio);
    EXPECT_DOUBLE_EQ(object.object.yRatio, defaults.object.yRatio);
    EXPECT_TRUE(StoredParams(result.elementGuid).empty());
}

TEST_F(ObjectToolsTest, HostFailuresComeBackAsPlaceObjectCodes)
{
    // Once the body has run, its memo goes back to the host on every path, also when the
    // host refused to fill it.
    const struct {
        const char* function;
        int disposals;
    } steps[] = {{"ACAPI_Element_GetDefaults", 1}, {"ACAPI_Element_Create", 1}, {"ACAPI_CallUndoableCommand", 0}};
    for (const auto& step : steps) {
        const Footprint before = TakeFootprint();
        HostTesting::ClearCallLog();
        HostTesting::FailNextCall(step.function, APIERR_MEMFULL);
        const ToolResult result = Run("place_object", {{"name", "Sofa 3-Seat"}, {"x", 1}, {"y", 2}});
        HostTesting::ClearFailures();
        EXPECT_EQ(result.error, "PlaceObject ACAPI error: -2130313214") << step.function;
        EXPECT_TRUE(result.elementGuid.empty());
        EXPECT_EQ(TakeFootprint(), before) << step.function;
        EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), step.disposals) << step.function;
    }
    // A failing search is "not found", whatever the host's code.
    HostTesting::FailNextCall("ACAPI_LibPart_Search", APIERR_GENERAL);
    EXPECT_EQ(Run("place_object", {{"name", "Sofa 3-Seat"}}).error, "Library part not found: Sofa 3-Seat");
}

TEST_F(ObjectToolsTest, WrongJsonTypesFailBeforeAnySearch)
{
    HostTesting::ClearCallLog();
    const struct {
        json input;
        const char* error;
    } cases[] = {
        {{{"name", "Chair"}, {"x", "3"}}, "[json.exception.type_error.302] type must be number, but is string"},
        {{{"name", 7}}, "[json.exception.type_error.302] type must be string, but is number"},
        {{{"rotation", nullptr}}, "[json.exception.type_error.302] type must be number, but is null"},
        {{{"name", "Chair"}, {"story", "2"}}, "[json.exception.type_error.302] type must be number, but is string"},
        {json(3.5), "[json.exception.type_error.306] cannot use value() with number"},
    };
    for (const auto& c : cases) {
        const ToolResult result = Run("place_object", c.input);
        EXPECT_EQ(result.error, c.error) << c.input.dump();
    }
    EXPECT_TRUE(HostTesting::CallLog().empty());
}

TEST_F(ObjectToolsTest, PlacementIsOneNamedUndoStepThatUndoes)
{
    const Footprint before = TakeFootprint();
    const ToolResult result = Run("place_object", {{"name", "Basin"}, {"x", 1}, {"y", 1}});
    ASSERT_TRUE(result.success) << result.error;
    ASSERT_EQ(UndoStepCount(), before.undoSteps + 1);
    EXPECT_EQ(UndoSteps().back(), "Quillmere: Place Object");
    ASSERT_TRUE(UndoLast());
    EXPECT_FALSE(HostTesting::ElementExists(Guid(result.elementGuid)));
    EXPECT_EQ(TakeFootprint(), before);
}

}  // namespace
