#pragma once

#include <functional>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

// The outcome of one tool call, as the language model receives it.
struct ToolResult {
    bool success = false;
    std::string elementGuid;
    std::string message;
    std::string error;

    static ToolResult Ok(const std::string& elementGuid, const std::string& message);
    static ToolResult Fail(const std::string& error);

    // {"success":true[,"element_guid"][,"message"]} or {"success":false,"error"}; compact, keys sorted.
    std::string toJson() const;
};

// One tool as the language model sees it.
struct ToolDef {
    std::string name;
    std::string description;
    nlohmann::json inputSchema;
    std::function<ToolResult(const nlohmann::json& input)> handler;
};

// Every tool of the assistant, ordered by name.
class ToolRegistry {
public:
    ToolRegistry();

    // Stores def under its name; a later registration of a taken name replaces the earlier
    // tool, with a line in the debug log.
    void Register(ToolDef def);
    nlohmann::json GetToolDefinitions() const;
    // The handler runs inside one HttpCallDeadline (core/HttpClient.hpp): all the requests of
    // one call end within the longest single request deadline. The result's message and error
    // pass through BoundedResultText (core/OutsideText.hpp).
    ToolResult ExecuteTool(const std::string& name, const nlohmann::json& input) const;

    std::map<std::string, ToolDef> tools;

private:
    void RegisterAll();
};
