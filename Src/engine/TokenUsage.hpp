#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// The token counts a service reports for one request, under the service's own names, so that
// the debug log shows what each request cost and how much of it came from the prompt cache.
struct TokenUsage {
    std::vector<std::pair<std::string, long long>> counts;  // in the order the service documents them

    // The count reported under this name, or -1 when the reply did not carry it.
    long long Count(const std::string& name) const;
};

// Reads the whole-number counts found at the given paths below the reply's "usage" object
// (a path of two names reaches into a nested object). Counts that are missing, negative or
// not whole numbers are left out; a reply without usage gives no counts, never an error.
TokenUsage ReadTokenUsage(const nlohmann::json& reply, std::initializer_list<std::vector<std::string>> paths);

// "<service> usage: input_tokens 12, output_tokens 3", or "<service> usage: not reported".
std::string UsageLogLine(const std::string& service, const TokenUsage& usage);
