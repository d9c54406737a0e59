// Every way the six editing tools refuse a call: the exact error, and nothing changed.

#include <string>

#include "ModifyTestSupport.hpp"

using json = nlohmann::json;

namespace {

std::string HostError(const char* prefix, GSErrCode code)
{
    return std::string(prefix) + " ACAPI error: " + std::to_string(code);
}

}  // namespace

TEST_F(ModifyToolTest, RefusedCallsReportTheirErrorAndChangeNothing)
{
    const API_Guid wallGuid = HostTesting::AddWall(0.0, 0.0, 6.0, 0.0);
    const std::string wall = Text(wallGuid), door = Text(HostTesting::AddFixture(API_DoorID, 0, wallGuid));
    const std::string line = Text(HostTesting::AddFixture(API_LineID));
    API_Element far = HostTesting::MakeElement(API_LineID);
    far.line.begC = {1.7e308, 0.0};
    far.line.endC = {1.7e308, 1.0};
    const std::string farLine = Text(HostTesting::AddElement(far));
    const double doorAt = Element(door).door.objLoc;
    Int32 layerCount = 0;
    ASSERT_EQ(ACAPI_Attribute_GetNum(API_LayerID, &layerCount), NoError);
    const std::string absent = "0DDF00D0-1234-4321-ABCD-0123456789AB", absentLower = "0ddf00d0-1234-4321-abcd-0123456789ab";
    const std::string required = "element_guid is required", needTwo = "Need at least 2 elements to group";

    std::vector<Refusal> refusals = {
        {"modify_element", json::object(), required},
        {"modify_element", {{"element_guid", ""}, {"height", 1.0}}, required},
        {"modify_element", {{"element_guid", absentLower}, {"height", 1.0}}, "Element not found: " + absentLower},
        {"modify_element", {{"element_guid", "not a guid"}}, "Element not found: not a guid"},
        {"modify_element", {{"element_guid", wall}, {"height", 4.0}, {"layer", layerCount + 7}},
         HostError("ModifyElement", APIERR_BADINDEX)},
        {"modify_element", {{"element_guid", wall}, {"story", 40}}, HostError("ModifyElement", APIERR_BADINDEX)},
        // A wall cannot be shortened past its door, and a door cannot leave its wall's story.
        {"modify_element", {{"element_guid", wall}, {"end_x", doorAt / 2.0}}, HostError("ModifyElement", APIERR_BADPARS)},
        {"modify_element", {{"element_guid", door}, {"story", 2}}, HostError("ModifyElement", APIERR_BADPARS)},
        {"modify_element", {{"element_guid", wall}, {"height", 2.0}}, "ModifyElement ACAPI error: -2130313112", false,
         "ACAPI_Element_Change", APIERR_BADPARS},
        {"modify_element", {{"element_guid", wall}, {"height", 2.0}}, "Element not found: " + wall, false,
         "ACAPI_Element_Get", APIERR_GENERAL},
        {"modify_element", {{"element_guid", wall}, {"start_x", 2.0}, {"height", "3"}}, "type must be number", true},
        {"modify_element", {{"element_guid", wall}, {"end_y", nullptr}}, "", true},
        {"modify_element", {{"element_guid", wall}, {"thickness", true}}, "type must be number", true},
        {"modify_element", {{"element_guid", wall}, {"layer", "2"}}, "", true},
        {"modify_element", {{"element_guid", 12}}, "type must be string", true},
        {"modify_element", json::array({wall}), "cannot use value()", true},
        // Out of the 32-bit range: refused rather than converted.
        {"modify_element", {{"element_guid", wall}, {"layer", 1e20}}, "", true},
        {"modify_element", {{"element_guid", wall}, {"story", -1e12}}, "", true},

        // The bad-id code, printed as the signed 32-bit number it is.
        {"move_element", {{"element_guid", absent}}, "MoveElement ACAPI error: -2130313115"},
        {"copy_element", {{"element_guid", absent}}, HostError("CopyElement", APIERR_BADID)},
        {"rotate_element", {{"element_guid", absent}}, HostError("RotateElement", APIERR_BADID)},
        {"mirror_element", {{"element_guid", absent}}, HostError("MirrorElement", APIERR_BADID)},
        // A door moves with its wall only; an axis of no length; coordinates past the largest double.
        {"move_element", {{"element_guid", door}, {"dx", 1}}, HostError("MoveElement", APIERR_BADPARS)},
        {"mirror_element", {{"element_guid", line}, {"axis_x2", 0}}, HostError("MirrorElement", APIERR_BADPARS)},
        {"copy_element", {{"element_guid", farLine}, {"dx", 1.7e308}}, HostError("CopyElement", APIERR_BADPARS)},
        {"copy_element", {{"element_guid", wall}, {"dx", 1.0}}, HostError("CopyElement", APIERR_GENERAL), false,
         "ACAPI_Element_Edit", APIERR_GENERAL},
        {"mirror_element", {{"element_guid", wall}, {"dx", 1.0}}, "MirrorElement ACAPI error: -2130313214", false,
         "ACAPI_Element_Edit", APIERR_MEMFULL},
        {"move_element", {{"element_guid", wall}, {"dx", "1"}}, "type must be number", true},
        {"mirror_element", {{"element_guid", wall}, {"axis_y2", true}}, "type must be number", true},
        {"copy_element", {{"element_guid", wall}, {"dy", nullptr}}, "", true},
        {"rotate_element", {{"element_guid", wall}, {"angle", json::array({90})}}, "", true},
        {"mirror_element", {{"element_guid", wall}, {"keep_original", 1}}, "type must be boolean", true},
        // Every key is read before the GUID is checked.
        {"move_element", {{"dx", "far"}}, "type must be number", true},
        {"rotate_element", json("spin"), "cannot use value()", true},

        {"group_elements", {{"element_guids", {wall, absent}}}, HostError("Group", APIERR_BADID)},
        {"group_elements", {{"element_guids", {"garbage", line}}, {"ungroup", true}}, HostError("Ungroup", APIERR_BADID)},
        // The same element twice is still one element: nothing to group it with.
        {"group_elements", {{"element_guids", {wall, wall}}}, HostError("Group", APIERR_BADPARS)},
        {"group_elements", {{"element_guids", {wall, line}}}, HostError("Group", APIERR_REFUSEDCMD), false,
         "ACAPI_Element_Tool", APIERR_REFUSEDCMD},
        {"group_elements", {{"element_guids", {wall, 7, line}}}, "type must be string", true},
        {"group_elements", {{"element_guids", {wall, line}}, {"ungroup", "yes"}}, "type must be boolean", true},
        {"group_elements", json::array({wall, line}), "cannot use value()", true},
    };
    for (const char* tool : {"move_element", "copy_element", "rotate_element", "mirror_element"}) {
        refusals.push_back({tool, {{"dx", 1.0}}, required});
        refusals.push_back({tool, {{"element_guid", ""}}, required});
    }
    for (const json& fewer : {json::object(), json {{"element_guids", json::array()}}, json {{"element_guids", {wall}}},
                              json {{"element_guids", wall}}, json {{"element_guids", {{"guid", wall}}}},
                              json {{"element_guids", nullptr}}, json {{"element_guids", {wall}}, {"ungroup", false}}})
        refusals.push_back({"group_elements", fewer, needTwo});
    ExpectRefused(refusals);
}
