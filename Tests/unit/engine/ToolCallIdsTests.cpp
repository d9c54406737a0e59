// The names a reply's tool calls get beside the calls already in the history: the id itself when
// free, else the first of "-2", "-3", ... not taken, whatever order the taken names came in and
// however they were written.
#include <gtest/gtest.h>

#include "engine/ToolCallIds.hpp"

using nlohmann::json;

TEST(ToolCallIds, ARepeatedIdGetsTheFirstFreeNumberedName)
{
    const struct {
        const char* name;
        std::vector<std::string> history, reply, named;
    } rows[] = {
        {"a free id stays", {"b", "a-2"}, {"a"}, {"a"}},
        {"ids repeated within the reply", {}, {"a", "a", "a"}, {"a", "a-2", "a-3"}},
        {"after the names given before", {"a", "a-2", "a-3"}, {"a"}, {"a-4"}},
        {"a gap before a taken name", {"a-3", "a"}, {"a", "a"}, {"a-2", "a-4"}},
        {"names not written as numbers are given", {"a", "a-02", "a-1", "a-2x", "a-"}, {"a"}, {"a-2"}},
        {"a renamed name asked again", {"a", "a-2"}, {"a-2", "a"}, {"a-2-2", "a-3"}},
        {"a number past what fits",
         {"x-12345678901234567890"},
         {"x-12345678901234567890"},
         {"x-12345678901234567890-2"}},
        {"an empty id", {""}, {"", ""}, {"-2", "-3"}},
    };
    for (const auto& row : rows) {
        std::vector<HistoryMessage> history;
        for (const std::string& id : row.history) {
            history.push_back({Role::Assistant, {ContentBlock::ToolUse(id, "probe", json::object())}});
            history.push_back({Role::User, {ContentBlock::ToolResult(id, "{}")}});
        }
        ModelReply reply;
        reply.assistantBlocks.push_back(ContentBlock::Text("Probing."));
        for (const std::string& id : row.reply) {
            reply.toolCalls.push_back({id, "probe", json::object(), ""});
            reply.assistantBlocks.push_back(ContentBlock::ToolUse(id, "probe", json::object()));
        }
        GiveDistinctToolIds(reply, history);
        std::vector<std::string> calls, blocks;
        for (const ToolCall& call : reply.toolCalls) calls.push_back(call.id);
        for (std::size_t i = 1; i < reply.assistantBlocks.size(); ++i)
            blocks.push_back(reply.assistantBlocks[i].toolId);
        EXPECT_EQ(calls, row.named) << row.name;
        EXPECT_EQ(blocks, row.named) << row.name;
    }
}
