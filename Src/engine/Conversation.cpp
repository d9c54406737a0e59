#include "engine/Conversation.hpp"

#include <algorithm>
#include <set>
#include <utility>

ContentBlock ContentBlock::Text(std::string text)
{
    ContentBlock block;
    block.kind = BlockKind::Text;
    block.text = std::move(text);
    return block;
}

ContentBlock ContentBlock::Image(std::string mediaType, std::string data)
{
    ContentBlock block;
    block.kind = BlockKind::Image;
    block.mediaType = std::move(mediaType);
    block.data = std::make_shared<const std::string>(std::move(data));
    return block;
}

const std::string& ContentBlock::Data() const
{
    static const std::string none;
    return data ? *data : none;
}

ContentBlock ContentBlock::Document(std::string mediaType, std::string data)
{
    ContentBlock block = Image(std::move(mediaType), std::move(data));
    block.kind = BlockKind::Document;
    return block;
}

ContentBlock ContentBlock::ToolUse(std::string id, std::string name, nlohmann::json input)
{
    ContentBlock block;
    block.kind = BlockKind::ToolUse;
    block.toolId = std::move(id);
    block.toolName = std::move(name);
    block.input = std::move(input);
    return block;
}

ContentBlock ContentBlock::ToolResult(std::string id, std::string resultText, bool isError)
{
    ContentBlock block;
    block.kind = BlockKind::ToolResult;
    block.toolId = std::move(id);
    block.text = std::move(resultText);
    block.isError = isError;
    return block;
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

void DropBlankText(std::vector<ContentBlock>& blocks)
{
    blocks.erase(
        std::remove_if(blocks.begin(), blocks.end(),
                       [](const ContentBlock& block) { return block.kind == BlockKind::Text && IsBlank(block.text); }),
        blocks.end());
}

void Conversation::AppendUser(std::vector<ContentBlock> blocks)
{
    if (blocks.empty()) {
        return;
    }
    if (!messages.empty() && messages.back().role == Role::User) {
        auto& target = messages.back().blocks;
        target.insert(target.end(), std::make_move_iterator(blocks.begin()), std::make_move_iterator(blocks.end()));
        return;
    }
    messages.push_back(HistoryMessage{Role::User, std::move(blocks)});
}

void Conversation::AppendAssistant(std::vector<ContentBlock> blocks)
{
    if (blocks.empty()) {
        return;
    }
    messages.push_back(HistoryMessage{Role::Assistant, std::move(blocks)});
}

void Conversation::CloseOpenToolCalls(const std::string& resultText)
{
    std::size_t assistant = messages.size();
    while (assistant > 0 && messages[assistant - 1].role != Role::Assistant) {
        --assistant;
    }
    if (assistant == 0) {
        return;
    }
    const HistoryMessage& asked = messages[assistant - 1];
    std::set<std::string> answered;
    if (assistant < messages.size()) {
        for (const ContentBlock& block : messages[assistant].blocks) {
            if (block.kind == BlockKind::ToolResult) {
                answered.insert(block.toolId);
            }
        }
    }
    std::vector<ContentBlock> missing;
    for (const ContentBlock& block : asked.blocks) {
        if (block.kind == BlockKind::ToolUse && answered.count(block.toolId) == 0) {
            missing.push_back(ContentBlock::ToolResult(block.toolId, resultText, true));
        }
    }
    AppendUser(std::move(missing));
}

Conversation::Mark Conversation::Position() const
{
    return Mark{messages.size(), messages.empty() ? 0 : messages.back().blocks.size()};
}

void Conversation::RollBack(const Mark& mark)
{
    if (mark.messages > messages.size()) {
        return;
    }
    messages.resize(mark.messages);
    if (!messages.empty() && mark.blocksInLast < messages.back().blocks.size()) {
        messages.back().blocks.resize(mark.blocksInLast);
    }
}
