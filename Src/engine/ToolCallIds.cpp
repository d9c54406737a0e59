// Distinct names for the tool calls of a conversation.
#include "engine/ToolCallIds.hpp"

std::string DistinctToolId(const std::string& id, const std::set<std::string>& taken)
{
    if (taken.count(id) == 0) return id;
    for (unsigned n = 2;; ++n) {
        std::string renamed = id + "-" + std::to_string(n);
        if (taken.count(renamed) == 0) return renamed;
    }
}

void GiveDistinctToolIds(ModelReply& reply, const std::vector<HistoryMessage>& history)
{
    std::set<std::string> taken;
    for (const HistoryMessage& message : history)
        for (const ContentBlock& block : message.blocks)
            if (block.kind == BlockKind::ToolUse) taken.insert(block.toolId);
    // The reply's calls and their blocks come in the same order.
    std::size_t call = 0;
    for (ContentBlock& block : reply.assistantBlocks) {
        if (block.kind != BlockKind::ToolUse) continue;
        block.toolId = DistinctToolId(block.toolId, taken);
        taken.insert(block.toolId);
        if (call < reply.toolCalls.size()) reply.toolCalls[call++].id = block.toolId;
    }
}
