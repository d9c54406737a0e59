// Prompt caching through the whole engine against the fake services: every request of a tool
// turn starts with the same bytes as the one before it (so the services can read that prefix
// from their caches), Anthropic's cache marks sit where they should, and each request's token
// counts reach the debug log.

#include "EngineFixture.hpp"
#include "engine/SystemPrompt.hpp"

namespace {

const std::string kMarkText = R"("cache_control":{"type":"ephemeral"})";

// The request body up to the end of its last message: "messages" is the first list in the
// body (keys are written in name order), so what follows it is model, system and tools.
std::string MessagesPart(const std::string& raw)
{
    const std::size_t end = raw.find(R"(],"model":)");
    EXPECT_NE(end, std::string::npos) << raw;
    return raw.substr(0, end);
}

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace

class PromptCacheTest : public EngineTest {
protected:
    // A turn of three requests (two rounds of tool calls, then the answer), then a second turn.
    void RunTwoTurns(const std::function<json(const std::string&, const std::vector<Call>&)>& reply,
                     const std::vector<json>& usages)
    {
        AddTool("probe_wall", [](const json&) { return ToolResult::Ok("GUID-1", "wall made"); });
        AddTool("probe_slab", [](const json&) { return ToolResult::Fail("no story 9"); });
        const std::vector<json> replies = {
            reply("Looking.", {{"c1", "probe_wall", {{"length", 4}}}, {"c2", "probe_slab", {{"story", 9}}}}),
            reply("", {{"c3", "probe_wall", {{"length", 2}}}}), reply("Both done.", {}), reply("Again done.", {})};
        for (std::size_t i = 0; i < replies.size(); ++i) {
            json reply = replies[i];
            if (!usages[i].is_null()) reply["usage"] = usages[i];
            server.Script(reply);
        }
        ASSERT_TRUE(Send("Make a wall and a slab"));
        ASSERT_TRUE(Send("Once more"));
        ASSERT_EQ(server.Requests().size(), 4u);
    }
};

TEST_F(PromptCacheTest, AnthropicRequestsMarkTheirPrefixAndRepeatItByteForByte)
{
    const std::vector<json> usages = {{{"input_tokens", 30}, {"cache_read_input_tokens", 0}},
                                      {{"input_tokens", 25}, {"cache_read_input_tokens", 2100}},
                                      nullptr,  // a reply without usage
                                      {{"input_tokens", 9}}};
    RunTwoTurns(AnthropicReply, usages);
    const auto requests = server.Requests();

    std::vector<json> bodies;  // as sent, marks and all
    for (const auto& request : requests) bodies.push_back(json::parse(request.raw));
    for (std::size_t k = 0; k < requests.size(); ++k) {
        const json& body = bodies[k];
        SCOPED_TRACE("request " + std::to_string(k));
        EXPECT_EQ(Occurrences(requests[k].raw, kMarkText), 3u);
        EXPECT_EQ(body["system"][0]["text"], SystemPrompt());
        EXPECT_EQ(body["tools"].back()["cache_control"], json({{"type", "ephemeral"}}));
        EXPECT_EQ(body["messages"].back()["content"].back()["cache_control"], json({{"type", "ephemeral"}}));
    }
    // Tool results go back as the last block of each request, carrying the history's mark.
    EXPECT_EQ(requests[1].body["messages"].back()["content"].back()["tool_use_id"], "c2");
    EXPECT_EQ(requests[3].body["messages"].back()["content"].back()["text"], "Once more");

    // Tools and system are the same bytes each time; the conversation so far (its one mark
    // taken off) starts the next request's conversation byte for byte.
    for (std::size_t k = 0; k + 1 < requests.size(); ++k) {
        SCOPED_TRACE("request " + std::to_string(k));
        EXPECT_EQ(requests[k].body["tools"].dump(), requests[k + 1].body["tools"].dump());
        EXPECT_EQ(requests[k].body["system"].dump(), requests[k + 1].body["system"].dump());
        std::string earlier = MessagesPart(requests[k].raw);
        ASSERT_EQ(Occurrences(earlier, kMarkText + ","), 1u);
        earlier.erase(earlier.find(kMarkText + ","), kMarkText.size() + 1);
        EXPECT_EQ(MessagesPart(requests[k + 1].raw).rfind(earlier, 0), 0u) << earlier << "\n---\n"
                                                                           << requests[k + 1].raw;
    }

    // Each reply's counts reach the log, in order.
    const std::string log = LogText();
    EXPECT_EQ(Occurrences(log, "Anthropic usage:"), 4u) << log;
    const std::size_t read = log.find("cache_read_input_tokens 2100"), missing = log.find("usage: not reported");
    EXPECT_TRUE(read < missing && missing != std::string::npos) << log;
}

TEST_F(PromptCacheTest, OpenAIRequestsRepeatTheirPrefixByteForByte)
{
    bridge->SetModel("gpt-4o");
    RunTwoTurns(OpenAIReply, {nullptr, nullptr, nullptr, nullptr});
    const auto requests = server.Requests();

    for (std::size_t k = 0; k + 1 < requests.size(); ++k) {
        SCOPED_TRACE("request " + std::to_string(k));
        EXPECT_EQ(Occurrences(requests[k].raw, "cache_control"), 0u);
        EXPECT_EQ(requests[k].body["tools"].dump(), requests[k + 1].body["tools"].dump());
        EXPECT_EQ(requests[k].body["messages"][0]["role"], "system");
        // Everything up to the end of this request's messages begins the next request.
        EXPECT_EQ(MessagesPart(requests[k + 1].raw).rfind(MessagesPart(requests[k].raw), 0), 0u)
            << requests[k].raw << "\n---\n"
            << requests[k + 1].raw;
    }
    // system, user, assistant with two calls, their two results, assistant, its result
    EXPECT_EQ(requests[2].body["messages"].size(), 7u);
}
