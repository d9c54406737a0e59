// Opening tools: doors and windows inserted into an existing wall, each with its marker.
#include <string>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "core/ToolRegistry.hpp"
#include "tools/ToolCommon.hpp"
#include "tools/ToolFamilies.hpp"

using json = nlohmann::json;

namespace {

struct OpeningInput {
    std::string wallGuidText;
    double offset = 0.0;
    double width = 0.0;
    double height = 0.0;
    double sillHeight = 0.0;
};

template <typename Opening>
void WriteOpeningFields(Opening& opening, const API_Guid& wallGuid, const OpeningInput& in, bool isDoor)
{
    opening.owner = wallGuid;
    opening.objLoc = in.offset;
    opening.openingBase.width = in.width;
    opening.openingBase.height = in.height;
    if (!isDoor)
        opening.lower = in.sillHeight;  // a door keeps the sill its defaults give
}

// Gives the marker the parameter list of its own library part. Any failure on the way
// leaves the marker as its defaults describe it; the opening is still created.
void AttachMarkerParameters(API_ElemTypeID openingType, API_SubElement& marker)
{
    API_LibPart libPart;
    BNClear(libPart);
    API_ElemType elemType;
    BNClear(elemType);
    elemType.typeID = openingType;
    if (ACAPI_Goodies_GetMarkerParent(elemType, libPart) != NoError)
        return;
    const GSErrCode found = ACAPI_LibPart_Search(&libPart, false, true);
    if (libPart.location != nullptr) {   // the caller owns it, found or not
        delete libPart.location;
        libPart.location = nullptr;
    }
    if (found != NoError)
        return;
    double a = 0.0;
    double b = 0.0;
    Int32 addParNum = 0;
    API_AddParType** addPars = nullptr;
    if (ACAPI_LibPart_GetParams(libPart.index, &a, &b, &addParNum, &addPars) != NoError)
        return;
    // The defaults may already have put a list there; the memo owns only one.
    if (marker.memo.params != nullptr)
        BMKillHandle(reinterpret_cast<GSHandle*>(&marker.memo.params));
    marker.memo.params = addPars;
}

ToolResult CreateOpening(const json& input, bool isDoor)
{
    OpeningInput in;
    in.wallGuidText = input.value("wall_guid", std::string());
    in.offset = input.value("offset", isDoor ? 0.5 : 1.0);
    in.width = input.value("width", isDoor ? 0.9 : 1.2);
    in.height = input.value("height", isDoor ? 2.1 : 1.2);
    if (!isDoor)
        in.sillHeight = input.value("sill_height", 0.9);

    if (in.wallGuidText.empty())
        return ToolResult::Fail("wall_guid is required");

    const API_Guid wallGuid = GSGuid2APIGuid(GS::Guid(in.wallGuidText.c_str()));
    {
        API_Element wall;
        BNClear(wall);
        wall.header.type.typeID = API_WallID;
        wall.header.guid = wallGuid;
        if (ACAPI_Element_Get(&wall, 0) != NoError)
            return ToolResult::Fail("Wall not found: " + in.wallGuidText);
    }

    const API_ElemTypeID openingType = isDoor ? API_DoorID : API_WindowID;
    std::string guidText;
    const GS::UniString undoName(isDoor ? "Quillmere: Create Door" : "Quillmere: Create Window");
    const GSErrCode err = ACAPI_CallUndoableCommand(undoName, [&]() -> GSErrCode {
        API_Element element;
        API_ElementMemo memo;
        API_SubElement marker;
        BNClear(element);
        BNClear(memo);
        BNClear(marker);
        element.header.type.typeID = openingType;
        marker.subType = APISubElement_MainMarker;

        GSErrCode code = ACAPI_Element_GetDefaultsExt(&element, &memo, 1, &marker);
        if (code != NoError) {
            ACAPI_DisposeElemMemoHdls(&memo);
            ACAPI_DisposeElemMemoHdls(&marker.memo);
            return code;
        }
        AttachMarkerParameters(openingType, marker);
        if (isDoor)
            WriteOpeningFields(element.door, wallGuid, in, true);
        else
            WriteOpeningFields(element.window, wallGuid, in, false);

        code = ACAPI_Element_CreateExt(&element, &memo, 1, &marker);
        ACAPI_DisposeElemMemoHdls(&memo);
        ACAPI_DisposeElemMemoHdls(&marker.memo);
        if (code == NoError)
            guidText = GuidToStr(element.header.guid);
        return code;
    });
    if (err != NoError)
        return ToolResult::Fail(std::string(isDoor ? "CreateDoor" : "CreateWindow") + " ACAPI error: " + std::to_string(err));
    return ToolResult::Ok(guidText, isDoor ? "Door created" : "Window created");
}

}  // namespace

void RegisterOpeningTools(ToolRegistry& registry)
{
    {
        ToolDef def;
        def.name = "create_door";
        def.description = "Create a door opening in an existing wall. The offset is measured from the wall's beginning point.";
        def.inputSchema = {
            {"type", "object"},
            {"properties", {
                {"wall_guid", Property("string", "GUID of the host wall (from create_wall result)")},
                {"offset", Property("number", "Distance from wall start to door centre (metres)")},
                {"width", Property("number", "Door width in metres (default 0.9)")},
                {"height", Property("number", "Door height in metres (default 2.1)")},
            }},
            {"required", json::array({"wall_guid", "offset"})},
        };
        def.handler = [](const json& input) { return CreateOpening(input, true); };
        registry.Register(def);
    }
    {
        ToolDef def;
        def.name = "create_window";
        def.description = "Create a window opening in an existing wall.";
        def.inputSchema = {
            {"type", "object"},
            {"properties", {
                {"wall_guid", Property("string", "GUID of the host wall")},
                {"offset", Property("number", "Distance from wall start to window centre (metres)")},
                {"width", Property("number", "Window width in metres (default 1.2)")},
                {"height", Property("number", "Window height in metres (default 1.2)")},
                {"sill_height", Property("number", "Window sill height above floor (metres, default 0.9)")},
            }},
            {"required", json::array({"wall_guid", "offset"})},
        };
        def.handler = [](const json& input) { return CreateOpening(input, false); };
        registry.Register(def);
    }
}
