// Object tools: search the loaded library by name and place a library part as an object.
#include <string>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

// Library part types that can be placed or opened in a wall: windows, doors, objects,
// lamps, rooms and labels. Macros, specials and the rest are never offered.
bool IsListedPartType(Int32 typeID)
{
    switch (typeID) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 9: return true;
    default: return false;
    }
}

// The record's name, read no further than its field even if the terminator is missing.
GS::UniString NameOf(const API_LibPart& libPart)
{
    constexpr USize capacity = sizeof(libPart.docu_UName) / sizeof(libPart.docu_UName[0]);
    USize length = 0;
    while (length < capacity && libPart.docu_UName[length] != 0) ++length;
    return GS::UniString(libPart.docu_UName, length);
}

std::string ToText(const GS::UniString& text) { return text.ToCStr(0, MaxUSize, CC_Default).Get(); }

ToolResult SearchLibraryParts(const json& input)
{
    const std::string pattern = StringInput(input, "pattern");
    json matches = json::array();

    Int32 count = 0;
    if (ACAPI_LibPart_GetNum(&count) != NoError) return ToolResult::Ok("", "[]");

    const GS::UniString wanted = GS::UniString(pattern.c_str(), CC_Default).ToLowerCase();
    for (Int32 index = 1; index <= count; ++index) {
        API_LibPart libPart;
        BNClear(libPart);
        libPart.index = index;
        const GSErrCode read = ACAPI_LibPart_Get(&libPart);
        ReleaseLocation(libPart);
        if (read != NoError) continue;
        const GS::UniString name = NameOf(libPart);
        if (!IsListedPartType(libPart.typeID)) continue;
        if (name.ToLowerCase().Contains(wanted)) matches.push_back({{"index", index}, {"name", ToText(name)}});
    }
    return DataResult(matches);
}

ToolResult PlaceObject(const json& input)
{
    const std::string name = StringInput(input, "name");
    const double x = NumberInput(input, "x", 0.0);
    const double y = NumberInput(input, "y", 0.0);
    const double z = NumberInput(input, "z", 0.0);
    const double rotation = NumberInput(input, "rotation", 0.0);
    const int story = IntInput(input, "story", 0);

    if (name.empty()) return ToolResult::Fail("Library part name is required");

    API_LibPart libPart;
    BNClear(libPart);
    const GS::UniString uName(name.c_str(), CC_Default);
    const GS::UStrHolder uText = uName.ToUStr();  // keeps the UTF-16 text alive
    // A name that does not fit the record's field cannot name a loaded part.
    constexpr size_t fieldLength = sizeof(libPart.docu_UName) / sizeof(libPart.docu_UName[0]);
    if (GS::ucslen(uText.Get()) >= fieldLength) return ToolResult::Fail("Library part not found: " + name);
    GS::ucscpy(libPart.docu_UName, uText.Get());

    // Only parts that exist and can be placed: never a stand-in for a missing part.
    const GSErrCode found = ACAPI_LibPart_Search(&libPart, false, true);
    ReleaseLocation(libPart);
    if (found != NoError) return ToolResult::Fail("Library part not found: " + name);

    std::string guidText;
    return UndoableCommand(
        "Quillmere: Place Object", "PlaceObject",
        [&]() -> GSErrCode {
            API_Element element = BlankElement(API_ObjectID);
            MemoHolder memo;
            GSErrCode code = ACAPI_Element_GetDefaults(&element, memo.Get());
            if (code != NoError) return code;
            element.object.libInd = libPart.index;
            element.object.pos = {x, y};
            element.object.level = z;
            element.object.angle = rotation * kDegreesToRadians;
            element.header.floorInd = StoryBits(story);
            if (memo->params != nullptr) BMKillHandle(reinterpret_cast<GSHandle*>(&memo->params));

            double a = 0.0;
            double b = 0.0;
            Int32 addParNum = 0;
            API_AddParType** addPars = nullptr;
            if (ACAPI_LibPart_GetParams(libPart.index, &a, &b, &addParNum, &addPars) == NoError) {
                element.object.xRatio = a;
                element.object.yRatio = b;
                memo->params = addPars;
            }

            code = ACAPI_Element_Create(&element, memo.Get());
            if (code == NoError) guidText = GuidToStr(element.header.guid);
            return code;
        },
        [&] { return ToolResult::Ok(guidText, "Object placed: " + name); });
}

}  // namespace

void RegisterObjectTools(ToolRegistry& registry)
{
    Tool(registry, "search_library_parts",
         "Search the loaded library parts by name substring. Returns matching part names and indices for use with "
         "place_object.")
        .String("pattern", "Substring to search for in library part names (case-insensitive)")
        .Required({"pattern"})
        .Handler(SearchLibraryParts);

    Tool(registry, "place_object",
         "Place a library part (furniture, fixture, etc.) by name. Use search_library_parts first to find the exact "
         "name.")
        .String("name", "Library part name (exact match from search_library_parts)")
        .Number("x", "Placement X position (metres)")
        .Number("y", "Placement Y position (metres)")
        .Number("z", "Vertical offset above story level (metres, default 0)")
        .Number("rotation", "Rotation angle in degrees (default 0)")
        .Integer("story", "Story index (default 0)")
        .Required({"name", "x", "y"})
        .Handler(PlaceObject);
}
