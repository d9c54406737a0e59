// Distinct names for the tool calls of a conversation.
#include "engine/ToolCallIds.hpp"

#include <string_view>

namespace {

// name as id + "-" + n, n written as std::to_string writes a number of 2 or more; false for a
// name of another form.
bool SplitNumbered(std::string_view name, std::string_view& id, unsigned long& n)
{
    const std::size_t dash = name.rfind('-');
    if (dash == std::string_view::npos) return false;
    const std::string_view digits = name.substr(dash + 1);
    if (digits.empty() || digits.size() > 18 || digits[0] == '0') return false;
    n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned long>(c - '0');
    }
    id = name.substr(0, dash);
    return n >= 2;
}

}  // namespace

void ToolIdNames::Numbered::Give(unsigned long n)
{
    if (n != next) {
        if (n > next) ahead.insert(n);
        return;
    }
    for (++next; !ahead.empty() && *ahead.begin() == next; ++next) ahead.erase(ahead.begin());
}

void ToolIdNames::Take(const std::string& name)
{
    std::string_view id;
    unsigned long n = 0;
    if (!SplitNumbered(name, id, n)) {
        plain.insert(name);
        return;
    }
    auto found = numbered.find(id);
    if (found == numbered.end()) found = numbered.emplace(std::string(id), Numbered()).first;
    found->second.Give(n);
}

bool ToolIdNames::Taken(const std::string& name) const
{
    std::string_view id;
    unsigned long n = 0;
    if (!SplitNumbered(name, id, n)) return plain.count(name) != 0;
    const auto found = numbered.find(id);
    return found != numbered.end() && (n < found->second.next || found->second.ahead.count(n) != 0);
}

std::string ToolIdNames::Distinct(const std::string& id)
{
    if (!Taken(id)) {
        Take(id);
        return id;
    }
    Numbered& names = numbered[id];
    const unsigned long n = names.next;
    names.Give(n);
    return id + "-" + std::to_string(n);
}

void GiveDistinctToolIds(ModelReply& reply, const std::vector<HistoryMessage>& history)
{
    // Only the history's names that a reply's id could meet matter: the id itself and its renamings.
    std::vector<std::string> ids;
    for (const ContentBlock& block : reply.assistantBlocks)
        if (block.kind == BlockKind::ToolUse) ids.push_back(block.toolId);
    const std::unordered_set<std::string_view> asked(ids.begin(), ids.end());
    ToolIdNames names;
    for (const HistoryMessage& message : history)
        for (const ContentBlock& block : message.blocks) {
            std::string_view id;
            unsigned long n = 0;
            if (block.kind == BlockKind::ToolUse &&
                (asked.count(block.toolId) != 0 || (SplitNumbered(block.toolId, id, n) && asked.count(id) != 0)))
                names.Take(block.toolId);
        }
    // The reply's calls and their blocks come in the same order.
    std::size_t call = 0;
    for (ContentBlock& block : reply.assistantBlocks) {
        if (block.kind != BlockKind::ToolUse) continue;
        block.toolId = names.Distinct(block.toolId);
        if (call < reply.toolCalls.size()) reply.toolCalls[call++].id = block.toolId;
    }
}
