#pragma once

// Element queries: the filters of list_elements and find_elements read from a tool's input,
// and the one pass over the element lists that counts every match and summarises one page.
// A page holds at most 1000 summaries and ends before the tool result's cap, measured as the
// model receives it (escaped), so a page is never cut and a summary is never cut.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"

#include "core/ResultRoom.hpp"
#include "core/ToolRegistry.hpp"

class Tool;

struct ElementQuery {
    std::vector<API_ElemTypeID> types;  // every type with a word when none was asked for
    std::optional<Int16> story;
    std::optional<Int32> layer;
    // find_elements only
    std::optional<std::array<double, 4>> within;  // min_x, min_y, max_x, max_y
    std::string text;                             // lower case
    std::optional<double> minLength, maxLength, minArea, maxArea;
    std::optional<API_Guid> propertyDefinition;
    API_Variant propertyEquals;
    // paging
    size_t offset = 0;
    size_t limit = 100;
};

constexpr size_t kMaxPageSummaries = 1000;

// The schema properties of the two tools (find_elements adds its own to the list's).
void ListFilterProperties(Tool& tool);
void FindFilterProperties(Tool& tool);
void PagingProperties(Tool& tool);

// Reads the filters (withFind: find_elements' too) and paging; a clear error text when one
// cannot be used. Reads every key before asking the host anything.
std::optional<std::string> ReadQuery(const nlohmann::json& input, bool withFind, ElementQuery& query);

// The GUIDs of GUID texts that each name an element, in order; else "Element not found: <text>"
// for the first that does not (a malformed text included), the editing tools' own words.
std::optional<std::string> ExistingElements(const std::vector<std::string>& texts, GS::Array<API_Guid>& guids);

// Counts every match and returns one page of their summaries (PageBuilder::Result).
ToolResult RunQuery(const ElementQuery& query);

// Appends summaries to a page while it stays within the bounds (limit summaries, and the
// result's room less the page's own keys and reserved bytes); false once the next one does not
// fit (it is then left out whole).
class PageBuilder {
public:
    explicit PageBuilder(size_t limit, size_t reserved = 0) : limit_(limit), room_(kResultTrailerBytes + reserved) {}
    bool Add(nlohmann::json summary);
    bool Full() const { return full_; }
    // {"total", "offset", "count", "next_offset" (null at the end), "elements"}; takes the page.
    nlohmann::json Result(size_t total, size_t offset);
    // The summaries alone; takes them.
    nlohmann::json TakeElements() { return std::move(elements_); }

private:
    size_t limit_;
    ResultRoom room_;
    bool full_ = false;
    nlohmann::json elements_ = nlohmann::json::array();
};
