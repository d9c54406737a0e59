// The library loaded with the embedded default project: doors, windows, furniture and
// fixtures, lamps, stairs, the zone stamp, a label, and the door and window markers (plan
// signs, which the search leaves out), plus a macro and a settings part that nothing places.
#include "library/Library.hpp"

#include <cstring>

namespace HostInternal {

namespace {

// One row of the default library's table: a part's type, name, unique id, nominal width and
// depth (a, b) and its parameters.
struct DefaultPartRow {
    API_LibTypeID type;
    const char* name;
    const char* unID;
    double a;
    double b;
    std::vector<API_AddParType> params;
};

LibraryPartData MakePart(const DefaultPartRow& row)
{
    LibraryPartData part;
    part.typeID = row.type;
    part.name = GS::Utf8ToUtf16(row.name);
    part.ownUnID = row.unID;
    part.a = row.a;
    part.b = row.b;
    part.params = row.params;
    part.placeable = row.type != APILib_MacroID && row.type != APILib_SpecID;
    return part;
}

std::vector<DefaultPartRow> DefaultParts()
{
    auto len = [](const char* n, double v) { return MakeParameter(n, APIParT_Length, v); };
    auto num = [](const char* n, double v) { return MakeParameter(n, APIParT_Integer, v); };
    auto ang = [](const char* n, double v) { return MakeParameter(n, APIParT_Angle, v); };
    auto on = [](const char* n, bool v) { return MakeParameter(n, APIParT_Boolean, v ? 1.0 : 0.0); };
    auto txt = [](const char* n, const char* t) { return MakeParameter(n, APIParT_CString, 0.0, t); };
    return {
        {APILib_SpecID, "Library Settings", "{LIB-SETTINGS}", 0.0, 0.0, {txt("unitSystem", "metric")}},
        {APILib_WindowID,
         "Window Single",
         "{WIN-SINGLE}",
         0.9,
         1.2,
         {len("frameThk", 0.06), num("sashes", 1), on("hasSill", true)}},
        {APILib_WindowID,
         "Window Double",
         "{WIN-DOUBLE}",
         1.5,
         1.4,
         {len("frameThk", 0.06), num("sashes", 2), on("hasSill", true)}},
        {APILib_WindowID,
         "Window Casement",
         "{WIN-CASEMENT}",
         0.6,
         1.0,
         {len("frameThk", 0.05), ang("openAngle", 0.7853981633974483)}},
        {APILib_WindowID, "Window Fixed", "{WIN-FIXED}", 1.2, 1.2, {len("frameThk", 0.05), num("sashes", 0)}},
        {APILib_DoorID,
         "Door Single",
         "{DOOR-SINGLE}",
         0.9,
         2.1,
         {len("leafThk", 0.04), ang("openAngle", 1.5707963267948966), txt("handle", "lever")}},
        {APILib_DoorID, "Door Double", "{DOOR-DOUBLE}", 1.6, 2.1, {len("leafThk", 0.04), num("leaves", 2)}},
        {APILib_DoorID, "Door Sliding", "{DOOR-SLIDING}", 1.8, 2.2, {len("leafThk", 0.03), on("pocket", false)}},
        {APILib_DoorID, "Door Garage", "{DOOR-GARAGE}", 2.5, 2.2, {num("panels", 4), on("motorised", true)}},
        {APILib_ObjectID, "Chair", "{OBJ-CHAIR}", 0.45, 0.5, {len("seatHeight", 0.45), on("armrests", false)}},
        {APILib_ObjectID,
         "Office Chair",
         "{OBJ-OFFICE-CHAIR}",
         0.6,
         0.6,
         {len("seatHeight", 0.48), on("armrests", true), num("castors", 5)}},
        {APILib_ObjectID,
         "Table Rectangular",
         "{OBJ-TABLE-RECT}",
         1.6,
         0.9,
         {len("tableHeight", 0.75), num("seats", 6)}},
        {APILib_ObjectID, "Table Round", "{OBJ-TABLE-ROUND}", 1.2, 1.2, {len("tableHeight", 0.75), num("seats", 4)}},
        {APILib_ObjectID, "Desk", "{OBJ-DESK}", 1.4, 0.7, {len("deskHeight", 0.74), num("drawers", 3)}},
        {APILib_ObjectID,
         "Bed Double",
         "{OBJ-BED-DOUBLE}",
         1.6,
         2.0,
         {len("mattressHeight", 0.5), on("headboard", true)}},
        {APILib_ObjectID,
         "Bed Single",
         "{OBJ-BED-SINGLE}",
         0.9,
         2.0,
         {len("mattressHeight", 0.45), on("headboard", false)}},
        {APILib_ObjectID, "Sofa 3-Seat", "{OBJ-SOFA}", 2.1, 0.9, {num("seats", 3), len("seatHeight", 0.42)}},
        {APILib_ObjectID,
         "Kitchen Counter",
         "{OBJ-KITCHEN}",
         2.4,
         0.6,
         {len("counterHeight", 0.9), on("sink", true), on("hob", true)}},
        {APILib_ObjectID,
         "Kitchen Island",
         "{OBJ-KITCHEN-ISLAND}",
         1.8,
         0.9,
         {len("counterHeight", 0.9), num("stools", 3)}},
        {APILib_ObjectID, "WC", "{OBJ-WC}", 0.4, 0.65, {on("wallHung", false), txt("flush", "dual")}},
        {APILib_ObjectID, "Basin", "{OBJ-BASIN}", 0.6, 0.45, {len("rimHeight", 0.85), on("pedestal", true)}},
        {APILib_ObjectID, "Bath", "{OBJ-BATH}", 1.7, 0.75, {len("rimHeight", 0.55), on("shower", false)}},
        {APILib_ObjectID, "Shower Tray", "{OBJ-SHOWER}", 0.9, 0.9, {len("trayHeight", 0.05), on("screen", true)}},
        {APILib_ObjectID,
         "Stair Straight",
         "{OBJ-STAIR-STRAIGHT}",
         1.0,
         4.2,
         {num("risers", 17), len("riserHeight", 0.176), len("treadDepth", 0.25)}},
        {APILib_ObjectID,
         "Stair L-Shaped",
         "{OBJ-STAIR-L}",
         2.2,
         3.0,
         {num("risers", 17), len("riserHeight", 0.176), on("landing", true)}},
        {APILib_LampID,
         "Ceiling Lamp",
         "{LAMP-CEILING}",
         0.4,
         0.4,
         {MakeParameter("lightColour", APIParT_ColRGB, 0.9), MakeParameter("intensity", APIParT_Intens, 80.0),
          on("lightOn", true)}},
        {APILib_LampID, "Floor Lamp", "{LAMP-FLOOR}", 0.35, 0.35, {len("lampHeight", 1.6), on("lightOn", true)}},
        {APILib_RoomID, "Zone Stamp", "{ZONE-STAMP}", 0.8, 0.4, {len("textSize", 0.0025), on("showArea", true)}},
        {APILib_PropertyID, "Finish Properties", "{PROP-FINISH}", 0.0, 0.0, {txt("finish", "paint")}},
        {APILib_PlanSignID,
         "Door Marker",
         "{MARKER-DOOR}",
         0.0,
         0.0,
         {txt("markerStyle", "door-tag"), len("markerSize", 0.012), on("showSize", true)}},
        {APILib_PlanSignID,
         "Window Marker",
         "{MARKER-WINDOW}",
         0.0,
         0.0,
         {txt("markerStyle", "window-tag"), len("markerSize", 0.01), on("showSill", true)}},
        {APILib_LabelID, "Label Simple", "{LABEL-SIMPLE}", 0.6, 0.2, {len("textSize", 0.0025), on("arrow", true)}},
        {APILib_MacroID, "Door Frame Macro", "{MACRO-DOOR-FRAME}", 0.0, 0.0, {len("frameWidth", 0.06)}},
    };
}

}  // namespace

API_AddParType MakeParameter(const char* name, API_AddParID type, double value, const char* text)
{
    API_AddParType par;
    BNClear(par);
    par.typeID = type;
    std::strncpy(par.name, name, sizeof(par.name) - 1);
    par.real = value;
    if (text != nullptr) GS::ucsncpy(par.uStr, GS::Utf8ToUtf16(text).c_str(), sizeof(par.uStr) / sizeof(par.uStr[0]));
    return par;
}

void LoadDefaultLibrary(Project& project)
{
    std::vector<LibraryPartData>& library = project.Library();
    library.clear();
    for (const DefaultPartRow& row : DefaultParts()) library.push_back(MakePart(row));
    for (size_t i = 0; i < library.size(); ++i)
        for (size_t p = 0; p < library[i].params.size(); ++p) library[i].params[p].index = static_cast<Int16>(p + 1);

    MarkerSetups().clear();
    MarkerSetups()[API_DoorID] =
        MarkerSetup{"{MARKER-DOOR}", {MakeParameter("markerStyle", APIParT_CString, 0.0, "generic")}, true};
    MarkerSetups()[API_WindowID] =
        MarkerSetup{"{MARKER-WINDOW}", {MakeParameter("markerStyle", APIParT_CString, 0.0, "generic")}, true};
    Markers().clear();
}

}  // namespace HostInternal
