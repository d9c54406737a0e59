// A conversation kept between runs is read back only when a service would accept it again.
#include <gtest/gtest.h>

#include "engine/HistoryJson.hpp"

TEST(HistoryJson, RoundTripsAndRefusesHistoriesNoServiceWouldTakeBack)
{
    const std::string user = R"({"role":"user","content":[{"type":"text","text":"Add a wall"}]})";
    const std::string call =
        R"({"role":"assistant","content":[{"type":"tool_use","id":"t1","name":"create_wall","input":{"x":1}}]})";
    const std::string answer = R"({"role":"user","content":[{"type":"tool_result","id":"t1","text":"ok",)"
                               R"("is_error":false},{"type":"image","media_type":"image/png","data":"UE5H"}]})";
    const std::string stray =
        R"({"role":"user","content":[{"type":"tool_result","id":"t9","text":"x","is_error":true}]})";
    const struct {
        const char* name;
        std::string history;
        bool readable;
    } cases[] = {
        {"text, image, a call and its result", "[" + user + "," + call + "," + answer + "]", true},
        {"not a list", user, false},
        {"two user messages in a row", "[" + user + "," + user + "]", false},
        {"starts with the assistant", "[" + call + "," + answer + "]", false},
        {"a result for a call never made", "[" + stray + "]", false},
        {"a call left without its result", "[" + user + "," + call + "]", false},
        {"a block of an unknown kind", R"([{"role":"user","content":[{"type":"video"}]}])", false},
    };
    for (const auto& c : cases) {
        const nlohmann::json history = nlohmann::json::parse(c.history);
        std::vector<HistoryMessage> messages;
        std::string error;
        EXPECT_EQ(HistoryFromJson(history, messages, error), c.readable) << c.name << ": " << error;
        if (c.readable) {
            EXPECT_EQ(HistoryToJson(messages), history) << c.name;
        }
    }
}
