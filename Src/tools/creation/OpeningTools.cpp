// Opening tools: doors and windows inserted into an existing wall, each with its marker.
#include <string>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

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
    if (!isDoor) opening.lower = in.sillHeight;  // a door keeps the sill its defaults give
}

bool WallExists(const API_Guid& guid)
{
    API_Element wall = BlankElement(API_WallID);
    wall.header.guid = guid;
    return ACAPI_Element_Get(&wall, 0) == NoError;
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
    if (ACAPI_Goodies_GetMarkerParent(elemType, libPart) != NoError) return;
    const GSErrCode found = ACAPI_LibPart_Search(&libPart, false, true);
    ReleaseLocation(libPart);
    if (found != NoError) return;
    double a = 0.0;
    double b = 0.0;
    Int32 addParNum = 0;
    API_AddParType** addPars = nullptr;
    if (ACAPI_LibPart_GetParams(libPart.index, &a, &b, &addParNum, &addPars) != NoError) return;
    // The defaults may already have put a list there; the memo owns only one.
    if (marker.memo.params != nullptr) BMKillHandle(reinterpret_cast<GSHandle*>(&marker.memo.params));
    marker.memo.params = addPars;
}

ToolResult CreateOpening(const json& input, bool isDoor)
{
    OpeningInput in;
    in.wallGuidText = StringInput(input, "wall_guid");
    in.offset = NumberInput(input, "offset", isDoor ? 0.5 : 1.0);
    in.width = NumberInput(input, "width", isDoor ? 0.9 : 1.2);
    in.height = NumberInput(input, "height", isDoor ? 2.1 : 1.2);
    if (!isDoor) in.sillHeight = NumberInput(input, "sill_height", 0.9);

    if (in.wallGuidText.empty()) return ToolResult::Fail("wall_guid is required");
    const API_Guid wallGuid = ParseGuid(in.wallGuidText);
    if (!WallExists(wallGuid)) return ToolResult::Fail("Wall not found: " + in.wallGuidText);

    const API_ElemTypeID openingType = isDoor ? API_DoorID : API_WindowID;
    std::string guidText;
    return UndoableCommand(
        isDoor ? "Quillmere: Create Door" : "Quillmere: Create Window", isDoor ? "CreateDoor" : "CreateWindow",
        [&]() -> GSErrCode {
            API_Element element = BlankElement(openingType);
            API_SubElement marker;
            BNClear(marker);
            marker.subType = APISubElement_MainMarker;
            MemoHolder markerMemo(marker.memo);
            MemoHolder memo;  // disposed before the marker's, as declared after it

            GSErrCode code = ACAPI_Element_GetDefaultsExt(&element, memo.Get(), 1, &marker);
            if (code != NoError) return code;
            AttachMarkerParameters(openingType, marker);
            if (isDoor)
                WriteOpeningFields(element.door, wallGuid, in, true);
            else
                WriteOpeningFields(element.window, wallGuid, in, false);

            code = ACAPI_Element_CreateExt(&element, memo.Get(), 1, &marker);
            if (code == NoError) guidText = GuidToStr(element.header.guid);
            return code;
        },
        [&] { return ToolResult::Ok(guidText, isDoor ? "Door created" : "Window created"); });
}

}  // namespace

void RegisterOpeningTools(ToolRegistry& registry)
{
    Tool(registry, "create_door",
         "Create a door opening in an existing wall. The offset is measured from the wall's beginning point.")
        .String("wall_guid", "GUID of the host wall (from create_wall result)")
        .Number("offset", "Distance from wall start to door centre (metres)")
        .Number("width", "Door width in metres (default 0.9)")
        .Number("height", "Door height in metres (default 2.1)")
        .Required({"wall_guid", "offset"})
        .Handler([](const json& input) { return CreateOpening(input, true); });

    Tool(registry, "create_window", "Create a window opening in an existing wall.")
        .String("wall_guid", "GUID of the host wall")
        .Number("offset", "Distance from wall start to window centre (metres)")
        .Number("width", "Window width in metres (default 1.2)")
        .Number("height", "Window height in metres (default 1.2)")
        .Number("sill_height", "Window sill height above floor (metres, default 0.9)")
        .Required({"wall_guid", "offset"})
        .Handler([](const json& input) { return CreateOpening(input, false); });
}
