// A conversation kept between runs is read back only when a service would accept it again.
#include <gtest/gtest.h>

#include "engine/HistoryJson.hpp"

using nlohmann::json;

TEST(HistoryJson, RoundTripsAndRefusesHistoriesNoServiceWouldTakeBack)
{
    const json user = {{"role", "user"}, {"content", {{{"type", "text"}, {"text", "Add a wall"}}}}};
    const json image = {{"type", "image"}, {"media_type", "image/png"}, {"data", "UE5H"}};
    const json call = {
        {"role", "assistant"},
        {"content", {{{"type", "tool_use"}, {"id", "t1"}, {"name", "create_wall"}, {"input", {{"x", 1}}}}}}};
    const json answer = {
        {"role", "user"},
        {"content",
         {{{"type", "tool_result"}, {"id", "t1"}, {"text", "{\"success\":true}"}, {"is_error", false}}, image}}};
    const json stray = {{"role", "user"},
                        {"content", {{{"type", "tool_result"}, {"id", "t9"}, {"text", "x"}, {"is_error", false}}}}};
    const struct {
        const char* name;
        json history;
        bool readable;
    } cases[] = {
        {"text, image, a call and its result", {user, call, answer}, true},
        {"empty", json::array(), true},
        {"not a list", {{"role", "user"}}, false},
        {"two user messages in a row", {user, user}, false},
        {"starts with the assistant", {call, answer}, false},
        {"a result for a call never made", {stray}, false},
        {"a call left without its result", {user, call}, false},
        {"a block of an unknown kind", {{{"role", "user"}, {"content", {{{"type", "video"}}}}}}, false},
    };
    for (const auto& c : cases) {
        std::vector<HistoryMessage> messages;
        std::string error;
        EXPECT_EQ(HistoryFromJson(c.history, messages, error), c.readable) << c.name << ": " << error;
        if (c.readable) {
            EXPECT_EQ(HistoryToJson(messages), c.history) << c.name;
        }
    }
}
