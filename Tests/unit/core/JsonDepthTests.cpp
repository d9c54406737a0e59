// Input read from outside: the nesting check that keeps recursion away from its JSON, and
// attachment text to bytes (the standard alphabet, unknown characters skipped, padding only at the end).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Base64.hpp"
#include "core/JsonDepth.hpp"

namespace {

std::string Nested(std::size_t levels, const std::string& open, const std::string& close, const std::string& inner)
{
    std::string text;
    for (std::size_t i = 0; i < levels; ++i) text += open;
    text += inner;
    for (std::size_t i = 0; i < levels; ++i) text += close;
    return text;
}

}  // namespace

TEST(JsonDepth, CountsArraysAndObjectsAtEveryBranch)
{
    // Written as text and parsed in place: the parser does not recurse, but copying a deep
    // value (into a table, say) would.
    struct Case {
        const char* name;
        std::string text;
        std::size_t limit;
        bool deeper;
    };
    const std::vector<Case> cases = {
        {"lists at the limit", Nested(kMaxJsonDepth, "[", "]", ""), kMaxJsonDepth, false},
        {"lists one past", Nested(kMaxJsonDepth + 1, "[", "]", ""), kMaxJsonDepth, true},
        {"objects one past", Nested(kMaxJsonDepth + 1, R"({"a":)", "}", "1"), kMaxJsonDepth, true},
        {"brackets inside text", R"({"t":")" + std::string(1000, '[') + R"("})", 1, false},
        {"deep branch after a shallow one", R"([1,[2],[[[[3]]]]])", 4, true},
        {"wide and flat", "[" + Nested(100000, "1,", "", "1") + "]", 1, false},
        {"a million levels", Nested(1000000, "[", "]", ""), kMaxJsonDepth, true},
    };
    for (const Case& c : cases) {
        const nlohmann::json value = nlohmann::json::parse(c.text);
        EXPECT_EQ(JsonNestsDeeperThan(value, c.limit), c.deeper) << c.name;
    }
}

TEST(Base64, DecodesPaddedTextSkippingEverythingOutsideTheAlphabet)
{
    const struct {
        const char* text;
        std::string bytes;  // empty: refused
    } cases[] = {
        {"UE5HMQ==", "PNG1"},
        {"UE\r\n5HMQ==", "PNG1"},  // a break inside a group
        {"QQ==", "A"},
        {"+/8A", std::string("\xfb\xff\x00", 3)},
        {"QUJD*QUJD", "ABCABC"},
        {"", ""},
        {"QQ", ""},        // not a multiple of four
        {"Q===", ""},      // padding longer than two
        {"QQ==QUJD", ""},  // data after padding
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(DecodeBase64(c.text, out), !c.bytes.empty()) << c.text;
        EXPECT_EQ(out, c.bytes) << c.text;
    }
}
