#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// The conversation as neither provider sees it: one neutral history that each provider
// renders into its own wire format, so a conversation can change model half-way.

enum class BlockKind { Text, Image, Document, ToolUse, ToolResult };

struct ContentBlock {
    BlockKind kind = BlockKind::Text;
    std::string text;       // Text; the result text of a ToolResult
    std::string mediaType;  // Image, Document
    // Image, Document: base64 as the page sent it. Shared, never copied: an attachment of
    // tens of megabytes is held once however many blocks, reports and lists refer to it.
    std::shared_ptr<const std::string> data;
    std::string toolId;                               // ToolUse, ToolResult
    std::string toolName;                             // ToolUse
    nlohmann::json input = nlohmann::json::object();  // ToolUse
    bool isError = false;                             // ToolResult: the call failed

    const std::string& Data() const;  // empty for blocks without data

    static ContentBlock Text(std::string text);
    static ContentBlock Image(std::string mediaType, std::string data);
    static ContentBlock Document(std::string mediaType, std::string data);
    static ContentBlock ToolUse(std::string id, std::string name, nlohmann::json input);
    static ContentBlock ToolResult(std::string id, std::string resultText, bool isError = false);
};

// Blank text (spaces, tabs, line breaks or nothing) is refused by the services: it is neither
// shown nor kept, and a message of nothing else is no message.
bool IsBlank(const std::string& text);
void DropBlankText(std::vector<ContentBlock>& blocks);

enum class Role { User, Assistant };

struct HistoryMessage {
    Role role = Role::User;
    std::vector<ContentBlock> blocks;
};

class Conversation {
public:
    // A user turn. When the history already ends with a user message (tool results, or a
    // turn that failed before the model answered) the blocks join it, so roles keep
    // alternating as both providers require.
    void AppendUser(std::vector<ContentBlock> blocks);
    // An assistant turn; an empty one is not kept (neither provider accepts it back).
    void AppendAssistant(std::vector<ContentBlock> blocks);

    // Gives each tool call of the last assistant message that has no result yet this result
    // text, as a failed call's, so that the history stays acceptable after a turn broke off
    // half-way.
    void CloseOpenToolCalls(const std::string& resultText);

    // Where the history stands now, so that what is appended after it can be taken back.
    struct Mark {
        std::size_t messages = 0;
        std::size_t blocksInLast = 0;
    };
    Mark Position() const;
    void RollBack(const Mark& mark);

    const std::vector<HistoryMessage>& Messages() const { return messages; }
    std::size_t Size() const { return messages.size(); }
    void Clear() { messages.clear(); }
    void Replace(std::vector<HistoryMessage> kept) { messages = std::move(kept); }

private:
    std::vector<HistoryMessage> messages;
};
