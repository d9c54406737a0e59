// Doors and windows in an existing wall: the record, the wall lookup and the marker's
// parameters.
#include <algorithm>

#include "ToolsTest.hpp"

namespace {

std::vector<std::string> ParamNames(const std::vector<API_AddParType>& params)
{
    std::vector<std::string> names;
    for (const API_AddParType& p : params) names.emplace_back(p.name);
    return names;
}

TEST_F(ToolsTest, OpeningRecordsHoldToolValuesAndHostDefaultsElsewhere)
{
    for (API_ElemTypeID type : {API_DoorID, API_WindowID}) {
        API_Element defaults = HostTesting::GetDefaults(type);
        defaults.window.lower = 0.05;  // doors share the layout
        defaults.window.openingBase.mat = 7;
        HostTesting::SetDefaults(defaults);
    }
    std::string lowerCase = wall;
    std::transform(lowerCase.begin(), lowerCase.end(), lowerCase.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    const auto opening = [this](double offset, double width, double height, double sill) {
        return [=](API_Element& e) {
            e.window.owner = Guid(wall);
            e.window.objLoc = offset;
            e.window.openingBase.width = width;
            e.window.openingBase.height = height;
            e.window.lower = sill;
            e.header.floorInd = 1;  // an opening stands on its wall's story
        };
    };
    HostTesting::ClearCallLog();
    ExpectOnlyToolFields("create_door", {{"wall_guid", wall}}, API_DoorID, opening(0.5, 0.9, 2.1, 0.05));
    // The wall is looked up once, first of all and so outside the undoable command.
    EXPECT_EQ(HostTesting::CallLog().at(0).function, "ACAPI_Element_Get");
    EXPECT_EQ(HostTesting::CallCount("ACAPI_Element_Get"), 1);

    ExpectOnlyToolFields("create_window",
                         {{"wall_guid", wall}, {"offset", 2}, {"width", 0.6}, {"height", 1.5}, {"sill_height", 1.1}},
                         API_WindowID, opening(2.0, 0.6, 1.5, 1.1));
    // A door keeps the sill its defaults give, and a lower-case GUID names the same wall.
    ExpectOnlyToolFields("create_door", {{"wall_guid", lowerCase}, {"offset", 4.5}, {"sill_height", 0.7}}, API_DoorID,
                         opening(4.5, 0.9, 2.1, 0.05));
}

TEST_F(ToolsTest, OpeningRefusals)
{
    const std::string unknown = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
    ExpectFailures({{"create_window", {{"wall_guid", unknown}, {"offset", 1}}, "Wall not found: " + unknown}},
                   "ACAPI_CallUndoableCommand");
    // Past the lookup, the host decides: a non-wall owner, an offset off the wall.
    const std::string column = Text(HostTesting::AddFixture(API_ColumnID));
    ExpectFailures({
        {"create_door", {{"wall_guid", column}}, "CreateDoor ACAPI error: -2130313112"},
        {"create_window", {{"wall_guid", wall}, {"offset", -0.5}}, "CreateWindow ACAPI error: -2130313112"},
    });
}

TEST_F(ToolsTest, MarkerCarriesItsOwnPartsParametersWhenItCanBeRead)
{
    const auto markerParams = [this](const ToolResult& result, Int32* libInd) {
        std::vector<API_AddParType> params;
        EXPECT_TRUE(result.success && HostTesting::GetMarker(Guid(result.elementGuid), libInd, &params))
            << result.error;
        return ParamNames(params);
    };
    // The window's defaults bring no parameter list; the door's bring one that must be replaced.
    HostTesting::SetMarkerDefaultsCarryParams(API_WindowID, false);
    for (const auto& [tool, type, part] : {std::tuple{"create_door", API_DoorID, "Door Marker"},
                                           std::tuple{"create_window", API_WindowID, "Window Marker"}}) {
        SCOPED_TRACE(tool);
        const Int32 markerPart = HostTesting::FindLibraryPart(part);
        const auto expected = ParamNames(HostTesting::LibraryPartParams(markerPart));
        ASSERT_FALSE(expected.empty());
        ASSERT_NE(expected, ParamNames(HostTesting::MarkerDefaultParams(type)));
        Int32 libInd = 0;
        EXPECT_EQ(markerParams(Run(tool, {{"wall_guid", wall}, {"offset", 3}}), &libInd), expected);
        EXPECT_EQ(libInd, markerPart);
    }
    // A marker part that cannot be found or read leaves the defaults' list; the opening is made.
    const auto defaultNames = ParamNames(HostTesting::MarkerDefaultParams(API_DoorID));
    for (const char* step : {"ACAPI_Goodies_GetMarkerParent", "ACAPI_LibPart_Search", "ACAPI_LibPart_GetParams"}) {
        HostTesting::FailNextCall(step, APIERR_BADID);
        EXPECT_EQ(markerParams(Run("create_door", {{"wall_guid", wall}}), nullptr), defaultNames) << step;
        HostTesting::ClearFailures();
    }
    HostTesting::SetMarkerPart(API_WindowID, "");  // an opening kind without a marker part
    EXPECT_TRUE(Run("create_window", {{"wall_guid", wall}}).success);
}

}  // namespace
