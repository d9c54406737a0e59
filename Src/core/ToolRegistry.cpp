#include "core/ToolRegistry.hpp"

#include <exception>
#include <utility>

#include "core/DebugLog.hpp"
#include "core/HttpClient.hpp"
#include "core/OutsideText.hpp"

using nlohmann::json;

ToolResult ToolResult::Ok(const std::string& elementGuid, const std::string& message)
{
    ToolResult result;
    result.success = true;
    result.elementGuid = elementGuid;
    result.message = message;
    return result;
}

ToolResult ToolResult::Fail(const std::string& error)
{
    ToolResult result;
    result.success = false;
    result.error = error;
    return result;
}

std::string ToolResult::toJson() const
{
    json out = json::object();
    out["success"] = success;
    if (success) {
        if (!elementGuid.empty()) {
            out["element_guid"] = elementGuid;
        }
        if (!message.empty()) {
            out["message"] = message;
        }
    } else {
        out["error"] = error.empty() ? std::string("Unknown error") : error;
    }
    // Compact, keys sorted by the object type, non-ASCII written as is; text that is not
    // valid UTF-8 throws the library's error so that the caller sees it instead of garbage.
    return out.dump();
}

ToolRegistry::ToolRegistry() { RegisterAll(); }

void ToolRegistry::Register(ToolDef def)
{
    const auto [entry, added] = tools.try_emplace(def.name);
    // Logged, so that two families giving one name never swap tools unseen.
    if (!added) DebugLog("Tool registration: " + def.name + " replaces the earlier tool of that name");
    entry->second = std::move(def);
}

json ToolRegistry::GetToolDefinitions() const
{
    json definitions = json::array();
    for (const auto& entry : tools) {
        const ToolDef& def = entry.second;
        definitions.push_back(
            {{"name", def.name}, {"description", def.description}, {"input_schema", def.inputSchema}});
    }
    return definitions;
}

ToolResult ToolRegistry::ExecuteTool(const std::string& name, const json& input) const
{
    auto found = tools.find(name);
    if (found == tools.end()) {
        return ToolResult::Fail("Unknown tool: " + name);
    }
    const ToolDef& def = found->second;
    if (!def.handler) {
        return ToolResult::Fail("Tool has no handler: " + name);
    }
    ToolResult result;
    try {
        const Quillmere::HttpCallDeadline oneDeadlineForTheCall;
        result = def.handler(input);
    } catch (const std::exception& e) {
        result = ToolResult::Fail(e.what());
    }
    // What a tool reports goes to the model, the page and the log: no key, no flood.
    result.message = BoundedResultText(result.message);
    result.error = BoundedResultText(result.error);
    return result;
}
