// Doors and windows inserted into walls through the registry: defaults, the wall lookup,
// the marker's parameters and the host's refusals.
#include <cstring>

#include "HostTestingLibrary.hpp"
#include "ToolTestFixture.hpp"

using json = nlohmann::json;

namespace {

class OpeningToolsTest : public ToolTestFixture {
protected:
    void SetUp() override
    {
        ToolTestFixture::SetUp();
        wall = Text(HostTesting::AddWall(0, 0, 6, 0, 1));
    }

    static std::vector<std::string> ParamNames(const std::vector<API_AddParType>& params)
    {
        std::vector<std::string> names;
        for (const API_AddParType& p : params)
            names.emplace_back(p.name);
        return names;
    }

    static size_t CallIndex(const std::vector<HostTesting::CallRecord>& log, const std::string& function)
    {
        for (size_t i = 0; i < log.size(); ++i)
            if (log[i].function == function)
                return i;
        return log.size();
    }

    std::string wall;
};

// ---- defaults -----------------------------------------------------------------------------

TEST_F(OpeningToolsTest, DoorFromWallGuidAloneTakesToolDefaultsAndKeepsItsSill)
{
    API_Element defaults = HostTesting::GetDefaults(API_DoorID);
    defaults.door.lower = 0.05;
    defaults.door.openingBase.mat = 7;
    HostTesting::SetDefaults(defaults);

    const ToolResult result = Run("create_door", {{"wall_guid", wall}});

    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Door created");
    EXPECT_TRUE(result.error.empty());
    const API_Element door = Element(result.elementGuid);
    EXPECT_EQ(door.header.type.typeID, API_DoorID);
    EXPECT_EQ(Text(door.door.owner), wall);
    EXPECT_DOUBLE_EQ(door.door.objLoc, 0.5);
    EXPECT_DOUBLE_EQ(door.door.openingBase.width, 0.9);
    EXPECT_DOUBLE_EQ(door.door.openingBase.height, 2.1);
    EXPECT_DOUBLE_EQ(door.door.lower, 0.05);
    EXPECT_EQ(door.door.openingBase.mat, 7);
    EXPECT_EQ(door.header.floorInd, 1) << "an opening stands on its wall's story";
}

TEST_F(OpeningToolsTest, WindowFromWallGuidAloneTakesToolDefaults)
{
    const ToolResult result = Run("create_window", {{"wall_guid", wall}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(result.message, "Window created");
    const API_Element window = Element(result.elementGuid);
    EXPECT_EQ(window.header.type.typeID, API_WindowID);
    EXPECT_EQ(Text(window.window.owner), wall);
    EXPECT_DOUBLE_EQ(window.window.objLoc, 1.0);
    EXPECT_DOUBLE_EQ(window.window.openingBase.width, 1.2);
    EXPECT_DOUBLE_EQ(window.window.openingBase.height, 1.2);
    EXPECT_DOUBLE_EQ(window.window.lower, 0.9);
    EXPECT_EQ(window.header.floorInd, 1);
}

TEST_F(OpeningToolsTest, GivenValuesReachTheOpening)
{
    const ToolResult window = Run("create_window", {{"wall_guid", wall}, {"offset", 2}, {"width", 0.6},
                                                    {"height", 1.5}, {"sill_height", 1.1}});
    ASSERT_TRUE(window.success) << window.error;
    const API_Element w = Element(window.elementGuid);
    EXPECT_DOUBLE_EQ(w.window.objLoc, 2.0);
    EXPECT_DOUBLE_EQ(w.window.openingBase.width, 0.6);
    EXPECT_DOUBLE_EQ(w.window.openingBase.height, 1.5);
    EXPECT_DOUBLE_EQ(w.window.lower, 1.1);

    // A door has no sill input: the key is not even read, whatever it holds.
    const ToolResult door = Run("create_door", {{"wall_guid", wall}, {"offset", 4.5}, {"sill_height", "high"}});
    ASSERT_TRUE(door.success) << door.error;
    EXPECT_DOUBLE_EQ(Element(door.elementGuid).door.objLoc, 4.5);
    EXPECT_DOUBLE_EQ(Element(door.elementGuid).door.lower, HostTesting::GetDefaults(API_DoorID).door.lower);
}

TEST_F(OpeningToolsTest, OnlyTheToolsFieldsDifferFromTheHostDefaults)
{
    for (bool door : {true, false}) {
        const ToolResult result = Run(door ? "create_door" : "create_window", {{"wall_guid", wall}, {"offset", 2.5}});
        ASSERT_TRUE(result.success) << result.error;
        API_Element expected = HostTesting::GetDefaults(door ? API_DoorID : API_WindowID);
        API_WindowType& opening = expected.window;   // doors share the layout
        opening.owner = Guid(wall);
        opening.objLoc = 2.5;
        opening.openingBase.width = door ? 0.9 : 1.2;
        opening.openingBase.height = door ? 2.1 : 1.2;
        if (!door)
            opening.lower = 0.9;
        expected.header.floorInd = 1;   // the wall's story
        const API_Element stored = Element(result.elementGuid);
        expected.header.guid = stored.header.guid;
        EXPECT_EQ(FirstDifference(expected, stored), sizeof(API_Element)) << (door ? "door" : "window");
    }
}

// ---- the wall lookup ----------------------------------------------------------------------

TEST_F(OpeningToolsTest, MissingOrEmptyWallGuidFailsWithoutHostCalls)
{
    HostTesting::ClearCallLog();
    const Footprint before = TakeFootprint();
    for (const json& input : {json::object(), json {{"wall_guid", ""}}, json {{"offset", 2.0}}}) {
        for (const char* tool : {"create_door", "create_window"}) {
            const ToolResult result = Run(tool, input);
            EXPECT_FALSE(result.success);
            EXPECT_EQ(result.error, "wall_guid is required") << tool << " " << input.dump();
        }
    }
    EXPECT_TRUE(HostTesting::CallLog().empty());
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(OpeningToolsTest, UnknownWallIsReportedWithTheTextAsGiven)
{
    const Footprint before = TakeFootprint();
    const std::string unknown = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
    for (const std::string& text : {unknown, std::string("not a guid at all")}) {
        HostTesting::ClearCallLog();
        const ToolResult result = Run("create_window", {{"wall_guid", text}, {"offset", 1}});
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, "Wall not found: " + text);
        EXPECT_EQ(HostTesting::CallCount("ACAPI_CallUndoableCommand"), 0) << "the lookup opened a command";
    }
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(OpeningToolsTest, WallLookupRunsBeforeAndOutsideTheCommand)
{
    HostTesting::ClearCallLog();
    ASSERT_TRUE(Run("create_door", {{"wall_guid", wall}}).success);
    const auto log = HostTesting::CallLog();
    const size_t lookup = CallIndex(log, "ACAPI_Element_Get");
    const size_t command = CallIndex(log, "ACAPI_CallUndoableCommand");
    ASSERT_LT(lookup, log.size());
    ASSERT_LT(command, log.size());
    EXPECT_LT(lookup, command);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Get"), 1);
}

TEST_F(OpeningToolsTest, LowerCaseWallGuidNamesTheSameWall)
{
    std::string lower = wall;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const ToolResult result = Run("create_door", {{"wall_guid", lower}});
    ASSERT_TRUE(result.success) << result.error;
    EXPECT_EQ(Text(Element(result.elementGuid).door.owner), wall);
}

TEST_F(OpeningToolsTest, NonWallElementPassesTheLookupAndTheHostDecides)
{
    const std::string column = Text(HostTesting::AddFixture(API_ColumnID));
    const Footprint before = TakeFootprint();
    const ToolResult result = Run("create_door", {{"wall_guid", column}});
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.error, "CreateDoor ACAPI error: -2130313112");
    EXPECT_EQ(TakeFootprint(), before);
}

// ---- inputs of the wrong type ----------------------------------------------------------------

TEST_F(OpeningToolsTest, WrongJsonTypesFailBeforeTheGuidCheck)
{
    HostTesting::ClearCallLog();
    const Footprint before = TakeFootprint();
    const struct {
        const char* tool;
        json input;
        const char* error;
    } cases[] = {
        {"create_door", {{"wall_guid", 5}}, "[json.exception.type_error.302] type must be string, but is number"},
        {"create_door", {{"offset", "x"}}, "[json.exception.type_error.302] type must be number, but is string"},
        {"create_window", {{"wall_guid", ""}, {"sill_height", nullptr}}, "[json.exception.type_error.302] type must be number, but is null"},
        {"create_window", {{"wall_guid", wall}, {"width", true}}, "[json.exception.type_error.302] type must be number, but is boolean"},
        {"create_window", json::array(), "[json.exception.type_error.306] cannot use value() with array"},
    };
    for (const auto& c : cases) {
        const ToolResult result = Run(c.tool, c.input);
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.error, c.error) << c.tool << " " << c.input.dump();
    }
    EXPECT_TRUE(HostTesting::CallLog().empty());
    EXPECT_EQ(TakeFootprint(), before);
}

// ---- the host's answers -------------------------------------------------------------------

TEST_F(OpeningToolsTest, OffsetOutsideTheWallIsTheHostsToRefuse)
{
    const Footprint before = TakeFootprint();
    for (double offset : {-0.5, 6.5}) {
        const ToolResult result = Run("create_window", {{"wall_guid", wall}, {"offset", offset}});
        EXPECT_EQ(result.error, "CreateWindow ACAPI error: -2130313112") << offset;
    }
    const ToolResult zeroWidth = Run("create_door", {{"wall_guid", wall}, {"width", 0}});
    EXPECT_EQ(zeroWidth.error, "CreateDoor ACAPI error: -2130313112");
    EXPECT_EQ(TakeFootprint(), before);
}

TEST_F(OpeningToolsTest, FailureAtEachHostStepLeavesNothingBehind)
{
    // Once the body has run, the opening's memo and the marker's memo both go back to the
    // host, on every path: a refusing host may still have left handles in them.
    const struct {
        const char* function;
        int disposals;
    } steps[] = {{"ACAPI_Element_GetDefaultsExt", 2}, {"ACAPI_Element_CreateExt", 2}, {"ACAPI_CallUndoableCommand", 0}};
    for (const auto& step : steps) {
        for (bool door : {true, false}) {
            const Footprint before = TakeFootprint();
            HostTesting::ClearCallLog();
            HostTesting::FailNextCall(step.function, APIERR_BADPARS);
            const ToolResult result = Run(door ? "create_door" : "create_window", {{"wall_guid", wall}});
            HostTesting::ClearFailures();
            EXPECT_FALSE(result.success);
            EXPECT_EQ(result.error, std::string(door ? "CreateDoor" : "CreateWindow") + " ACAPI error: -2130313112")
                << step.function;
            EXPECT_TRUE(result.elementGuid.empty());
            EXPECT_EQ(TakeFootprint(), before) << step.function;
            EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), step.disposals) << step.function;
        }
    }
    HostTesting::ClearCallLog();
    ASSERT_TRUE(Run("create_window", {{"wall_guid", wall}}).success);
    EXPECT_EQ(HostTesting::CallCount("ACAPI_DisposeElemMemoHdls"), 2);
}

// ---- the marker ---------------------------------------------------------------------------

TEST_F(OpeningToolsTest, MarkerCarriesItsOwnPartsParameters)
{
    for (bool door : {true, false}) {
        const API_ElemTypeID type = door ? API_DoorID : API_WindowID;
        const Int32 markerPart = HostTesting::FindLibraryPart(door ? "Door Marker" : "Window Marker");
        ASSERT_GT(markerPart, 0);
        const auto expected = ParamNames(HostTesting::LibraryPartParams(markerPart));
        ASSERT_FALSE(expected.empty());
        ASSERT_NE(expected, ParamNames(HostTesting::MarkerDefaultParams(type)));

        const ToolResult result = Run(door ? "create_door" : "create_window", {{"wall_guid", wall}, {"offset", 3}});
        ASSERT_TRUE(result.success) << result.error;
        Int32 libInd = 0;
        std::vector<API_AddParType> params;
        ASSERT_TRUE(HostTesting::GetMarker(Guid(result.elementGuid), &libInd, &params));
        EXPECT_EQ(libInd, markerPart);
        EXPECT_EQ(ParamNames(params), expected);
    }
}

TEST_F(OpeningToolsTest, MarkerLookupFailuresStillCreateTheOpening)
{
    const auto defaultNames = ParamNames(HostTesting::MarkerDefaultParams(API_DoorID));
    for (const char* step : {"ACAPI_Goodies_GetMarkerParent", "ACAPI_LibPart_Search", "ACAPI_LibPart_GetParams"}) {
        HostTesting::FailNextCall(step, APIERR_BADID);
        const ToolResult result = Run("create_door", {{"wall_guid", wall}});
        HostTesting::ClearFailures();
        ASSERT_TRUE(result.success) << step << ": " << result.error;
        EXPECT_EQ(result.message, "Door created");
        std::vector<API_AddParType> params;
        ASSERT_TRUE(HostTesting::GetMarker(Guid(result.elementGuid), nullptr, &params));
        EXPECT_EQ(ParamNames(params), defaultNames) << "after a failed " << step;
    }

    // An opening kind without a marker part at all.
    HostTesting::SetMarkerPart(API_WindowID, "");
    const ToolResult window = Run("create_window", {{"wall_guid", wall}});
    EXPECT_TRUE(window.success) << window.error;
}

TEST_F(OpeningToolsTest, MarkerWithoutDefaultParametersGetsThePartsList)
{
    HostTesting::SetMarkerDefaultsCarryParams(API_WindowID, false);
    const ToolResult result = Run("create_window", {{"wall_guid", wall}});
    ASSERT_TRUE(result.success) << result.error;
    std::vector<API_AddParType> params;
    ASSERT_TRUE(HostTesting::GetMarker(Guid(result.elementGuid), nullptr, &params));
    EXPECT_EQ(ParamNames(params), ParamNames(HostTesting::LibraryPartParams(HostTesting::FindLibraryPart("Window Marker"))));
}

// ---- undo ---------------------------------------------------------------------------------

TEST_F(OpeningToolsTest, EachOpeningIsOneNamedUndoStepThatUndoes)
{
    for (bool door : {true, false}) {
        const Footprint before = TakeFootprint();
        const ToolResult result = Run(door ? "create_door" : "create_window", {{"wall_guid", wall}});
        ASSERT_TRUE(result.success) << result.error;
        ASSERT_EQ(UndoStepCount(), before.undoSteps + 1);
        EXPECT_EQ(UndoSteps().back(), door ? "Quillmere: Create Door" : "Quillmere: Create Window");
        EXPECT_EQ(HostTesting::ElementCount(), before.elements + 1);

        ASSERT_TRUE(UndoLast());
        EXPECT_FALSE(HostTesting::ElementExists(Guid(result.elementGuid)));
        EXPECT_FALSE(HostTesting::GetMarker(Guid(result.elementGuid), nullptr, nullptr));
        EXPECT_EQ(TakeFootprint(), before);
        EXPECT_TRUE(HostTesting::ElementExists(Guid(wall)));
    }
}

}  // namespace
