#include "EngineFixture.hpp"

using nlohmann::json;

namespace {

json Block(const std::string& type, const std::string& mediaType, const std::string& data)
{
    return {{"type", type}, {"source", {{"type", "base64"}, {"media_type", mediaType}, {"data", data}}}};
}

}  // namespace

TEST_F(EngineTest, AttachmentsReachTheRequestAndTheTools)
{
    std::vector<AttachmentData> seen;
    AddTool("read_attachments", [&](const json&) {
        for (int i = -1; i <= 5; ++i) {
            seen.push_back(bridge->GetCurrentAttachment(i));
        }
        return ToolResult::Ok("", "read");
    });
    const json content = json::array({{{"type", "text"}, {"text", "Here is my plan"}},
                                      Block("image", "image/png", "UE5HMQ=="),
                                      Block("document", "application/pdf", "JVBERi0x"),
                                      Block("image", "image/jpeg", "/9j/AA=="),
                                      Block("image", "image/tiff", "SUkqAA=="),
                                      Block("image", "", "QUJD")});
    anthropic.ScriptJson(FakeReplies::AnthropicTools("", {{"t1", "read_attachments", json::object()}}));
    anthropic.ScriptJson(FakeReplies::AnthropicText("Seen."));

    bridge->SendMessageWithAttachments(content);
    ASSERT_TRUE(WaitForTurns(1));

    ASSERT_EQ(seen.size(), 7u);
    const auto expect = [](const AttachmentData& a, const char* data, const char* type, const char* ext) {
        EXPECT_EQ(a.data, data);
        EXPECT_EQ(a.mediaType, type);
        EXPECT_EQ(a.extension, ext);
    };
    expect(seen[0], "", "", "");                              // index -1
    expect(seen[1], "UE5HMQ==", "image/png", "png");
    expect(seen[2], "JVBERi0x", "application/pdf", "pdf");
    expect(seen[3], "/9j/AA==", "image/jpeg", "jpg");
    expect(seen[4], "SUkqAA==", "image/tiff", "tiff");
    expect(seen[5], "QUJD", "", "png");
    expect(seen[6], "", "", "");                              // one past the end

    const json blocks = anthropic.Requests()[0].json.at("messages")[0].at("content");
    ASSERT_EQ(blocks.size(), 6u);
    EXPECT_EQ(blocks[1], content[1]);
    EXPECT_EQ(blocks[2], content[2]);
    EXPECT_EQ(blocks[3], content[3]);
    // Types the service cannot read are described instead of sent, so the request is accepted.
    EXPECT_EQ(blocks[4].at("type"), "text");
    EXPECT_NE(blocks[4].at("text").get<std::string>().find("image/tiff"), std::string::npos);

    // Attachments stay until the next message starts, and a plain message empties them.
    EXPECT_EQ(bridge->GetCurrentAttachment(0).data, "UE5HMQ==");
    anthropic.ScriptJson(FakeReplies::AnthropicText("Plain."));
    bridge->SendMessage("no attachments now");
    ASSERT_TRUE(WaitForTurns(2));
    EXPECT_EQ(bridge->GetCurrentAttachment(0).data, "");
    EXPECT_EQ(bridge->GetCurrentAttachment(0).extension, "");
}

TEST_F(EngineTest, UnreadableMessageContentIsRefusedWithoutATurn)
{
    const std::vector<json> bad = {
        json{{"type", "text"}},                                           // not a list
        json::array({{{"type", "image"}}}),                               // no source
        json::array({Block("image", "image/png", "")}),                   // empty data
        json::array({{{"type", "video"}, {"text", "x"}}}),                // unknown type
        json::array({42}),                                                // not an object
        json::array({{{"type", "image"}, {"source", {{"type", "url"}, {"data", "http://x"}}}}}),
        json::array({{{"type", "text"}, {"text", 7}}}),
    };
    for (const json& content : bad) {
        bridge->SendMessageWithAttachments(content);
    }
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(texts.size(), bad.size());
    for (const std::string& text : texts) {
        EXPECT_EQ(text.rfind("\xE2\x9A\xA0 ", 0), 0u) << text;
    }
    EXPECT_EQ(anthropic.RequestCount(), 0u);
    EXPECT_FALSE(bridge->IsBusy());
}
