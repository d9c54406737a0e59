// Attribute tools: the project's layers, pens, line types, fill types, materials and
// composites. Only moving an element to another layer is an undo step; creating a layer,
// showing or hiding one and recolouring a pen change the attribute tables directly.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "ACAPinc.h"

#include "core/Utf8Cut.hpp"
#include "tools/CappedList.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/ToolKit.hpp"

namespace {

constexpr std::size_t kNameBytes = sizeof(API_Attr_Head::name) - 1;

API_Attribute AttributeRecord(API_AttrTypeID type, Int32 index)
{
    API_Attribute attribute;
    BNClear(attribute);
    attribute.header.typeID = type;
    attribute.header.index = index;
    return attribute;
}

// The name field is read within its width: a record the host filled to the last byte
// still ends there.
std::string NameOf(const API_Attribute& attribute)
{
    return std::string(attribute.header.name, strnlen(attribute.header.name, sizeof attribute.header.name));
}

// At most the field's 255 bytes, cut before a character that would not fit whole: a name
// split inside a UTF-8 sequence could never be listed again. Creation and lookups cut the
// same way, so a long name still finds the layer it created.
void PutName(API_Attribute& attribute, const std::string& name)
{
    const std::size_t length = Utf8CutLength(name, kNameBytes);
    std::memcpy(attribute.header.name, name.data(), length);
}

// A listing: one entry per attribute, in an insertion-ordered object whose fields each list
// gives in the order a sorted object prints them, so the text is the same as ever while an entry
// costs one allocation instead of a tree node per field. Tables run to 100,000 entries, so
// entries are built only while the answer has room for them (CappedList).
using Listing = nlohmann::ordered_json;

struct CappedListing {
    Listing entries = Listing::array();
    CappedList cap;
    std::size_t total = 0;  // entries read, listed or not
};

void PutFields(Listing::object_t&) {}

template <typename Value, typename... Rest>
void PutFields(Listing::object_t& fields, const char* key, Value&& value, Rest&&... rest)
{
    fields.emplace_back(key, std::forward<Value>(value));
    PutFields(fields, std::forward<Rest>(rest)...);
}

// Appends an entry of key, value, key, value, ... (keys in sorted order) while the listing has
// room; counts it otherwise.
template <typename... Fields>
void AddEntry(CappedListing& list, Fields&&... fields)
{
    ++list.total;
    if (!list.cap.Open()) return;
    Listing entry(Listing::value_t::object);
    Listing::object_t& object = entry.get_ref<Listing::object_t&>();
    object.reserve(sizeof...(Fields) / 2);
    PutFields(object, std::forward<Fields>(fields)...);
    if (list.cap.Take(CompactJson(entry))) list.entries.get_ref<Listing::array_t&>().push_back(std::move(entry));
}

// The listing's answer: the JSON array, and the note of what did not fit.
ToolResult Listed(const CappedListing& list, const char* things)
{
    return ToolResult::Ok("", CompactJson(list.entries) + list.cap.Note(list.total, things));
}

// Reads indices 1 to the host's count of one type and hands each readable record to add;
// indices the host cannot read are left out. Returns the count query's code.
template <typename Add>
GSErrCode ForEachAttribute(API_AttrTypeID type, Add&& add)
{
    Int32 count = 0;
    const GSErrCode err = ACAPI_Attribute_GetNum(type, &count);
    if (err != NoError) return err;
    for (Int32 i = 1; i <= count; ++i) {
        API_Attribute attribute = AttributeRecord(type, i);
        if (ACAPI_Attribute_Get(&attribute) == NoError) add(i, attribute);
    }
    return NoError;
}

// {"index", "name"} entries of one type; a failed count lists nothing.
ToolResult ListNamed(API_AttrTypeID type, const char* things)
{
    CappedListing list;
    ForEachAttribute(type,
                     [&](Int32 index, const API_Attribute& a) { AddEntry(list, "index", index, "name", NameOf(a)); });
    return Listed(list, things);
}

// ---- layers

// The layer a call names: "layer_index" decides whenever the key is there, "layer_name" only
// when it is not.
struct LayerChoice {
    bool given = false;
    bool byIndex = false;
    Int32 index = 0;
    std::string name;
};

LayerChoice ReadLayerChoice(const json& input)
{
    LayerChoice choice;
    if (HasInput(input, "layer_index")) {
        choice.given = choice.byIndex = true;
        choice.index = IntInput(input, "layer_index", 0);
    } else if (HasInput(input, "layer_name")) {
        choice.given = true;
        choice.name = StringInput(input, "layer_name");
    }
    return choice;
}

// A layer record holding only a name: what creation stores and what a lookup by name asks for.
API_Attribute NamedLayer(const std::string& name)
{
    API_Attribute layer = AttributeRecord(API_LayerID, 0);
    PutName(layer, name);
    return layer;
}

ToolResult ListLayers()
{
    CappedListing list;
    const GSErrCode err = ForEachAttribute(API_LayerID, [&](Int32 index, const API_Attribute& a) {
        AddEntry(list, "hidden", (a.header.flags & APILay_Hidden) != 0, "index", index, "locked",
                 (a.header.flags & APILay_Locked) != 0, "name", NameOf(a));
    });
    if (err != NoError) return ToolResult::Fail("ACAPI_Attribute_GetNum(Layer) error: " + std::to_string(err));
    return Listed(list, "layers");
}

ToolResult CreateLayer(const json& input)
{
    const std::string name = StringInput(input, "name");
    if (name.empty()) return ToolResult::Fail("Layer name is required");
    API_Attribute layer = NamedLayer(name);
    const GSErrCode err = ACAPI_Attribute_Create(&layer, nullptr);
    if (err != NoError) return ToolResult::Fail("CreateLayer ACAPI error: " + std::to_string(err));
    return ToolResult::Ok("", "Layer \"" + name + "\" created (index " + std::to_string(layer.header.index) + ")");
}

ToolResult SetLayerVisibility(const json& input)
{
    const bool visible = BoolInput(input, "visible", true);
    const LayerChoice choice = ReadLayerChoice(input);
    if (!choice.given) return ToolResult::Fail("Provide layer_index or layer_name");
    API_Attribute layer = choice.byIndex ? AttributeRecord(API_LayerID, choice.index) : NamedLayer(choice.name);
    const GSErrCode found = ACAPI_Attribute_Get(&layer);
    if (found != NoError) return ToolResult::Fail("Layer not found: " + std::to_string(found));
    if (visible)
        layer.header.flags = Int16(layer.header.flags & ~APILay_Hidden);
    else
        layer.header.flags = Int16(layer.header.flags | APILay_Hidden);
    const GSErrCode err = ACAPI_Attribute_Modify(&layer, nullptr);
    if (err != NoError) return ToolResult::Fail("ACAPI_Attribute_Modify error: " + std::to_string(err));
    return ToolResult::Ok("", "Layer " + NameOf(layer) + (visible ? " shown" : " hidden"));
}

ToolResult SetElementLayer(const json& input)
{
    const std::string guidText = StringInput(input, "element_guid");
    const LayerChoice choice = ReadLayerChoice(input);
    if (guidText.empty()) return ToolResult::Fail("element_guid is required");
    if (!choice.given) return ToolResult::Fail("Provide layer_index or layer_name");
    Int32 target = choice.index;
    if (!choice.byIndex) {
        API_Attribute layer = NamedLayer(choice.name);
        if (ACAPI_Attribute_Get(&layer) != NoError) return ToolResult::Fail("Layer not found: " + choice.name);
        target = layer.header.index;
    }
    API_Element element;
    BNClear(element);
    element.header.guid = ParseGuid(guidText);
    if (ACAPI_Element_Get(&element, 0) != NoError) return ToolResult::Fail("Element not found: " + guidText);
    element.header.layer = target;
    API_Element mask;
    BNClear(mask);
    ACAPI_ELEMENT_MASK_SET(mask, header, layer);
    return UndoableCommand(
        "Quillmere: Set Element Layer", "SetElementLayer",
        [&]() -> GSErrCode { return ACAPI_Element_Change(&element, &mask, nullptr, 0, true); },
        [&] { return ToolResult::Ok(guidText, "Element moved to layer " + std::to_string(target)); });
}

// ---- materials and composites

ToolResult ListMaterials()
{
    CappedListing list;
    for (const auto& [type, category] :
         {std::make_pair(API_BuildingMaterialID, "building_material"), std::make_pair(API_MaterialID, "surface")}) {
        ForEachAttribute(type, [&, category = category](Int32 index, const API_Attribute& a) {
            AddEntry(list, "category", category, "index", index, "name", NameOf(a));
        });
    }
    return Listed(list, "materials");
}

ToolResult ListComposites()
{
    CappedListing list;
    ForEachAttribute(API_CompWallID, [&](Int32 index, const API_Attribute& a) {
        AddEntry(list, "index", index, "name", NameOf(a), "total_thickness", a.compWall.totalThick);
    });
    return Listed(list, "composites");
}

// ---- pens

bool IsUnitFraction(double v) { return v >= 0.0 && v <= 1.0; }

ToolResult GetPenColor(const json& input)
{
    const int penIndex = IntInput(input, "pen_index", 1);
    API_Attribute pen = AttributeRecord(API_PenID, penIndex);
    if (ACAPI_Attribute_Get(&pen) != NoError) return ToolResult::Fail("Pen not found: " + std::to_string(penIndex));
    const json answer = {{"pen_index", penIndex},
                         {"red", pen.pen.rgb.f_red},
                         {"green", pen.pen.rgb.f_green},
                         {"blue", pen.pen.rgb.f_blue},
                         {"width", pen.pen.width}};
    return DataResult(answer);
}

ToolResult SetPenColor(const json& input)
{
    const int penIndex = IntInput(input, "pen_index", 1);
    const double red = NumberInput(input, "red", 0.0);
    const double green = NumberInput(input, "green", 0.0);
    const double blue = NumberInput(input, "blue", 0.0);
    // The description promises fractions; anything else would spoil the pen table.
    if (!IsUnitFraction(red) || !IsUnitFraction(green) || !IsUnitFraction(blue))
        return ToolResult::Fail("Colour components must be between 0.0 and 1.0");
    API_Attribute pen = AttributeRecord(API_PenID, penIndex);
    if (ACAPI_Attribute_Get(&pen) != NoError) return ToolResult::Fail("Pen not found: " + std::to_string(penIndex));
    pen.pen.rgb = {red, green, blue};
    const GSErrCode err = ACAPI_Attribute_Modify(&pen, nullptr);
    if (err != NoError) return ToolResult::Fail("SetPenColor ACAPI error: " + std::to_string(err));
    return ToolResult::Ok("", "Pen " + std::to_string(penIndex) + " colour updated");
}

}  // namespace

void RegisterAttributeTools(ToolRegistry& registry)
{
    Tool(registry, "list_layers", "List all layers in the project with name, index, visibility, and lock status.")
        .Handler([](const json&) { return ListLayers(); });
    Tool(registry, "create_layer", "Create a new layer in the project.")
        .String("name", "Layer name")
        .Required({"name"})
        .Handler(CreateLayer);
    Tool(registry, "set_layer_visibility", "Show or hide a layer by index or name.")
        .Integer("layer_index", "Layer attribute index")
        .String("layer_name", "Layer name (used if layer_index not provided)")
        .Boolean("visible", "true = show, false = hide")
        .Required({"visible"})
        .Handler(SetLayerVisibility);
    Tool(registry, "set_element_layer", "Move an element to a different layer.")
        .String("element_guid", "GUID of the element")
        .Integer("layer_index", "Target layer attribute index")
        .String("layer_name", "Target layer name (used if layer_index not provided)")
        .Required({"element_guid"})
        .Handler(SetElementLayer);
    Tool(registry, "list_materials", "List all building materials (surfaces) in the project.").Handler([](const json&) {
        return ListMaterials();
    });
    Tool(registry, "list_composites", "List composite wall and slab structures in the project.")
        .Handler([](const json&) { return ListComposites(); });
    Tool(registry, "get_pen_color", "Get the RGB colour of a pen by its index (1-255).")
        .Integer("pen_index", "Pen index (1-255)")
        .Required({"pen_index"})
        .Handler(GetPenColor);
    Tool(registry, "set_pen_color", "Set the RGB colour of a pen by its index (1-255). Values 0.0-1.0.")
        .Integer("pen_index", "Pen index (1-255)")
        .Number("red", "Red component (0.0-1.0)")
        .Number("green", "Green component (0.0-1.0)")
        .Number("blue", "Blue component (0.0-1.0)")
        .Required({"pen_index", "red", "green", "blue"})
        .Handler(SetPenColor);
    Tool(registry, "list_line_types", "List all available line types in the project.").Handler([](const json&) {
        return ListNamed(API_LinetypeID, "line types");
    });
    Tool(registry, "list_fill_types", "List all available fill patterns in the project.").Handler([](const json&) {
        return ListNamed(API_FilltypeID, "fill types");
    });
}
