#include "engine/TokenUsage.hpp"

using nlohmann::json;

long long TokenUsage::Count(const std::string& name) const
{
    for (const auto& [key, value] : counts) {
        if (key == name) {
            return value;
        }
    }
    return -1;
}

TokenUsage ReadTokenUsage(const json& reply, std::initializer_list<std::vector<std::string>> paths)
{
    TokenUsage usage;
    const auto found = reply.find("usage");
    if (found == reply.end() || !found->is_object()) {
        return usage;
    }
    for (const std::vector<std::string>& path : paths) {
        const json* node = &*found;
        for (const std::string& name : path) {
            const auto next = node->is_object() ? node->find(name) : node->end();
            node = next == node->end() ? nullptr : &*next;
            if (node == nullptr) {
                break;
            }
        }
        // Unsigned and signed integers both come through; a fraction or a negative is no count.
        if (node != nullptr && node->is_number_integer() && node->get<long long>() >= 0) {
            usage.counts.emplace_back(path.back(), node->get<long long>());
        }
    }
    return usage;
}

std::string UsageLogLine(const std::string& service, const TokenUsage& usage)
{
    std::string line = service + " usage: ";
    if (usage.counts.empty()) {
        return line + "not reported";
    }
    for (std::size_t i = 0; i < usage.counts.size(); ++i) {
        line += (i == 0 ? "" : ", ") + usage.counts[i].first + " " + std::to_string(usage.counts[i].second);
    }
    return line;
}
