#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "core/ToolRegistry.hpp"

using nlohmann::json;

namespace {

ToolDef MakeTool(const std::string& name, const std::string& description,
                 std::function<ToolResult(const json&)> handler)
{
    ToolDef def;
    def.name = name;
    def.description = description;
    def.inputSchema = {{"type", "object"},
                       {"properties", {{"count", {{"type", "integer"}, {"description", "How many"}}}}},
                       {"required", json::array()}};
    def.handler = std::move(handler);
    return def;
}

ToolResult Echo(const json& input) { return ToolResult::Ok("", input.dump()); }

struct NotAStdException {};

}  // namespace

// ---- Registration and catalogue ----

TEST(ToolRegistryTest, ReRegisteringANameReplacesTheWholeEntry)
{
    ToolRegistry registry;
    const std::size_t before = registry.tools.size();
    registry.Register(MakeTool("probe", "first", [](const json&) { return ToolResult::Ok("", "first"); }));
    ToolDef second = MakeTool("probe", "second", [](const json&) { return ToolResult::Ok("", "second"); });
    second.inputSchema = {{"type", "object"}, {"properties", json::object()}, {"required", json::array()}};
    registry.Register(std::move(second));

    ASSERT_EQ(registry.tools.size(), before + 1);
    EXPECT_EQ(registry.tools.at("probe").description, "second");
    EXPECT_TRUE(registry.tools.at("probe").inputSchema["properties"].empty());
    EXPECT_EQ(registry.ExecuteTool("probe", json::object()).message, "second");
}

TEST(ToolRegistryTest, CatalogueListsToolsInNameOrderWithInputSchema)
{
    ToolRegistry registry;
    registry.tools.clear();
    registry.Register(MakeTool("zeta_tool", "Last one", Echo));
    registry.Register(MakeTool("alpha_tool", "First one", Echo));
    registry.Register(MakeTool("mid_tool", "Middle one", Echo));

    const json catalogue = registry.GetToolDefinitions();
    ASSERT_TRUE(catalogue.is_array());
    ASSERT_EQ(catalogue.size(), 3u);
    EXPECT_EQ(catalogue[0]["name"], "alpha_tool");
    EXPECT_EQ(catalogue[1]["name"], "mid_tool");
    EXPECT_EQ(catalogue[2]["name"], "zeta_tool");
    EXPECT_EQ(catalogue[0]["description"], "First one");
    EXPECT_EQ(catalogue[2]["input_schema"], registry.tools.at("zeta_tool").inputSchema);
    for (const json& entry : catalogue) {
        EXPECT_EQ(entry.size(), 3u) << entry.dump();
        EXPECT_FALSE(entry.contains("inputSchema"));
    }
    // The schema keys come out sorted, as the model's request text will carry them.
    const std::string text = catalogue[0].dump();
    EXPECT_LT(text.find("\"description\""), text.find("\"input_schema\""));
    EXPECT_LT(text.find("\"properties\""), text.find("\"required\""));
}

TEST(ToolRegistryTest, EmptyRegistryGivesEmptyArray)
{
    ToolRegistry registry;
    registry.tools.clear();
    const json catalogue = registry.GetToolDefinitions();
    EXPECT_TRUE(catalogue.is_array());
    EXPECT_EQ(catalogue.dump(), "[]");
}

// ---- Dispatch ----

TEST(ToolRegistryTest, UnknownToolFailsWithItsName)
{
    ToolRegistry registry;
    const ToolResult result = registry.ExecuteTool("no_such_tool_here", json::object());
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.error, "Unknown tool: no_such_tool_here");
    EXPECT_TRUE(result.message.empty());
    EXPECT_TRUE(result.elementGuid.empty());
}

TEST(ToolRegistryTest, HandlerReceivesTheInputUnchanged)
{
    ToolRegistry registry;
    registry.Register(MakeTool("echo", "Echo", Echo));
    const json input = {{"b", {1, 2.5, "x"}}, {"a", nullptr}};
    const ToolResult result = registry.ExecuteTool("echo", input);
    ASSERT_TRUE(result.success);
    EXPECT_EQ(json::parse(result.message), input);
}

TEST(ToolRegistryTest, JsonLibraryErrorsBecomeFailedResultsWithTheirText)
{
    ToolRegistry registry;
    // 302: a present key of the wrong type read through value().
    registry.Register(MakeTool("reads_count", "", [](const json& input) {
        const int count = input.value("count", 1);
        return ToolResult::Ok("", std::to_string(count));
    }));
    // 306: value() on an input that is not an object.
    registry.Register(MakeTool("reads_field", "", [](const json& input) {
        return ToolResult::Ok("", input.value("name", std::string("none")));
    }));
    // 316: a reply carrying text that is not valid UTF-8.
    registry.Register(MakeTool("dumps_bytes", "", [](const json&) {
        json reply = {{"name", std::string("bad\xC3\x28")}};
        return ToolResult::Ok("", reply.dump());
    }));

    struct Case {
        const char* tool;
        json input;
        int id;
    };
    const Case cases[] = {
        {"reads_count", {{"count", "three"}}, 302},
        {"reads_field", json::array({1, 2}), 306},
        {"reads_field", "just text", 306},
        {"dumps_bytes", json::object(), 316},
    };
    for (const Case& c : cases) {
        std::string expected;
        try {
            // Produce the library's own message for the same fault.
            if (c.id == 316) {
                (void)json(std::string("bad\xC3\x28")).dump();
            } else if (c.id == 306) {
                (void)c.input.value("name", std::string("none"));
            } else {
                (void)c.input.value("count", 1);
            }
        } catch (const json::exception& e) {
            EXPECT_EQ(e.id, c.id);
            expected = e.what();
        }
        ASSERT_FALSE(expected.empty()) << c.tool;
        const ToolResult result = registry.ExecuteTool(c.tool, c.input);
        EXPECT_FALSE(result.success) << c.tool;
        EXPECT_EQ(result.error, expected) << c.tool;
        EXPECT_TRUE(result.message.empty());
        EXPECT_TRUE(result.elementGuid.empty());
    }
}

TEST(ToolRegistryTest, AnyStdExceptionBecomesAFailedResult)
{
    ToolRegistry registry;
    registry.Register(MakeTool("throws_runtime", "", [](const json&) -> ToolResult {
        throw std::runtime_error("thread could not start");
    }));
    registry.Register(MakeTool("throws_out_of_range", "", [](const json& input) -> ToolResult {
        return ToolResult::Ok("", input.at("missing").dump());
    }));
    EXPECT_EQ(registry.ExecuteTool("throws_runtime", json::object()).error, "thread could not start");
    const ToolResult missing = registry.ExecuteTool("throws_out_of_range", json::object());
    EXPECT_FALSE(missing.success);
    EXPECT_NE(missing.error.find("missing"), std::string::npos) << missing.error;
}

TEST(ToolRegistryTest, ExceptionsOfOtherTypesPassOn)
{
    ToolRegistry registry;
    registry.Register(MakeTool("throws_other", "", [](const json&) -> ToolResult { throw NotAStdException{}; }));
    registry.Register(MakeTool("throws_int", "", [](const json&) -> ToolResult { throw 42; }));
    EXPECT_THROW(registry.ExecuteTool("throws_other", json::object()), NotAStdException);
    EXPECT_THROW(registry.ExecuteTool("throws_int", json::object()), int);
}

TEST(ToolRegistryTest, ToolWithoutHandlerFailsInsteadOfCrashing)
{
    ToolRegistry registry;
    ToolDef def = MakeTool("hollow", "", nullptr);
    registry.Register(std::move(def));
    const ToolResult result = registry.ExecuteTool("hollow", json::object());
    EXPECT_FALSE(result.success);
    EXPECT_FALSE(result.error.empty());
}

// ---- Result text ----

TEST(ToolResultTest, OkAndFailFillTheirFields)
{
    const ToolResult ok = ToolResult::Ok("guid-text", "done");
    EXPECT_TRUE(ok.success);
    EXPECT_EQ(ok.elementGuid, "guid-text");
    EXPECT_EQ(ok.message, "done");
    EXPECT_TRUE(ok.error.empty());

    const ToolResult fail = ToolResult::Fail("it broke");
    EXPECT_FALSE(fail.success);
    EXPECT_TRUE(fail.elementGuid.empty());
    EXPECT_TRUE(fail.message.empty());
    EXPECT_EQ(fail.error, "it broke");
}

TEST(ToolResultTest, ToJsonShapes)
{
    EXPECT_EQ(ToolResult::Ok("", "").toJson(), R"({"success":true})");
    EXPECT_EQ(ToolResult::Ok("G-1", "").toJson(), R"({"element_guid":"G-1","success":true})");
    EXPECT_EQ(ToolResult::Ok("", "Wall created").toJson(), R"({"message":"Wall created","success":true})");
    EXPECT_EQ(ToolResult::Ok("G-1", "m").toJson(), R"({"element_guid":"G-1","message":"m","success":true})");
    EXPECT_EQ(ToolResult::Fail("bad input").toJson(), R"({"error":"bad input","success":false})");
    EXPECT_EQ(ToolResult::Fail("").toJson(), R"({"error":"Unknown error","success":false})");

    // A failure never reports a GUID or message even when the fields were filled by hand.
    ToolResult odd;
    odd.success = false;
    odd.elementGuid = "G";
    odd.message = "m";
    EXPECT_EQ(odd.toJson(), R"({"error":"Unknown error","success":false})");
}

TEST(ToolResultTest, ToJsonKeepsNonAsciiAndEscapesJsonText)
{
    const ToolResult ok = ToolResult::Ok("", u8"Wand \u00fcber Geschoss \u2013 fertig");
    EXPECT_EQ(ok.toJson(), std::string("{\"message\":\"") + u8"Wand \u00fcber Geschoss \u2013 fertig" + "\",\"success\":true}");

    const json inner = {{"count", 2}, {"name", "a\"b"}};
    const ToolResult nested = ToolResult::Ok("", inner.dump());
    const json outer = json::parse(nested.toJson());
    EXPECT_EQ(json::parse(outer["message"].get<std::string>()), inner);
}

TEST(ToolResultTest, ToJsonRejectsInvalidUtf8)
{
    const ToolResult bad = ToolResult::Fail(std::string("\xFF\xFE"));
    try {
        (void)bad.toJson();
        FAIL() << "expected the JSON library's UTF-8 error";
    } catch (const json::type_error& e) {
        EXPECT_EQ(e.id, 316);
    }
}
