// Query tools: the project at a glance, elements listed and found by filters, and the details
// of chosen elements. They read and never change anything.
#include <cmath>
#include <map>

#include "ACAPinc.h"

#include "core/ElementFunctions.hpp"
#include "tools/ElementNames.hpp"
#include "tools/HostText.hpp"
#include "tools/StorySettings.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"
#include "tools/TypeWords.hpp"
#include "tools/inspection/ElementQuery.hpp"
#include "tools/inspection/ElementSummary.hpp"

namespace {

constexpr size_t kMaxDetailElements = 100;
// Escaped bytes of one GUID text in the lists beside the details (36 characters, quotes, comma).
constexpr size_t kGuidListEntryBytes = 48;

std::string ProjectText(GS::UniString* text)
{
    std::string out = text != nullptr ? text->ToCStr(0, MaxUSize, CC_Default).Get() : std::string();
    delete text;
    return out;
}

ToolResult GetProjectInfo(const json&)
{
    json result = json::object();
    API_ProjectInfo info;
    BNClear(info);
    if (GSErrCode err = ACAPI_Environment(APIEnv_ProjectID, &info)) return HostFailure("GetProjectInfo error: ", err);
    result["untitled"] = info.untitled;
    result["name"] = ProjectText(info.projectName);
    result["file"] = ProjectText(info.projectPath);
    delete info.location;
    result["length_unit"] = "m";

    StorySettings settings;
    if (GSErrCode err = settings.Read()) return HostFailure("GetStorySettings error: ", err);
    result["current_story"] = settings.Info().actStory;
    json stories = json::array();
    if (settings.HoldsEveryStory())
        for (Int32 i = settings.Info().firstStory; i <= settings.Info().lastStory; ++i)
            stories.push_back({{"index", i},
                               {"name", StoryNameOf(settings.Record(Int16(i)))},
                               {"level", settings.Record(Int16(i)).level}});
    result["stories"] = stories;
    settings.Release();

    ElementReader reader;
    BBox box;
    std::map<Int16, size_t> perStory;
    json perType = json::object();
    size_t total = 0;
    API_Element element;
    BNClear(element);
    for (API_ElemTypeID type : WordedTypes()) {
        GS::Array<API_Guid> guids;
        if (GSErrCode err = ACAPI_Element_GetElemList(type, &guids)) return HostFailure("GetElemList error: ", err);
        if (guids.GetSize() == 0) continue;
        perType[TypeWord(type)] = guids.GetSize();
        total += guids.GetSize();
        for (const API_Guid& guid : guids) {
            element.header.guid = guid;
            if (ACAPI_Element_Get(&element, 0) != NoError) continue;
            ++perStory[element.header.floorInd];
            const BBox extent = reader.Shape(element).extent;
            if (extent.empty) continue;
            box.Extend(extent.min_x, extent.min_y);
            box.Extend(extent.max_x, extent.max_y);
        }
    }
    json storyCounts = json::object();
    for (const auto& entry : perStory) storyCounts[std::to_string(entry.first)] = entry.second;
    result["element_count"] = total;
    result["elements_per_type"] = perType;
    result["elements_per_story"] = storyCounts;
    result["bounding_box"] = box.ToJson();
    return DataResult(result);
}

ToolResult ListElements(const json& input)
{
    ElementQuery query;
    if (std::optional<std::string> error = ReadQuery(input, false, query)) return ToolResult::Fail(*error);
    return RunQuery(query);
}

ToolResult FindElements(const json& input)
{
    ElementQuery query;
    if (std::optional<std::string> error = ReadQuery(input, true, query)) return ToolResult::Fail(*error);
    return RunQuery(query);
}

// The first segment of a column's or beam's memo, when the memo holds a whole one.
template <typename Segment>
const Segment* FirstSegment(const Segment* segments)
{
    if (segments == nullptr) return nullptr;
    if (static_cast<size_t>(BMGetPtrSize(reinterpret_cast<GSConstPtr>(segments))) < sizeof(Segment)) return nullptr;
    return segments;
}

void Structure(json& details, Int32 structure, Int32 buildingMaterial, Int32 composite)
{
    details["structure"] = StructureWord(structure);
    if (structure == API_BasicStructure)
        details["building_material"] = ResolveAttrName(API_BuildingMaterialID, buildingMaterial);
    if (structure == API_CompositeStructure) details["composite"] = ResolveAttrName(API_CompWallID, composite);
}

void Opening(json& details, const API_OpeningBaseType& base, double sill)
{
    details["width"] = base.width;
    details["height"] = base.height;
    details["sill"] = sill;
    details["material"] = ResolveAttrName(API_MaterialID, base.mat);
}

// The parameters a user talks about, beside the summary.
json Details(const API_Element& element)
{
    json details = json::object();
    switch (element.header.type.typeID) {
    case API_WallID: {
        const API_WallType& wall = element.wall;
        details["thickness"] = wall.thickness;
        details["height"] = wall.height;
        details["length"] = std::hypot(wall.endC.x - wall.begC.x, wall.endC.y - wall.begC.y);
        details["wall_type"] = WallTypeWord(wall.type);
        Structure(details, wall.modelElemStructureType, wall.buildingMaterial, wall.composite);
        break;
    }
    case API_SlabID:
        details["thickness"] = element.slab.thickness;
        details["level"] = element.slab.level;
        Structure(details, element.slab.modelElemStructureType, element.slab.buildingMaterial, element.slab.composite);
        break;
    case API_RoofID:
        details["thickness"] = element.roof.thickness;
        details["level"] = element.roof.level;
        Structure(details, element.roof.modelElemStructureType, element.roof.buildingMaterial, element.roof.composite);
        break;
    case API_ColumnID:
    case API_BeamID: {
        const bool column = element.header.type.typeID == API_ColumnID;
        if (column) details["height"] = element.column.height;
        MemoHolder memo;
        if (ACAPI_Element_GetMemo(element.header.guid, memo.Get(),
                                  column ? APIMemoMask_ColumnSegment : APIMemoMask_BeamSegment) != NoError)
            break;
        if (column) {
            if (const API_ColumnSegmentType* segment = FirstSegment(memo->columnSegments)) {
                details["width"] = segment->nominalWidth;
                details["depth"] = segment->nominalHeight;
                details["building_material"] = ResolveAttrName(API_BuildingMaterialID, segment->buildingMaterial);
            }
        } else if (const API_BeamSegmentType* segment = FirstSegment(memo->beamSegments)) {
            details["width"] = segment->nominalWidth;
            details["height"] = segment->nominalHeight;
            details["building_material"] = ResolveAttrName(API_BuildingMaterialID, segment->buildingMaterial);
        }
        break;
    }
    case API_WindowID: Opening(details, element.window.openingBase, element.window.lower); break;
    case API_DoorID: Opening(details, element.door.openingBase, element.door.lower); break;
    case API_ObjectID:
        details["size_x"] = element.object.xRatio;
        details["size_y"] = element.object.yRatio;
        details["material"] = ResolveAttrName(API_MaterialID, element.object.mat);
        break;
    case API_ZoneID:
        details["height"] = element.zone.roomHeight;
        details["material"] = ResolveAttrName(API_MaterialID, element.zone.material);
        break;
    default: break;
    }
    return details;
}

ToolResult GetElementDetails(const json& input)
{
    const std::vector<std::string> texts = input.value("element_guids", std::vector<std::string>());
    if (texts.empty()) return ToolResult::Fail("element_guids is required");
    if (texts.size() > kMaxDetailElements) return ToolResult::Fail("At most 100 element_guids per call");
    for (const std::string& text : texts)
        if (ParseGuid(text) == APINULLGuid) return ToolResult::Fail("Element not found: " + text);

    ElementReader reader;
    // The details end before the cap, leaving room for the GUID lists: the answer is never cut.
    PageBuilder page(kMaxDetailElements, kMaxDetailElements * kGuidListEntryBytes);
    json notFound = json::array();
    json leftOut = json::array();
    for (const std::string& text : texts) {
        API_Element element;
        BNClear(element);
        element.header.guid = ParseGuid(text);
        std::optional<json> summary;
        if (ACAPI_Element_Get(&element, 0) != NoError || !(summary = reader.Summary(element))) {
            notFound.push_back(text);
            continue;
        }
        (*summary)["details"] = Details(element);
        if (!page.Add(std::move(*summary))) leftOut.push_back(text);
    }
    json result = {{"elements", page.TakeElements()}, {"not_found", notFound}};
    if (!leftOut.empty()) result["left_out"] = leftOut;
    return DataResult(result);
}

}  // namespace

void RegisterQueryTools(ToolRegistry& registry)
{
    Tool(registry, "get_project_info",
         "Get the project's name and file, length unit, current story, the stories (index, name, level), element "
         "counts per type and per story, and the bounding box of all elements.")
        .Handler(GetProjectInfo);

    Tool(registry, "list_elements",
         "List the project's elements as compact summaries (GUID, type, story, layer, position, and the worksheet of "
         "drafting drawn in one), filtered by type, story and layer, a page at a time. Use next_offset to read the "
         "next page.")
        .With(ListFilterProperties)
        .With(PagingProperties)
        .Handler(ListElements);

    Tool(registry, "get_element_details",
         "Get the summary and main parameters (sizes, heights, types, materials, library part, host wall) of up to "
         "100 elements by GUID. Unknown GUIDs are listed under not_found; those whose details did not fit in one "
         "answer are listed under left_out, to be asked for again.")
        .Array("element_guids", "GUIDs of the elements (at most 100)", {{"type", "string"}})
        .Required({"element_guids"})
        .Handler(GetElementDetails);

    Tool(registry, "find_elements",
         "Find elements by type, story, layer, location box, text, length or area range and property value; all "
         "given filters must hold. Returns compact summaries a page at a time, like list_elements.")
        .With(ListFilterProperties)
        .With(FindFilterProperties)
        .With(PagingProperties)
        .Handler(FindElements);
}
