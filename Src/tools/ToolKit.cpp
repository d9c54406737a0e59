// The tool kit's declaration builder and its input reads that are more than one library call.
#include "tools/ToolKit.hpp"

Tool::Tool(ToolRegistry& registry, std::string name, std::string description) : registry_(registry)
{
    def_.name = std::move(name);
    def_.description = std::move(description);
}

Tool& Tool::Property(const std::string& key, const char* type, const std::string& description, const json& extras)
{
    json property = {{"type", type}, {"description", description}};
    property.update(extras);
    properties_[key] = std::move(property);
    return *this;
}

Tool& Tool::With(const std::function<void(Tool&)>& group)
{
    group(*this);
    return *this;
}

Tool& Tool::Required(std::vector<std::string> keys)
{
    required_ = std::move(keys);
    return *this;
}

void Tool::Handler(ToolHandler handler)
{
    def_.inputSchema = {{"type", "object"}, {"properties", std::move(properties_)}, {"required", std::move(required_)}};
    def_.handler = std::move(handler);
    registry_.Register(std::move(def_));
}

json PointItemSchema()
{
    return {{"type", "object"},
            {"properties", {{"x", {{"type", "number"}}}, {"y", {{"type", "number"}}}}},
            {"required", {"x", "y"}}};
}

std::optional<double> OptionalNumber(const json& input, const std::string& key)
{
    if (!input.contains(key)) return std::nullopt;
    return input.at(key).get<double>();
}

std::optional<int> OptionalInt(const json& input, const std::string& key)
{
    if (!input.contains(key)) return std::nullopt;
    return IntInput(input, key, 0);
}

Points PointsInput(const json& input, const std::string& key)
{
    Points points;
    if (!input.contains(key) || !input.at(key).is_array()) return points;
    const json& list = input.at(key);
    points.reserve(list.size());
    for (const json& entry : list) {
        const double x = entry.value("x", 0.0);
        const double y = entry.value("y", 0.0);
        points.emplace_back(x, y);
    }
    return points;
}

API_Guid ParseGuid(const std::string& text)
{
    // The whole text, NULs and all: cut at a NUL, "<GUID>\0anything" would name an element.
    return GSGuid2APIGuid(GS::Guid(text));
}

GS::Array<API_Guid> GuidsInput(const json& input, const std::string& key)
{
    GS::Array<API_Guid> guids;
    if (!input.contains(key) || !input.at(key).is_array()) return guids;
    for (const json& entry : input.at(key)) guids.Push(ParseGuid(entry.get<std::string>()));
    return guids;
}
