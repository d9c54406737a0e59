#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

ToolDef MakeTool(const std::string& name, const std::string& description,
                 std::function<ToolResult(const json&)> handler)
{
    ToolDef def{name, description, {{"type", "object"}, {"properties", {{"count", {{"type", "integer"}}}}}}, {}};
    def.handler = std::move(handler);
    return def;
}

ToolResult Echo(const json& input) { return ToolResult::Ok("", input.dump()); }

template <typename Fn>
std::string WhatOf(Fn fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

struct NotAStdException {};

}  // namespace

TEST(ToolRegistryTest, CatalogueListsToolsInNameOrderAndReRegisteringReplaces)
{
    ToolRegistry registry;
    registry.tools.clear();
    EXPECT_EQ(registry.GetToolDefinitions().dump(), "[]");

    registry.Register(MakeTool("zeta_tool", "Last one", Echo));
    registry.Register(MakeTool("mid_tool", "first", [](const json&) { return ToolResult::Ok("", "first"); }));
    registry.Register(MakeTool("alpha_tool", "First one", Echo));
    ToolDef second = MakeTool("mid_tool", "Middle one", [](const json&) { return ToolResult::Ok("", "second"); });
    second.inputSchema = {{"type", "object"}};
    registry.Register(std::move(second));

    const json catalogue = registry.GetToolDefinitions();
    ASSERT_EQ(catalogue.size(), 3u);
    const char* const names[] = {"alpha_tool", "mid_tool", "zeta_tool"};
    const char* const descriptions[] = {"First one", "Middle one", "Last one"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(catalogue[i], (json{{"name", names[i]},
                                      {"description", descriptions[i]},
                                      {"input_schema", registry.tools.at(names[i]).inputSchema}}));
    }
    EXPECT_EQ(catalogue[1]["input_schema"], (json{{"type", "object"}}));
    EXPECT_EQ(registry.ExecuteTool("mid_tool", json::object()).message, "second");
}

TEST(ToolRegistryTest, DispatchPassesTheInputAndFailsForUnknownOrHollowTools)
{
    ToolRegistry registry;
    registry.Register(MakeTool("echo", "Echo", Echo));
    registry.Register(MakeTool("hollow", "", nullptr));
    const json input = {{"b", {1, 2.5, "x"}}, {"a", nullptr}};
    const ToolResult echoed = registry.ExecuteTool("echo", input);
    ASSERT_TRUE(echoed.success);
    EXPECT_EQ(json::parse(echoed.message), input);

    EXPECT_EQ(registry.ExecuteTool("no_such_tool_here", json::object()).toJson(),
              R"({"error":"Unknown tool: no_such_tool_here","success":false})");
    const ToolResult hollow = registry.ExecuteTool("hollow", json::object());
    EXPECT_FALSE(hollow.success);
    EXPECT_FALSE(hollow.error.empty());
}

TEST(ToolRegistryTest, StdExceptionsBecomeFailedResultsWithTheirTextOthersPassOn)
{
    const std::vector<std::function<void(const json&)>> throwers = {
        [](const json&) { throw std::runtime_error("thread could not start"); },
        [](const json& input) { (void)input.at("missing"); },
        [](const json& input) { (void)input.value("count", 1); },            // 302: wrong type
        [](const json&) { (void)json::array({1}).value("name", 0); },        // 306: not an object
        [](const json&) { (void)json(std::string("bad\xC3\x28")).dump(); },  // 316: invalid UTF-8
    };
    const json input = {{"count", "three"}};
    for (std::size_t i = 0; i < throwers.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string expected = WhatOf([&] { throwers[i](input); });
        ASSERT_FALSE(expected.empty());
        ToolRegistry registry;
        registry.Register(MakeTool("throws", "", [&](const json& in) -> ToolResult {
            throwers[i](in);
            return ToolResult::Ok("G", "not reached");
        }));
        const ToolResult result = registry.ExecuteTool("throws", input);
        EXPECT_EQ(result.toJson(), json({{"success", false}, {"error", expected}}).dump());
    }

    ToolRegistry registry;
    registry.Register(MakeTool("throws_other", "", [](const json&) -> ToolResult { throw NotAStdException{}; }));
    registry.Register(MakeTool("throws_int", "", [](const json&) -> ToolResult { throw 42; }));
    EXPECT_THROW(registry.ExecuteTool("throws_other", json::object()), NotAStdException);
    EXPECT_THROW(registry.ExecuteTool("throws_int", json::object()), int);
}

TEST(ToolResultTest, ToJsonShapes)
{
    ToolResult handFilledFailure = ToolResult::Fail("");
    handFilledFailure.elementGuid = "G";
    handFilledFailure.message = "m";
    const std::string umlaut = u8"Wand \u00fcber Geschoss \u2013 fertig";
    const std::pair<ToolResult, std::string> cases[] = {
        {ToolResult::Ok("", ""), R"({"success":true})"},
        {ToolResult::Ok("G-1", ""), R"({"element_guid":"G-1","success":true})"},
        {ToolResult::Ok("", "Wall created"), R"({"message":"Wall created","success":true})"},
        {ToolResult::Ok("G-1", "m"), R"({"element_guid":"G-1","message":"m","success":true})"},
        {ToolResult::Fail("bad input"), R"({"error":"bad input","success":false})"},
        {ToolResult::Fail(""), R"({"error":"Unknown error","success":false})"},
        {handFilledFailure, R"({"error":"Unknown error","success":false})"},
        {ToolResult::Ok("", umlaut), "{\"message\":\"" + umlaut + "\",\"success\":true}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.first.toJson(), c.second);
    }
    try {
        (void)ToolResult::Fail(std::string("\xFF\xFE")).toJson();
        FAIL() << "expected the JSON library's UTF-8 error";
    } catch (const json::type_error& e) {
        EXPECT_EQ(e.id, 316);
    }
}
