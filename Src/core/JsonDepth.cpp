// The nesting check for JSON from outside, walking the value with a stack of its own.
#include "core/JsonDepth.hpp"

#include <utility>
#include <vector>

bool JsonNestsDeeperThan(const nlohmann::json& value, std::size_t limit)
{
    std::vector<std::pair<const nlohmann::json*, std::size_t>> pending{{&value, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        if (!node->is_structured()) {
            continue;
        }
        if (depth + 1 > limit) {
            return true;
        }
        for (const nlohmann::json& child : *node) {
            pending.emplace_back(&child, depth + 1);
        }
    }
    return false;
}

nlohmann::json ParseOutsideJson(const std::string& text, bool* tooDeep)
{
    nlohmann::json value = nlohmann::json::parse(text, nullptr, false, false);
    const bool deep = !value.is_discarded() && JsonNestsDeeperThan(value);
    if (tooDeep != nullptr) *tooDeep = deep;
    // The library frees a deep value without recursion; nothing else may touch it. Two returns,
    // not a conditional expression, so that the value is moved out rather than copied.
    if (deep) return nlohmann::json(nlohmann::json::value_t::discarded);
    return value;
}
