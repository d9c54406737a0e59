// Object tools: search the loaded library by name and place a library part as an object.
#include <string>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "core/ToolInput.hpp"
#include "core/ToolRegistry.hpp"
#include "tools/ToolCommon.hpp"
#include "tools/ToolFamilies.hpp"

using json = nlohmann::json;

namespace {

// Library part types that can be placed or opened in a wall: windows, doors, objects,
// lamps, rooms and labels. Macros, specials and the rest are never offered.
bool IsListedPartType(Int32 typeID)
{
    switch (typeID) {
        case 2: case 3: case 4: case 5: case 6: case 9:
            return true;
        default:
            return false;
    }
}

void ForgetLocation(API_LibPart& libPart)
{
    if (libPart.location != nullptr) {
        delete libPart.location;
        libPart.location = nullptr;
    }
}

// The record's name, read no further than its field even if the terminator is missing.
GS::UniString NameOf(const API_LibPart& libPart)
{
    constexpr USize capacity = sizeof(libPart.docu_UName) / sizeof(libPart.docu_UName[0]);
    USize length = 0;
    while (length < capacity && libPart.docu_UName[length] != 0)
        ++length;
    return GS::UniString(libPart.docu_UName, length);
}

std::string ToText(const GS::UniString& text)
{
    return text.ToCStr(0, MaxUSize, CC_Default).Get();
}

ToolResult SearchLibraryParts(const json& input)
{
    const std::string pattern = input.value("pattern", std::string());
    json matches = json::array();

    Int32 count = 0;
    if (ACAPI_LibPart_GetNum(&count) != NoError)
        return ToolResult::Ok("", "[]");

    const GS::UniString wanted = GS::UniString(pattern.c_str(), CC_Default).ToLowerCase();
    for (Int32 index = 1; index <= count; ++index) {
        API_LibPart libPart;
        BNClear(libPart);
        libPart.index = index;
        const GSErrCode read = ACAPI_LibPart_Get(&libPart);
        ForgetLocation(libPart);   // the caller owns it, read or not
        if (read != NoError)
            continue;
        const GS::UniString name = NameOf(libPart);
        if (!IsListedPartType(libPart.typeID))
            continue;
        if (name.ToLowerCase().Contains(wanted))
            matches.push_back({{"index", index}, {"name", ToText(name)}});
    }
    return ToolResult::Ok("", matches.dump());
}

ToolResult PlaceObject(const json& input)
{
    const std::string name = input.value("name", std::string());
    const double x = input.value("x", 0.0);
    const double y = input.value("y", 0.0);
    const double z = input.value("z", 0.0);
    const double rotation = input.value("rotation", 0.0);
    const int story = IntInput(input, "story", 0);

    if (name.empty())
        return ToolResult::Fail("Library part name is required");

    API_LibPart libPart;
    BNClear(libPart);
    const GS::UniString uName(name.c_str(), CC_Default);
    const GS::UStrHolder uText = uName.ToUStr();   // keeps the UTF-16 text alive
    // A name that does not fit the record's field cannot name a loaded part.
    constexpr size_t fieldLength = sizeof(libPart.docu_UName) / sizeof(libPart.docu_UName[0]);
    if (GS::ucslen(uText.Get()) >= fieldLength)
        return ToolResult::Fail("Library part not found: " + name);
    GS::ucscpy(libPart.docu_UName, uText.Get());

    // Only parts that exist and can be placed: never a stand-in for a missing part.
    const GSErrCode found = ACAPI_LibPart_Search(&libPart, false, true);
    ForgetLocation(libPart);
    if (found != NoError)
        return ToolResult::Fail("Library part not found: " + name);

    std::string guidText;
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString("Quillmere: Place Object"), [&]() -> GSErrCode {
        API_Element element;
        API_ElementMemo memo;
        BNClear(element);
        BNClear(memo);
        element.header.type.typeID = API_ObjectID;
        GSErrCode code = ACAPI_Element_GetDefaults(&element, &memo);
        if (code != NoError) {
            ACAPI_DisposeElemMemoHdls(&memo);
            return code;
        }
        element.object.libInd = libPart.index;
        element.object.pos = {x, y};
        element.object.level = z;
        element.object.angle = rotation * kDegreesToRadians;
        element.header.floorInd = StoryBits(story);
        if (memo.params != nullptr)
            BMKillHandle(reinterpret_cast<GSHandle*>(&memo.params));

        double a = 0.0;
        double b = 0.0;
        Int32 addParNum = 0;
        API_AddParType** addPars = nullptr;
        if (ACAPI_LibPart_GetParams(libPart.index, &a, &b, &addParNum, &addPars) == NoError) {
            element.object.xRatio = a;
            element.object.yRatio = b;
            memo.params = addPars;
        }

        code = ACAPI_Element_Create(&element, &memo);
        ACAPI_DisposeElemMemoHdls(&memo);
        if (code == NoError)
            guidText = GuidToStr(element.header.guid);
        return code;
    });
    if (err != NoError)
        return ToolResult::Fail("PlaceObject ACAPI error: " + std::to_string(err));
    return ToolResult::Ok(guidText, "Object placed: " + name);
}

}  // namespace

void RegisterObjectTools(ToolRegistry& registry)
{
    {
        ToolDef def;
        def.name = "search_library_parts";
        def.description = "Search the loaded library parts by name substring. Returns matching part names and indices for use with place_object.";
        def.inputSchema = {
            {"type", "object"},
            {"properties", {
                {"pattern", Property("string", "Substring to search for in library part names (case-insensitive)")},
            }},
            {"required", json::array({"pattern"})},
        };
        def.handler = [](const json& input) { return SearchLibraryParts(input); };
        registry.Register(def);
    }
    {
        ToolDef def;
        def.name = "place_object";
        def.description = "Place a library part (furniture, fixture, etc.) by name. Use search_library_parts first to find the exact name.";
        def.inputSchema = {
            {"type", "object"},
            {"properties", {
                {"name", Property("string", "Library part name (exact match from search_library_parts)")},
                {"x", Property("number", "Placement X position (metres)")},
                {"y", Property("number", "Placement Y position (metres)")},
                {"z", Property("number", "Vertical offset above story level (metres, default 0)")},
                {"rotation", Property("number", "Rotation angle in degrees (default 0)")},
                {"story", Property("integer", "Story index (default 0)")},
            }},
            {"required", json::array({"name", "x", "y"})},
        };
        def.handler = [](const json& input) { return PlaceObject(input); };
        registry.Register(def);
    }
}
