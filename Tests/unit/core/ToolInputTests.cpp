#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/ToolInput.hpp"
#include "core/ToolRegistry.hpp"

using nlohmann::json;

TEST(IntInputTest, InRangeValuesMatchTheLibrary)
{
    const json input = {{"whole", 7},       {"negative", -3},      {"cut_up", 2.7},
                        {"cut_down", -2.7}, {"yes", true},         {"no", false},
                        {"big", 2147483647}, {"small", -2147483648LL}, {"edge_float", 2147483647.9},
                        {"edge_negative_float", -2147483648.9},     {"unsigned", 12u}, {"zero_float", -0.0}};
    for (const auto& item : input.items()) {
        EXPECT_EQ(IntInput(input, item.key(), 99), input.value(item.key(), 99)) << item.key();
    }
    EXPECT_EQ(IntInput(input, "cut_up", 0), 2);
    EXPECT_EQ(IntInput(input, "cut_down", 0), -2);
    EXPECT_EQ(IntInput(input, "absent", 42), 42);
    EXPECT_EQ(IntValue(json(-5.9), "index"), -5);
    EXPECT_EQ(IntValue(json(true), "index"), 1);
}

TEST(IntInputTest, WrongJsonTypesRaiseTheLibraryTypeError)
{
    const json input = {{"text", "12"}, {"list", {1}}, {"object", {{"a", 1}}}, {"nothing", nullptr}};
    for (const char* key : {"text", "list", "object", "nothing"}) {
        std::string expected;
        try {
            (void)input.value(key, 0);
        } catch (const json::exception& e) {
            expected = e.what();
        }
        try {
            (void)IntInput(input, key, 0);
            FAIL() << key;
        } catch (const json::type_error& e) {
            EXPECT_EQ(e.id, 302) << key;
            EXPECT_EQ(std::string(e.what()), expected);
        }
    }
    try {
        (void)IntInput(json::array({1}), "count", 0);
        FAIL();
    } catch (const json::type_error& e) {
        EXPECT_EQ(e.id, 306);
    }
    EXPECT_THROW(IntValue(json("7"), "index"), json::type_error);
}

TEST(IntInputTest, OutOfRangeAndNonFiniteNumbersThrowToolInputErrorNamingTheValue)
{
    const json cases[] = {1e20, -1e20, 2147483648.0, -2147483649.0, 2147483648LL, -2147483649LL,
                          std::numeric_limits<std::uint64_t>::max(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), std::nan(""), json::parse("4.5e300")};
    for (const json& value : cases) {
        try {
            (void)IntInput({{"count", value}}, "count", 0);
            FAIL() << value.dump();
        } catch (const ToolInputError& e) {
            const std::string text = e.what();
            EXPECT_EQ(text.rfind("Input 'count'", 0), 0u) << text;
            EXPECT_NE(text.find("2147483647"), std::string::npos) << text;
        }
    }
    try {
        (void)IntValue(json(-1e20), "points[3]");
        FAIL();
    } catch (const ToolInputError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("points[3]", 0), 0u) << e.what();
    }
}

TEST(IntInputTest, RegistryTurnsRangeErrorsIntoFailedResultsBeforeTheHandlerGoesOn)
{
    ToolRegistry registry;
    bool reachedHost = false;
    registry.Register({"uses_count", "", {{"type", "object"}}, [&reachedHost](const json& input) {
                           const int count = IntInput(input, "count", 1);
                           reachedHost = true;
                           return ToolResult::Ok("", std::to_string(count));
                       }});
    const ToolResult bad = registry.ExecuteTool("uses_count", {{"count", 1e20}});
    EXPECT_FALSE(bad.success);
    EXPECT_NE(bad.error.find("count"), std::string::npos);
    EXPECT_FALSE(reachedHost);
    EXPECT_EQ(registry.ExecuteTool("uses_count", {{"count", 3.99}}).message, "3");
}
