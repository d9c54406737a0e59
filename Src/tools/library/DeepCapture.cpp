// capture_element_detail and the record frame of the deep capture: the common keys, the type
// word, the memo fetched once for the type's writer, then properties and classifications.
#include "tools/library/DeepCapture.hpp"

#include <cstring>

#include "core/ElementFunctions.hpp"
#include "tools/ToolKit.hpp"
#include "tools/library/DeepCaptureWriters.hpp"
#include "tools/library/TemplateTools.hpp"

using namespace DeepCaptureData;

namespace {

std::string Narrow(const GS::UniString& text) { return text.ToCStr(0, MaxUSize, CC_Default).Get(); }

const char* TypeWord(API_ElemTypeID type)
{
    switch (type) {
    case API_WallID: return "wall";
    case API_ColumnID: return "column";
    case API_BeamID: return "beam";
    case API_WindowID: return "window";
    case API_DoorID: return "door";
    case API_ObjectID: return "object";
    case API_SlabID: return "slab";
    case API_RoofID: return "roof";
    case API_DimensionID: return "dimension";
    case API_TextID: return "text";
    case API_ZoneID: return "zone";
    case API_HatchID: return "fill";
    case API_LineID: return "line";
    case API_PolyLineID: return "polyline";
    case API_ArcID: return "arc";
    case API_SplineID: return "spline";
    case API_HotspotID: return "hotspot";
    default: return "unknown";
    }
}

// The type's "data", or null for a type without a writer.
json TypeData(const API_Element& element, const API_ElementMemo& memo, AttrTracker& tracker, BBox& box)
{
    switch (element.header.type.typeID) {
    case API_WallID: return CaptureWall(element, memo, tracker, box);
    case API_ColumnID: return CaptureColumn(element, memo, tracker, box);
    case API_BeamID: return CaptureBeam(element, memo, tracker, box);
    case API_SlabID: return CaptureSlab(element, memo, tracker, box);
    case API_RoofID: return CaptureRoof(element, memo, tracker, box);
    case API_WindowID:
    case API_DoorID: return CaptureDoorWindow(element, tracker);
    case API_ObjectID: return CaptureObject(element, tracker, box);
    case API_ZoneID: return CaptureZone(element, memo, tracker, box);
    case API_LineID: return CaptureLine(element, tracker, box);
    case API_ArcID: return CaptureArc(element, tracker, box);
    case API_TextID: return CaptureText(element, memo, tracker, box);
    case API_PolyLineID: return CapturePolyline(element, memo, tracker, box);
    case API_HatchID: return CaptureFill(element, memo, tracker, box);
    case API_SplineID: return CaptureSpline(element, memo, tracker, box);
    case API_HotspotID: return CaptureHotspot(element, tracker, box);
    case API_DimensionID: return CaptureDimension(element, memo, tracker, box);
    default: return nullptr;
    }
}

json PropertyEntry(const API_Property& property, const GS::UniString& groupName)
{
    json entry = {{"name", Narrow(property.definition.name)}, {"group", Narrow(groupName)}};
    const API_Variant& value = property.value.singleVariant.variant;
    switch (value.type) {
    case API_PropertyIntegerValueType:
        entry["value"] = value.intValue;
        entry["type"] = "integer";
        break;
    case API_PropertyRealValueType:
        entry["value"] = value.doubleValue;
        entry["type"] = "real";
        break;
    case API_PropertyStringValueType:
        entry["value"] = Narrow(value.uniStringValue);
        entry["type"] = "string";
        break;
    case API_PropertyBooleanValueType:
        entry["value"] = value.boolValue;
        entry["type"] = "boolean";
        break;
    default: entry["type"] = "unsupported"; break;
    }
    if (property.isDefault) entry["is_default"] = true;
    return entry;
}

json Properties(const API_Guid& element)
{
    json entries = json::array();
    GS::Array<API_PropertyGroup> groups;
    if (ACAPI_Property_GetPropertyGroups(groups) != NoError) return entries;
    for (const API_PropertyGroup& group : groups) {
        GS::Array<API_PropertyDefinition> definitions;
        if (ACAPI_Property_GetPropertyDefinitions(group.guid, definitions) != NoError) continue;
        for (const API_PropertyDefinition& definition : definitions) {
            API_Property property;
            if (ACAPI_Element_GetPropertyValue(element, definition.guid, property) != NoError) continue;
            entries.push_back(PropertyEntry(property, group.name));
        }
    }
    return entries;
}

json Classifications(const API_Guid& element)
{
    json entries = json::array();
    GS::Array<GS::Pair<API_Guid, API_Guid>> pairs;
    if (ACAPI_Element_GetClassificationItems(element, pairs) != NoError) return entries;
    for (const auto& pair : pairs) {
        API_ClassificationItem item;
        item.guid = pair.second;
        if (ACAPI_Classification_GetClassificationItem(item) != NoError) continue;
        entries.push_back({{"system_guid", GuidToStr(pair.first)},
                           {"item_guid", GuidToStr(pair.second)},
                           {"id", Narrow(item.id)},
                           {"name", Narrow(item.name)}});
    }
    return entries;
}

ToolResult CaptureElementDetail(const json& input)
{
    const std::string guidText = StringInput(input, "element_guid");
    if (guidText.empty()) return ToolResult::Fail("element_guid is required");
    const bool includeProperties = BoolInput(input, "include_properties", true);

    API_Element element;
    BNClear(element);
    element.header.guid = ParseGuid(guidText);
    if (ACAPI_Element_Get(&element, 0) != NoError) return ToolResult::Fail("Element not found: " + guidText);

    AttrTracker tracker;
    BBox box;
    return ToolResult::Ok("", DeepCaptureElement(element, tracker, box, includeProperties).dump());
}

}  // namespace

void AttrTracker::Add(API_AttrTypeID type, Int32 index)
{
    if (index <= 0) return;
    switch (type) {
    case API_LayerID: layers.insert(index); break;
    case API_LinetypeID: lineTypes.insert(index); break;
    case API_FilltypeID: fillTypes.insert(index); break;
    case API_CompWallID: composites.insert(index); break;
    case API_MaterialID: surfaces.insert(index); break;
    case API_BuildingMaterialID: buildingMaterials.insert(index); break;
    default: break;
    }
}

void AttrTracker::AddPen(Int16 pen)
{
    if (pen > 0) pens.insert(pen);
}

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
    USize length = 0;
    while (length < 256 && part.docu_UName[length] != 0) ++length;
    return Narrow(GS::UniString(part.docu_UName, length));
}

json ExtractPolygon(const API_ElementMemo& memo, const API_Polygon& poly)
{
    json contours = json::array();
    if (memo.coords == nullptr || memo.pends == nullptr) return contours;
    const size_t ends = HandleEntries(memo.pends);     // entry 0 is not a contour end
    const size_t coords = HandleEntries(memo.coords);  // entry 0 is not a vertex
    if (ends < 2 || coords < 2) return contours;
    const Int32 lastCoord = static_cast<Int32>(coords - 1);
    const size_t count = static_cast<size_t>(poly.nSubPolys > 1 ? poly.nSubPolys : 1);
    Int32 prev = 0;
    for (size_t j = 1; j <= count && j < ends; ++j) {
        const Int32 end = std::min((*memo.pends)[j], lastCoord);
        if (end <= prev) continue;  // a contour that does not advance holds nothing to read
        json contour = json::array();
        for (Int32 i = prev + 1; i <= end; ++i) contour.push_back({(*memo.coords)[i].x, (*memo.coords)[i].y});
        contours.push_back(std::move(contour));
        prev = end;
    }
    return contours;
}

json DeepCaptureElement(const API_Element& element, AttrTracker& tracker, BBox& box, bool includeProperties)
{
    const API_Elem_Head& header = element.header;
    json record = json::object();
    record["guid"] = GuidToStr(header.guid);
    record["story"] = header.floorInd;
    record["layer_index"] = header.layer;
    record["layer_name"] = ResolveAttrName(API_LayerID, header.layer);
    tracker.Add(API_LayerID, header.layer);
    record["renovation_status"] = header.renovationStatus;
    if (header.groupGuid != APINULLGuid) record["group_guid"] = GuidToStr(header.groupGuid);
    record["type"] = TypeWord(header.type.typeID);

    // One fetch for every type; a failed fetch leaves the memo empty, and whatever the host
    // put into it before failing is released all the same.
    MemoHolder memo;
    ACAPI_Element_GetMemo(header.guid, memo.Get(), APIMemoMask_All);
    json data = TypeData(element, *memo, tracker, box);
    if (!data.is_null()) record["data"] = std::move(data);

    if (includeProperties) {
        json properties = Properties(header.guid);
        if (!properties.empty()) record["properties"] = std::move(properties);
        json classifications = Classifications(header.guid);
        if (!classifications.empty()) record["classifications"] = std::move(classifications);
    }
    return record;
}

void RegisterCaptureElementDetail(ToolRegistry& registry)
{
    Tool(registry, "capture_element_detail",
         "Deep-capture a single element by GUID. Returns full JSON inline with all geometry, attributes, materials, "
         "polygon data, and optionally properties and classifications. Use for debugging or inspecting one element.")
        .String("element_guid", "GUID of the element to deep-capture")
        .Boolean("include_properties", "Include user-defined properties and classifications (default true)")
        .Required({"element_guid"})
        .Handler(CaptureElementDetail);
}
