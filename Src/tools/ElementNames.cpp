// Element names and words, read from the project or given by type.
#include "tools/ElementNames.hpp"

#include <cstring>

#include "tools/HostText.hpp"
#include "tools/ToolKit.hpp"

std::string ResolveAttrName(API_AttrTypeID type, int index)
{
    if (index <= 0) return std::string();
    API_Attribute attribute;
    BNClear(attribute);
    attribute.header.typeID = type;
    attribute.header.index = index;
    if (ACAPI_Attribute_Get(&attribute) != NoError) return "(index:" + std::to_string(index) + ")";
    return std::string(attribute.header.name, strnlen(attribute.header.name, sizeof attribute.header.name));
}

std::string ResolveLibPartName(int libInd)
{
    if (libInd <= 0) return std::string();
    API_LibPart part;
    BNClear(part);
    part.index = libInd;
    const GSErrCode read = ACAPI_LibPart_Get(&part);
    ReleaseLocation(part);
    if (read != NoError) return "(libInd:" + std::to_string(libInd) + ")";
    return FieldNameText(part.docu_UName);
}

const char* StructureWord(Int32 structure)
{
    switch (structure) {
    case 0: return "basic";
    case 1: return "composite";
    case 2: return "profiled";
    default: return "unknown";
    }
}

const char* WallTypeWord(Int32 type)
{
    switch (type) {
    case 0: return "normal";
    case 1: return "trapezoid";
    case 2: return "polygonal";
    default: return "unknown";
    }
}
