#pragma once

// The tool kit: how a family declares its tools, reads their input and runs their host work,
// so that every schema, input error and failure text is made the same way.
//
// A tool is declared once, schema as data and handler as its algorithm:
//
//     void RegisterThingTools(ToolRegistry& registry)
//     {
//         Tool(registry, "create_thing", "Create a thing at a point.")
//             .Number("x", "Thing X (metres)")
//             .Number("y", "Thing Y (metres)")
//             .Integer("story", "Story index (default 0)")
//             .Array("tags", "Tags of the thing", {{"type", "string"}})
//             .Required({"x", "y"})
//             .Handler([](const json& input) {
//                 const double x = NumberInput(input, "x", 0.0);
//                 const double y = NumberInput(input, "y", 0.0);
//                 const int story = IntInput(input, "story", 0);
//                 std::string guidText;
//                 return UndoableCommand("Quillmere: Create Thing", "CreateThing",
//                     [&]() -> GSErrCode {
//                         API_Element element = BlankElement(API_ObjectID);
//                         MemoHolder memo;
//                         ... ACAPI_Element_GetDefaults(&element, memo.Get()) ...
//                         return code;                       // memo disposed on every path
//                     },
//                     [&] { return ToolResult::Ok(guidText, "Thing created"); });
//             });
//     }
//
// Handler() registers the tool; a tool without it is never registered. Shared groups of
// properties go through With(). Read every input before the first host call: a wrongly typed
// value then fails with the JSON library's own text (the registry turns the exception into a
// failed result) and changes nothing; the registry-wide contract tests check exactly that.

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ACAPinc.h"

#include "core/CompactJson.hpp"
#include "core/ToolInput.hpp"
#include "core/ToolRegistry.hpp"

using json = nlohmann::json;

// ---- Declaring a tool ----------------------------------------------------------------------

using ToolHandler = std::function<ToolResult(const json& input)>;

// Builds one tool's definition: {"type":"object","properties":{...},"required":[...]}.
// Properties are {"type","description"} plus any extra fields ("items", "enum", "default").
class Tool {
public:
    Tool(ToolRegistry& registry, std::string name, std::string description);

    Tool& Property(const std::string& key, const char* type, const std::string& description,
                   const json& extras = json::object());
    Tool& Number(const std::string& key, const std::string& description)
    {
        return Property(key, "number", description);
    }
    Tool& Integer(const std::string& key, const std::string& description)
    {
        return Property(key, "integer", description);
    }
    Tool& String(const std::string& key, const std::string& description)
    {
        return Property(key, "string", description);
    }
    Tool& Boolean(const std::string& key, const std::string& description)
    {
        return Property(key, "boolean", description);
    }
    Tool& Array(const std::string& key, const std::string& description, const json& items)
    {
        return Property(key, "array", description, {{"items", items}});
    }

    // Adds a group of properties several tools share (e.g. a family's corner points).
    Tool& With(const std::function<void(Tool&)>& group);

    Tool& Required(std::vector<std::string> keys);

    // Sets the handler and registers the tool.
    void Handler(ToolHandler handler);

private:
    ToolRegistry& registry_;
    ToolDef def_;
    json properties_ = json::object();
    json required_ = json::array();
};

// The item schema of a list of {x, y} points: both numbers, both required, no descriptions.
json PointItemSchema();

// ---- Reading input -------------------------------------------------------------------------
// Each read is input.value(key, default): a missing key gives the default, a value of the
// wrong type (or an input that is not an object) throws the JSON library's type error.
// Integers are read by IntInput / IntValue (core/ToolInput.hpp), which also refuse numbers
// outside the 32-bit range.

inline double NumberInput(const json& input, const std::string& key, double defaultValue)
{
    return input.value(key, defaultValue);
}

inline std::string StringInput(const json& input, const std::string& key,
                               const std::string& defaultValue = std::string())
{
    return input.value(key, defaultValue);
}

inline bool BoolInput(const json& input, const std::string& key, bool defaultValue)
{
    return input.value(key, defaultValue);
}

// Presence only; false for an input that is not an object.
inline bool HasInput(const json& input, const std::string& key) { return input.contains(key); }

// The value when the key is present (converted, or the library's type error), else nothing.
std::optional<double> OptionalNumber(const json& input, const std::string& key);
std::optional<int> OptionalInt(const json& input, const std::string& key);

// A list of {x, y} objects; each coordinate read with default 0.0. A key that is missing or
// not an array gives an empty list; an entry that is not an object throws the library's error.
using Points = std::vector<std::pair<double, double>>;
Points PointsInput(const json& input, const std::string& key);

// GUID text (8-4-4-4-12 hex, and nothing after it) to the host's GUID; anything else gives
// the null GUID, which the host then reports as not found.
API_Guid ParseGuid(const std::string& text);

// The GUIDs of a list of GUID strings; a key that is missing or not an array gives an empty
// list, an entry that is not a string throws the library's error. The whole list is read
// before anything is done with it, so a bad entry changes nothing.
GS::Array<API_Guid> GuidsInput(const json& input, const std::string& key);

// ---- Host work -----------------------------------------------------------------------------

// Runs body as one undo step named undoName. A non-zero code fails as
// "<prefix> ACAPI error: <code>" (signed decimal); otherwise the result is onSuccess().
template <typename Body, typename OnSuccess>
ToolResult UndoableCommand(const char* undoName, const std::string& prefix, Body&& body, OnSuccess&& onSuccess)
{
    const GSErrCode err = ACAPI_CallUndoableCommand(GS::UniString(undoName), std::forward<Body>(body));
    if (err != NoError) return ToolResult::Fail(prefix + " ACAPI error: " + std::to_string(err));
    return onSuccess();
}

// A zeroed element record of one type, as the host expects before reading defaults.
inline API_Element BlankElement(API_ElemTypeID type)
{
    API_Element element;
    BNClear(element);
    element.header.type.typeID = type;
    return element;
}

// Library-part reads hand the caller a file location whether they succeed or not; the
// families never use it, so they release it at once.
inline void ReleaseLocation(API_LibPart& libPart)
{
    delete libPart.location;
    libPart.location = nullptr;
}

// An element memo that is cleared on construction and whose handles are disposed of when it
// goes out of scope, on every path: a host may leave handles in it even when it refuses.
// Either owns its memo, or guards one that lives in another record (a sub-element's memo).
class MemoHolder {
public:
    MemoHolder() : memo_(&own_) { BNClear(own_); }
    explicit MemoHolder(API_ElementMemo& memo) : memo_(&memo) {}
    ~MemoHolder() { ACAPI_DisposeElemMemoHdls(memo_); }
    MemoHolder(const MemoHolder&) = delete;
    MemoHolder& operator=(const MemoHolder&) = delete;

    API_ElementMemo* Get() { return memo_; }
    API_ElementMemo& operator*() { return *memo_; }
    API_ElementMemo* operator->() { return memo_; }

private:
    API_ElementMemo own_;
    API_ElementMemo* memo_;
};

// ---- Shared conversions --------------------------------------------------------------------

// Degrees to the host's radians: one factor everywhere, so that an angle written by one tool
// reads back identically through another.
constexpr double kDegreesToRadians = 0.017453292519943278;

// Only the low 16 bits of a story input reach the element header.
inline short StoryBits(int story) { return static_cast<short>(static_cast<unsigned short>(story & 0xFFFF)); }

// A success whose message is result as CompactJson: a tool that already changed the project must
// not then fail while reporting a name that is not UTF-8.
inline ToolResult DataResult(const json& result) { return ToolResult::Ok("", CompactJson(result)); }
