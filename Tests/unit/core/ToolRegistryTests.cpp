#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "QuillmereTest.hpp"
#include "core/ToolInput.hpp"
#include "core/ToolRegistry.hpp"

namespace {

const json kSchema = {{"type", "object"}, {"properties", {{"count", {{"type", "integer"}}}}}};

// The value fn gives, or the text of the std::exception it throws, marked with its kind.
std::string Outcome(const std::function<int()>& fn)
{
    try {
        return std::to_string(fn());
    } catch (const ToolInputError& e) {
        return std::string("range: ") + e.what();
    } catch (const json::exception& e) {
        return "json " + std::to_string(e.id) + ": " + e.what();
    } catch (const std::exception& e) {
        return std::string("std: ") + e.what();
    }
}

}  // namespace

// The fixture's registry and private log.
using ToolRegistryTest = QuillmereTest;

TEST_F(ToolRegistryTest, ListsToolsInNameOrderALaterRegistrationReplacesAndDispatches)
{
    registry.tools.clear();
    EXPECT_EQ(registry.GetToolDefinitions().dump(), "[]");
    registry.Register({"zeta_tool", "Last one", kSchema, [](const json& in) { return ToolResult::Ok("", in.dump()); }});
    registry.Register({"mid_tool", "Taken", {{"type", "object"}}, [](const json&) { return ToolResult::Ok("", "1"); }});
    registry.Register({"alpha_tool", "First one", kSchema, nullptr});
    EXPECT_EQ(LogText().find("replaces"), std::string::npos);
    registry.Register({"mid_tool", "Middle one", kSchema, [](const json&) { return ToolResult::Ok("", "second"); }});
    EXPECT_NE(LogText().find("Tool registration: mid_tool replaces the earlier tool of that name"), std::string::npos);
    EXPECT_EQ(registry.GetToolDefinitions(),
              json::array({{{"name", "alpha_tool"}, {"description", "First one"}, {"input_schema", kSchema}},
                           {{"name", "mid_tool"}, {"description", "Middle one"}, {"input_schema", kSchema}},
                           {{"name", "zeta_tool"}, {"description", "Last one"}, {"input_schema", kSchema}}}));

    const json input = {{"b", {1, 2.5, "x"}}, {"a", nullptr}};
    EXPECT_EQ(json::parse(registry.ExecuteTool("zeta_tool", input).message), input);
    EXPECT_EQ(registry.ExecuteTool("mid_tool", json::object()).message, "second");
    EXPECT_EQ(registry.ExecuteTool("no_such_tool_here", json::object()).toJson(),
              R"({"error":"Unknown tool: no_such_tool_here","success":false})");
    const ToolResult hollow = registry.ExecuteTool("alpha_tool", json::object());  // no handler
    EXPECT_FALSE(hollow.success);
    EXPECT_FALSE(hollow.error.empty());
}

// Replacing is silent to the model, so every family, the palette's included, must give names of
// its own; a family registered again replaces its own tools and adds none.
TEST_F(ToolRegistryTest, NoFamilyReplacesAnotherFamilysTool)
{
    ToolRegistry whole;
    RegisterPaletteTools();
    EXPECT_EQ(LogText().find("replaces the earlier tool"), std::string::npos) << LogText();
    const std::size_t count = whole.tools.size();
    RegisterModifyTools(whole);
    EXPECT_EQ(whole.tools.size(), count);
    EXPECT_NE(LogText().find("Tool registration: move_element replaces"), std::string::npos);
}

TEST_F(ToolRegistryTest, StdExceptionsBecomeFailedResultsWithTheirTextOthersPassOn)
{
    const std::vector<std::function<void(const json&)>> throwers = {
        [](const json&) { throw std::runtime_error("thread could not start"); },
        [](const json& input) { (void)input.at("missing"); },
        [](const json&) { (void)json(std::string("bad\xC3\x28")).dump(); },  // invalid UTF-8
        [](const json&) {
            (void)IntInput({{"count", 1e20}}, "count", 0);
        },  // out of range
    };
    const json input = {{"count", "three"}};
    for (const auto& thrower : throwers) {
        const std::string expected = Outcome([&] { return thrower(input), 0; });
        SCOPED_TRACE(expected);
        registry.tools.erase("throws");
        registry.Register(
            {"throws", "", kSchema, [&](const json& in) { return thrower(in), ToolResult::Ok("G", "no"); }});
        const ToolResult result = registry.ExecuteTool("throws", input);
        EXPECT_EQ(result.toJson(),
                  json({{"success", false}, {"error", expected.substr(expected.find(": ") + 2)}}).dump());
    }
    registry.Register({"throws_int", "", kSchema, [](const json&) -> ToolResult { throw 42; }});
    EXPECT_THROW(registry.ExecuteTool("throws_int", json::object()), int);
}

TEST(ToolResultTest, ToJsonShapes)
{
    const std::pair<ToolResult, std::string> cases[] = {
        {ToolResult::Ok("", ""), R"({"success":true})"},
        {ToolResult::Ok("G-1", "m"), R"({"element_guid":"G-1","message":"m","success":true})"},
        {ToolResult::Fail("bad input"), R"({"error":"bad input","success":false})"},
        {ToolResult::Fail(""), R"({"error":"Unknown error","success":false})"},
        {ToolResult{false, "G", "m", ""}, R"({"error":"Unknown error","success":false})"},  // filled by hand
    };
    for (const auto& c : cases) EXPECT_EQ(c.first.toJson(), c.second);
    EXPECT_EQ(Outcome([] { return ToolResult::Fail("\xFF\xFE").toJson(), 0; }).substr(0, 9), "json 316:");
}

TEST(IntInputTest, OutOfRangeAndNonFiniteNumbersThrowToolInputErrorNamingTheValue)
{

    for (const json& value : {json(-1e20), json(2147483648LL), json(std::numeric_limits<std::uint64_t>::max()),
                              json(std::numeric_limits<double>::infinity()), json(std::nan(""))}) {
        const std::string outcome = Outcome([&] { return IntInput({{"count", value}}, "count", 0); });
        EXPECT_EQ(outcome.rfind("range: Input 'count'", 0), 0u) << outcome;
        EXPECT_NE(outcome.find("2147483647"), std::string::npos) << outcome;
    }
    EXPECT_EQ(Outcome([] { return IntValue(json(-1e20), "points[3]"); }).rfind("range: points[3]", 0), 0u);
}
