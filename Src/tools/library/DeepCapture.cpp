// capture_element_detail and the record frame of the deep capture: the common keys, the type
// word, the memo fetched once for the type's writer, then properties and classifications.
#include "tools/library/DeepCapture.hpp"

#include <cstring>

#include "core/ElementFunctions.hpp"
#include "tools/PropertyReading.hpp"
#include "tools/ToolKit.hpp"
#include "tools/TypeWords.hpp"
#include "tools/library/DeepCaptureWriters.hpp"
#include "tools/library/TemplateTools.hpp"

using namespace DeepCaptureData;

namespace {

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
    return DataResult(DeepCaptureElement(element, tracker, box, includeProperties));
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

json ExtractPolygon(const API_ElementMemo& memo, const API_Polygon& poly)
{
    json contours = json::array();
    ForEachContour(memo, poly, [&](const API_Coord* first, size_t count) {
        json contour = json::array();
        for (size_t i = 0; i < count; ++i) contour.push_back({first[i].x, first[i].y});
        contours.push_back(std::move(contour));
    });
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
        json properties = ElementProperties(header.guid);
        if (!properties.empty()) record["properties"] = std::move(properties);
        json classifications = ElementClassifications(header.guid);
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
