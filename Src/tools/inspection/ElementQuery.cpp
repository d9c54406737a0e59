// Reading element filters and running them: one pass over the element list of each asked
// type, one record read per element (none when only types are asked for), the memo only for
// the elements whose place a filter needs and that live in their memo.
#include "tools/inspection/ElementQuery.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/AsciiText.hpp"
#include "tools/HostText.hpp"
#include "tools/PropertyReading.hpp"
#include "tools/StorySettings.hpp"
#include "tools/ToolKit.hpp"
#include "tools/TypeWords.hpp"
#include "tools/inspection/ElementSummary.hpp"

namespace {

bool Contains(const std::string& haystack, const std::string& lowerNeedle)
{
    if (lowerNeedle.size() > haystack.size()) return false;
    return std::search(haystack.begin(), haystack.end(), lowerNeedle.begin(), lowerNeedle.end(),
                       [](char a, char b) { return LowerAscii(a) == b; }) != haystack.end();
}

std::optional<std::string> ReadTypes(const json& input, ElementQuery& query)
{
    if (!HasInput(input, "types")) {
        query.types = WordedTypes();
        return std::nullopt;
    }
    for (const json& word : input.at("types").get<std::vector<json>>()) {
        const std::string text = word.get<std::string>();
        const std::optional<API_ElemTypeID> type = TypeOfWord(text);
        if (!type) return "Unknown element type: " + text + " (valid types: " + TypeWordList() + ")";
        if (std::find(query.types.begin(), query.types.end(), *type) == query.types.end()) query.types.push_back(*type);
    }
    if (query.types.empty()) query.types = WordedTypes();
    return std::nullopt;
}

std::optional<std::string> ReadRange(const json& input, const char* minKey, const char* maxKey,
                                     std::optional<double>& min, std::optional<double>& max)
{
    min = OptionalNumber(input, minKey);
    max = OptionalNumber(input, maxKey);
    if ((min && !std::isfinite(*min)) || (max && !std::isfinite(*max)))
        return std::string(minKey) + " and " + maxKey + " must be finite numbers";
    if (min && max && *min > *max) return std::string(minKey) + " is above " + maxKey;
    return std::nullopt;
}

std::optional<std::string> ReadWithin(const json& input, ElementQuery& query)
{
    if (!HasInput(input, "within")) return std::nullopt;
    const std::vector<double> box = input.at("within").get<std::vector<double>>();
    if (box.size() != 4) return std::string("within must be [min_x, min_y, max_x, max_y]");
    for (double v : box)
        if (!std::isfinite(v)) return std::string("within must hold finite numbers");
    if (box[0] > box[2] || box[1] > box[3]) return std::string("within has a minimum above its maximum");
    query.within = std::array<double, 4>{box[0], box[1], box[2], box[3]};
    return std::nullopt;
}

// The property filter's definition text and value, resolved with the host once every key is read.
struct PropertyFilter {
    std::string definition;
    json equals;
};

std::optional<std::string> ReadProperty(const json& input, std::optional<PropertyFilter>& filter)
{
    if (!HasInput(input, "property")) return std::nullopt;
    const json& property = input.at("property");
    filter = PropertyFilter{property.at("definition").get<std::string>(), property.value("equals", json())};
    if (filter->equals.is_structured() || filter->equals.is_null())
        return std::string("property.equals must be a string, number or boolean");
    return std::nullopt;
}

std::optional<std::string> CheckStory(Int16 story)
{
    StorySettings settings;
    if (GSErrCode err = settings.Read()) return "GetStorySettings error: " + std::to_string(err);
    const API_StoryInfo& info = settings.Info();
    if (story < info.firstStory || story > info.lastStory)
        return "Unknown story: " + std::to_string(story) + " (stories " + std::to_string(info.firstStory) + " to " +
               std::to_string(info.lastStory) + ")";
    return std::nullopt;
}

std::optional<std::string> FindLayer(const std::string& text, Int32& index)
{
    API_Attribute layer;
    BNClear(layer);
    layer.header.typeID = API_LayerID;
    const bool digits = !text.empty() && text.size() < 10 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits)
        layer.header.index = std::stoi(text);
    else
        std::strncpy(layer.header.name, text.c_str(), sizeof layer.header.name - 1);
    if (text.empty() || ACAPI_Attribute_Get(&layer) != NoError) return "Unknown layer: " + text;
    index = layer.header.index;
    return std::nullopt;
}

bool Touches(const BBox& extent, const std::array<double, 4>& box)
{
    return !extent.empty && extent.min_x <= box[2] && extent.max_x >= box[0] && extent.min_y <= box[3] &&
           extent.max_y >= box[1];
}

bool InRange(double value, const std::optional<double>& min, const std::optional<double>& max)
{
    if (!min && !max) return true;
    if (value < 0.0) return false;  // the measure does not apply to this element
    return (!min || value >= *min) && (!max || value <= *max);
}

// One call's matching: cheap tests on the record first, then the shape when a test needs it.
class Matcher {
public:
    Matcher(const ElementQuery& query, ElementReader& reader) : q_(query), reader_(reader) {}

    bool NeedsRecord() const
    {
        return q_.story || q_.layer || q_.within || !q_.text.empty() || q_.minLength || q_.maxLength || q_.minArea ||
               q_.maxArea || q_.propertyDefinition;
    }

    // The shape when it was read (for the summary), else nothing.
    bool Matches(const API_Element& element, std::optional<ElementShape>& shape)
    {
        const API_Elem_Head& header = element.header;
        if (q_.story && header.floorInd != *q_.story) return false;
        if (q_.layer && header.layer != *q_.layer) return false;
        // A story means its floor plan: drafting drawn in a worksheet is on none.
        if (q_.story && !OnFloorPlan(element)) return false;
        if (!q_.text.empty() && header.type.typeID != API_TextID && !TextInRecord(element)) return false;
        if (q_.propertyDefinition && !PropertyEquals(header.guid)) return false;
        if (q_.within || q_.minLength || q_.maxLength || q_.minArea || q_.maxArea ||
            (!q_.text.empty() && header.type.typeID == API_TextID)) {
            shape = reader_.Shape(element);
            if (q_.within && !Touches(shape->extent, *q_.within)) return false;
            if (!InRange(shape->length, q_.minLength, q_.maxLength)) return false;
            if (!InRange(shape->area, q_.minArea, q_.maxArea)) return false;
            if (header.type.typeID == API_TextID && !q_.text.empty() && !Contains(shape->text, q_.text)) return false;
        }
        return true;
    }

private:
    bool OnFloorPlan(const API_Element& element)
    {
        const std::optional<DrawnIn> drawnIn = reader_.Database(element);
        return drawnIn && drawnIn->type == APIWind_FloorPlanID;
    }

    bool TextInRecord(const API_Element& element)
    {
        if (element.header.type.typeID == API_ZoneID) {
            if (Contains(ZoneName(element.zone), q_.text)) return true;
            return Contains(FieldNameText(element.zone.roomNoStr), q_.text);
        }
        const Int32 part = LibraryPartOf(element);
        return part > 0 && Contains(reader_.LibraryPartName(part), q_.text);
    }

    bool PropertyEquals(const API_Guid& element)
    {
        API_Property property;
        if (ACAPI_Element_GetPropertyValue(element, *q_.propertyDefinition, property) != NoError) return false;
        return SameVariant(property.value.singleVariant.variant, q_.propertyEquals);
    }

    const ElementQuery& q_;
    ElementReader& reader_;
};

}  // namespace

void ListFilterProperties(Tool& tool)
{
    tool.Array("types", "Element type words to include (default: all): " + TypeWordList(), {{"type", "string"}})
        .Integer("story", "Only elements on this story's floor plan, by index (default: every story and worksheet)")
        .String("layer", "Only elements on this layer, by name or index (default: every layer)");
}

void FindFilterProperties(Tool& tool)
{
    tool.Array("within", "Box [min_x, min_y, max_x, max_y] in metres; elements whose extent touches it",
               {{"type", "number"}})
        .String("text", "Case-insensitive text in zone names and numbers, library part names and text contents")
        .Number("min_length", "Minimum length in metres (walls, beams, lines, polylines)")
        .Number("max_length", "Maximum length in metres (walls, beams, lines, polylines)")
        .Number("min_area", "Minimum area in square metres (slabs, roofs, zones, fills)")
        .Number("max_area", "Maximum area in square metres (slabs, roofs, zones, fills)")
        .Property("property", "object",
                  "Only elements whose property value equals: {definition: GUID or \"Group/Name\", equals: value}",
                  {{"properties",
                    {{"definition", {{"type", "string"}, {"description", "Definition GUID or \"Group/Name\""}}},
                     {"equals", {{"type", "string"}, {"description", "The value to match, as text"}}}}},
                   {"required", {"definition", "equals"}}});
}

void PagingProperties(Tool& tool)
{
    tool.Integer("offset", "Index of the first match to return (default 0)")
        .Integer("limit", "Most summaries to return, 1 to 1000 (default 100)");
}

std::optional<std::string> ReadQuery(const json& input, bool withFind, ElementQuery& query)
{
    // Every key first: a wrongly typed one fails before anything else is looked at.
    const std::optional<int> story = OptionalInt(input, "story");
    const std::optional<std::string> layer =
        HasInput(input, "layer") ? std::optional<std::string>(StringInput(input, "layer")) : std::nullopt;
    const int offset = IntInput(input, "offset", 0);
    const int limit = IntInput(input, "limit", 100);
    std::optional<std::string> error = ReadTypes(input, query);
    std::optional<PropertyFilter> property;
    if (withFind) {
        query.text = LowerAscii(StringInput(input, "text"));
        if (!error) error = ReadWithin(input, query);
        if (!error) error = ReadRange(input, "min_length", "max_length", query.minLength, query.maxLength);
        if (!error) error = ReadRange(input, "min_area", "max_area", query.minArea, query.maxArea);
        if (!error) error = ReadProperty(input, property);
    }
    if (error) return error;
    if (offset < 0) return std::string("offset must be 0 or more");
    if (limit < 1 || limit > int(kMaxPageSummaries)) return std::string("limit must be between 1 and 1000");
    query.offset = size_t(offset);
    query.limit = size_t(limit);

    if (story) {
        if (*story < -32768 || *story > 32767) return "Unknown story: " + std::to_string(*story);
        if ((error = CheckStory(Int16(*story)))) return error;
        query.story = Int16(*story);
    }
    if (layer) {
        Int32 index = 0;
        if ((error = FindLayer(*layer, index))) return error;
        query.layer = index;
    }
    if (property) {
        API_PropertyDefinition found;
        if ((error = FindPropertyDefinition(property->definition, found))) return error;
        if (std::optional<std::string> refused =
                VariantFromInput(property->equals, found.valueType, query.propertyEquals))
            return "property.equals " + *refused;
        query.propertyDefinition = found.guid;
    }
    return std::nullopt;
}

bool PageBuilder::Add(json summary)
{
    if (full_) return false;
    // Measured as the model receives it, a name that is not UTF-8 with its bad bytes replaced;
    // one more byte for its comma.
    if (elements_.size() >= limit_ || !room_.TakeText(CompactJson(summary), 1)) {
        full_ = true;
        return false;
    }
    elements_.push_back(std::move(summary));
    return true;
}

std::optional<std::string> ExistingElements(const std::vector<std::string>& texts, GS::Array<API_Guid>& guids)
{
    API_Element element;
    BNClear(element);
    for (const std::string& text : texts) {
        element.header.guid = ParseGuid(text);
        if (element.header.guid == APINULLGuid || ACAPI_Element_Get(&element, 0) != NoError)
            return "Element not found: " + text;
        guids.Push(element.header.guid);
    }
    return std::nullopt;
}

json PageBuilder::Result(size_t total, size_t offset)
{
    const size_t count = elements_.size();
    json result = {{"total", total}, {"offset", offset}, {"count", count}};
    result["next_offset"] = offset + count < total ? json(offset + count) : json(nullptr);
    result["elements"] = TakeElements();
    return result;
}

ToolResult RunQuery(const ElementQuery& query)
{
    ElementReader reader;
    Matcher matcher(query, reader);
    PageBuilder page(query.limit);
    size_t total = 0;
    API_Element element;
    BNClear(element);  // once: each read replaces the whole record
    for (API_ElemTypeID type : query.types) {
        GS::Array<API_Guid> guids;
        if (GSErrCode err = ACAPI_Element_GetElemList(type, &guids)) return HostFailure("GetElemList error: ", err);
        if (!matcher.NeedsRecord()) {
            // Only the page's elements are read: the rest are counted from the list.
            for (USize i = 0; i < guids.GetSize(); ++i, ++total) {
                if (total < query.offset || page.Full()) continue;
                element.header.guid = guids[i];
                if (ACAPI_Element_Get(&element, 0) != NoError) continue;
                if (std::optional<json> summary = reader.Summary(element)) page.Add(std::move(*summary));
            }
            continue;
        }
        for (const API_Guid& guid : guids) {
            element.header.guid = guid;
            if (ACAPI_Element_Get(&element, 0) != NoError) continue;
            std::optional<ElementShape> shape;
            if (!matcher.Matches(element, shape)) continue;
            if (total++ < query.offset || page.Full()) continue;
            if (std::optional<json> summary = shape ? reader.Summary(element, *shape) : reader.Summary(element))
                page.Add(std::move(*summary));
        }
    }
    return DataResult(page.Result(total, query.offset));
}
