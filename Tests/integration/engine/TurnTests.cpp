// A turn through the engine: tool calls run on the main thread and their outcomes go back,
// messages queue, and each service gets the conversation in its own shape.
#include "EngineFixture.hpp"
#include "core/OutsideText.hpp"

TEST_F(EngineTest, ToolCallsRunInOrderOnTheMainThreadAndEveryOutcomeIsSentBack)
{
    bool ranOnMain = false;
    json seenInput;
    const ToolResult made = ToolResult::Ok("0A1B-GUID", "wall made");
    AddTool("probe_wall", [&](const json& input) {
        ranOnMain = MainQueue::IsMainThread();
        seenInput = input;
        DispatchAsyncMain([this] { Note("posted-by-handler"); });
        return made;
    });
    AddTool("second_tool", [](const json&) { return ToolResult::Fail("second went wrong"); });
    AddTool("throws_int", [](const json&) -> ToolResult { throw 42; });
    AddTool("throws_empty", [](const json&) -> ToolResult { throw std::runtime_error(""); });
    AddTool("name_reader", [](const json&) { return ToolResult::Ok("G-2", "Layer \xFF\xFE renamed"); });
    const Events names{"probe_wall", "second_tool", "throws_int", "throws_empty", "no_such_tool", "name_reader"};
    std::vector<Call> calls;
    for (const std::string& name : names) {
        calls.push_back({"id_" + name, name, name == "probe_wall" ? json{{"length", 3.5}} : json::object()});
    }
    server.Script(AnthropicReply("Making it.", calls));
    server.Script(AnthropicReply("Done."));
    ASSERT_TRUE(Send("Do them all"));

    EXPECT_TRUE(ranOnMain);
    EXPECT_EQ(seenInput, json({{"length", 3.5}}));
    // A result text that is not UTF-8 still reports the success, with the bad bytes replaced.
    ASSERT_EQ(events.size(), 11u);
    EXPECT_EQ(events[8].rfind("tool:name_reader:ok:Layer ", 0), 0u) << events[8];
    events.erase(events.begin() + 8);
    EXPECT_EQ(events, (Events{"busy:on", "text:Making it.", "posted-by-handler", "tool:probe_wall:ok:wall made",
                              "tool:second_tool:failed:second went wrong", "tool:throws_int:failed:Unknown error",
                              "tool:throws_empty:failed:Unknown error",
                              "tool:no_such_tool:failed:Unknown tool: no_such_tool", "text:Done.", "busy:off"}));

    const json second = server.Requests().at(1).body;
    EXPECT_EQ(second["tools"], bridgeRegistry->GetToolDefinitions());  // the catalogue travels with every request
    const json& messages = second["messages"];
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1]["content"][1]["id"], "id_probe_wall");
    const json& results = messages[2]["content"];
    ASSERT_EQ(results.size(), names.size());
    const std::string unknown = ToolResult::Fail("Unknown error").toJson();
    const Events expected{made.toJson(), ToolResult::Fail("second went wrong").toJson(), unknown, unknown,
                          ToolResult::Fail("Unknown tool: no_such_tool").toJson()};
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(results[i]["type"], "tool_result");
        EXPECT_EQ(results[i]["tool_use_id"], "id_" + names[i]);
        EXPECT_TRUE(i >= expected.size() || results[i]["content"] == expected[i]) << results[i];
        EXPECT_EQ(results[i].value("is_error", false), i > 0 && i < 5) << "only failures carry the error mark";
    }
    const json renamed = json::parse(results[5]["content"].get<std::string>());
    EXPECT_EQ(renamed["success"], true);
    EXPECT_EQ(renamed["element_guid"], "G-2");
    EXPECT_EQ(renamed["message"].get<std::string>().rfind("Layer ", 0), 0u);
}

// What the model reads of a flooding result (its JSON, the text escaped within) is the cap's
// worth, whatever escaping costs: plain, quoted, control and invalid characters.
TEST_F(EngineTest, AFloodingResultReachesTheModelCutToTheCap)
{
    const Events floods = {std::string(300000, 'x'), std::string(300000, '"'), std::string(300000, '\x01'),
                           std::string(300000, '\xFF')};
    AddTool("flood", [&](const json& input) { return ToolResult::Ok("", floods.at(input.at("row"))); });
    std::vector<Call> calls;
    for (std::size_t row = 0; row < floods.size(); ++row)
        calls.push_back({std::to_string(row), "flood", {{"row", row}}});
    server.Script(AnthropicReply("", calls));
    server.Script(AnthropicReply("Done."));
    ASSERT_TRUE(Send("Flood"));
    const json results = server.Requests().at(1).body["messages"][2]["content"];
    ASSERT_EQ(results.size(), floods.size());
    for (const json& result : results) {
        const std::string content = result.at("content");
        EXPECT_LE(content.size(), kMaxToolResultBytes) << result["tool_use_id"];
        EXPECT_GT(content.size(), kMaxToolResultBytes - 512) << result["tool_use_id"];  // no shorter than it must be
        EXPECT_NE(content.find("[Result cut: only the first "), std::string::npos);
    }
}

TEST_F(EngineTest, IterationsStopAtTwenty)
{
    int runs = 0;
    AddTool("again", [&](const json&) {
        ++runs;
        return ToolResult::Ok("", "again");
    });
    for (int i = 0; i < ModelBridge::kMaxIterations; ++i) {  // one more request would get an error reply
        server.Script(AnthropicReply("\n\n", {{"loop", "again", json::object()}}));
    }
    ASSERT_TRUE(Send("Loop forever"));

    EXPECT_EQ(server.Requests().size(), static_cast<std::size_t>(ModelBridge::kMaxIterations));
    EXPECT_EQ(runs, ModelBridge::kMaxIterations);
    ASSERT_EQ(texts.size(), 1u) << "a blank text was shown";
    EXPECT_EQ(texts[0].rfind(kWarning, 0), 0u) << texts[0];
    EXPECT_EQ(events.back(), "busy:off");

    // The conversation is still well formed: the next message joins the last tool results.
    server.Script(AnthropicReply("resumed"));
    ASSERT_TRUE(Send("continue"));
    const json messages = server.Requests().back().body["messages"];
    EXPECT_EQ(messages[1]["content"].size(), 1u) << "a blank text was sent back, which the service refuses";
    const json last = messages.back();
    EXPECT_EQ(last["role"], "user");
    EXPECT_EQ(last["content"].front()["type"], "tool_result");
    EXPECT_EQ(last["content"].back(), json({{"type", "text"}, {"text", "continue"}}));
}

TEST_F(EngineTest, MessagesQueueBehindATurnAndBlankOrBrokenTextIsHandled)
{
    server.Script(AnthropicReply("answer one"), 200, true);
    server.Script(AnthropicReply("answer two"));
    EXPECT_TRUE(bridge->SendMessage("caf\xC3 and \xFF"));
    ASSERT_TRUE(server.WaitForRequests(1));
    EXPECT_FALSE(bridge->SendMessage("   \n "));  // blank messages start no turn and are not taken
    EXPECT_FALSE(bridge->SendMessageWithAttachments(json::array({{{"type", "text"}, {"text", ""}}})));
    EXPECT_TRUE(bridge->SendMessage("two"));
    EXPECT_TRUE(bridge->IsBusy());
    server.Release();
    ASSERT_TRUE(WaitForTurns(2));

    EXPECT_EQ(events, (Events{"busy:on", "text:answer one", "busy:off", "busy:on", "text:answer two", "busy:off"}));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    ASSERT_FALSE(requests[0].body.is_discarded()) << "invalid UTF-8 made the request unreadable";
    EXPECT_EQ(requests[0].body["messages"][0]["content"][0]["text"].get<std::string>().rfind("caf", 0), 0u);
    EXPECT_EQ(requests[1].body["messages"][2]["content"], json::parse(R"([{"type":"text","text":"two"}])"));
}

TEST_F(EngineTest, EachServiceGetsTheWholeConversationInItsOwnShape)
{
    json seen = json::array();
    const ToolResult made = ToolResult::Ok("GUID-9", "");
    AddTool("probe_slab", [&](const json& input) {
        seen.push_back(input);
        return made;
    });
    server.Script(AnthropicReply("Hello from the model"));
    ASSERT_TRUE(Send("Hi there"));
    EXPECT_EQ(events, (Events{"busy:on", "text:Hello from the model", "busy:off"}));
    auto first = server.Requests().at(0);
    EXPECT_EQ(first.path, "/v1/messages");
    EXPECT_EQ(first.headers["x-api-key"], kAnthropicKey);
    EXPECT_FALSE(first.headers["anthropic-version"].empty());
    EXPECT_EQ(first.headers.count("Authorization"), 0u);
    EXPECT_EQ(first.body["model"], "claude-test-model");
    EXPECT_EQ(first.body["max_tokens"], 4096);
    EXPECT_EQ(first.body["messages"],
              json::parse(R"([{"role":"user","content":[{"type":"text","text":"Hi there"}]}])"));
    ASSERT_TRUE(first.body["system"].is_string());

    // An OpenAI model name switches the service, and the conversation carries over.
    bridge->SetModel("o3-mini");
    server.Script(
        OpenAIReply("", {{"call_abc", "probe_slab", {{"story", 2}}}, {"call_bad", "probe_slab", "{\"story\": 2"}}));
    server.Script(OpenAIReply("Slab placed."));
    ASSERT_TRUE(Send("Slab on story 2"));
    EXPECT_EQ(seen, json::array({json{{"story", 2}}}));  // broken arguments never reach the tool
    const std::string badArguments = "The tool arguments were not a JSON object.";
    EXPECT_EQ(Events(events.begin() + 3, events.end()),
              (Events{"busy:on", "tool:probe_slab:ok:GUID-9", "tool:probe_slab:failed:" + badArguments,
                      "text:Slab placed.", "busy:off"}));
    auto second = server.Requests().at(1);
    EXPECT_EQ(second.path, "/v1/chat/completions");
    EXPECT_EQ(second.headers["Authorization"], std::string("Bearer ") + kOpenAIKey);
    EXPECT_EQ(second.headers.count("x-api-key"), 0u);
    EXPECT_EQ(second.body["model"], "o3-mini");
    EXPECT_EQ(second.body["max_completion_tokens"], 4096);
    EXPECT_EQ(second.body["messages"], json::array({json{{"role", "system"}, {"content", first.body["system"]}},
                                                    json{{"role", "user"}, {"content", "Hi there"}},
                                                    json{{"role", "assistant"}, {"content", "Hello from the model"}},
                                                    json{{"role", "user"}, {"content", "Slab on story 2"}}}));
    const json& tools = second.body["tools"];
    ASSERT_EQ(tools.size(), bridgeRegistry->tools.size());
    EXPECT_TRUE(std::any_of(tools.begin(), tools.end(), [&](const json& tool) {
        return tool["function"]["name"] == "probe_slab" &&
               tool["function"]["parameters"] == bridgeRegistry->tools.at("probe_slab").inputSchema;
    }));
    const json messages = server.Requests().at(2).body["messages"];
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_TRUE(messages[4]["content"].is_null());
    EXPECT_EQ(messages[4]["tool_calls"][0]["id"], "call_abc");
    EXPECT_EQ(messages[5], json({{"role", "tool"}, {"tool_call_id", "call_abc"}, {"content", made.toJson()}}));
    EXPECT_EQ(
        messages[6],
        json({{"role", "tool"}, {"tool_call_id", "call_bad"}, {"content", ToolResult::Fail(badArguments).toJson()}}));
}

// A reply stopped by the output limit is marked as cut after its text.
TEST_F(EngineTest, AReplyCutByTheOutputLimitIsMarkedAfterItsText)
{
    struct Case {
        const char* name;
        const char* model;
        json reply;
        bool cut;
    };
    json openaiCut = OpenAIReply("The walls are");
    openaiCut["choices"][0]["finish_reason"] = "length";
    json anthropicCut = AnthropicReply("The walls are");
    anthropicCut["stop_reason"] = "max_tokens";
    const std::vector<Case> cases = {
        {"Anthropic at the limit", "claude-test-model", anthropicCut, true},
        {"OpenAI at the limit", "gpt-4o", openaiCut, true},
        {"Anthropic finished", "claude-test-model", AnthropicReply("The walls are done."), false},
    };
    for (const Case& c : cases) {
        texts.clear();
        bridge->SetModel(c.model);
        server.Script(c.reply);
        ASSERT_TRUE(Send("describe")) << c.name;
        ASSERT_EQ(texts.size(), c.cut ? 2u : 1u) << c.name;
        EXPECT_EQ(texts[0].rfind(kWarning, 0), std::string::npos) << c.name;
        if (c.cut) {
            EXPECT_EQ(texts[1], std::string(kWarning) + "The reply above was cut short: it reached the limit of " +
                                    std::to_string(ModelBridge::kMaxOutputTokens) +
                                    " output tokens. Ask the assistant to continue.")
                << c.name;
        }
    }
}

// Services that number every reply's calls from "call_0" (or give two calls one id): each call
// gets a name of its own as the reply arrives, and its result goes back under that name.
TEST_F(EngineTest, RepeatedToolCallIdsAreGivenNamesOfTheirOwn)
{
    AddTool("probe", [](const json& input) { return ToolResult::Ok("", "probe " + input.at("n").dump()); });
    const struct {
        const char* model;
        json (*reply)(const std::string&, const std::vector<Call>&);
    } rows[] = {{"claude-test-model", &AnthropicReply}, {"o3-mini", &OpenAIReply}};
    for (const auto& row : rows) {
        bridge->ClearHistory();
        bridge->SetModel(row.model);
        const std::size_t before = server.Requests().size();
        server.Script(row.reply("", {{"call_0", "probe", {{"n", 1}}}, {"call_0", "probe", {{"n", 2}}}}));
        server.Script(row.reply("", {{"call_0", "probe", {{"n", 3}}}}));
        server.Script(row.reply("Done.", {}));
        ASSERT_TRUE(Send("Probe three times")) << row.model;
        ASSERT_EQ(server.Requests().size(), before + 3) << row.model;
        // Each call's id and its result's, as the last request carries them.
        std::vector<std::pair<std::string, std::string>> calls, results;
        const json messages = server.Requests().back().body["messages"];
        for (const json& message : messages) {
            for (const json& call : message.value("tool_calls", json::array()))
                calls.push_back({call["id"], call["function"]["arguments"]});
            if (message.value("role", "") == "tool") results.push_back({message["tool_call_id"], message["content"]});
            if (!message["content"].is_array()) continue;
            for (const json& block : message["content"]) {
                if (block["type"] == "tool_use") calls.push_back({block["id"], block["input"].dump()});
                if (block["type"] == "tool_result") results.push_back({block["tool_use_id"], block["content"]});
            }
        }
        ASSERT_EQ(calls.size(), 3u) << row.model;
        ASSERT_EQ(results.size(), 3u) << row.model;
        EXPECT_EQ(calls[0].first, "call_0") << row.model;
        EXPECT_EQ(calls[1].first, "call_0-2") << row.model;
        EXPECT_EQ(calls[2].first, "call_0-3") << row.model;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(results[i].first, calls[i].first) << row.model;
            EXPECT_NE(results[i].second.find("probe " + std::to_string(i + 1)), std::string::npos) << row.model;
        }
    }
}
