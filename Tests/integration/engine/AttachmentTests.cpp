#include <tuple>

#include "EngineFixture.hpp"

namespace {

json Block(const std::string& type, const std::string& mediaType, const std::string& data)
{
    return {{"type", type}, {"source", {{"type", "base64"}, {"media_type", mediaType}, {"data", data}}}};
}

// Base64 text of a file of decodedBytes bytes.
std::string DataOfSize(std::size_t decodedBytes, char fill = 'A')
{
    return std::string((decodedBytes + 2) / 3 * 4, fill);
}

constexpr std::size_t kMiB = 1024 * 1024;

}  // namespace

TEST_F(EngineTest, AttachmentsServeOneMessageAndARefusedMessageIsNotKept)
{
    std::vector<Events> seen;  // data, media type, extension for indexes -1 .. 5
    AddTool("read_attachments", [&](const json&) {
        for (int i = -1; i <= 5; ++i) {
            const AttachmentData a = bridge->GetCurrentAttachment(i);
            seen.push_back({a.data, a.mediaType, a.extension});
        }
        return ToolResult::Ok("", "read");
    });
    const json content = json::array({{{"type", "text"}, {"text", "Here is my plan"}},
                                      Block("image", "image/png", "UE5HMQ=="),
                                      Block("document", "application/pdf", "JVBERi0x"),
                                      Block("image", "image/jpeg", "/9j/AA=="),
                                      Block("image", "image/tiff", "SUkqAA=="),
                                      Block("image", "", "QUJD")});
    server.Script(AnthropicReply("", {{"t1", "read_attachments", json::object()}}));
    server.Script(AnthropicReply("Seen."));
    bridge->SendMessageWithAttachments(content);
    ASSERT_TRUE(WaitForTurns(1));

    EXPECT_EQ(seen, (std::vector<Events>{{"", "", ""},
                                         {"UE5HMQ==", "image/png", "png"},
                                         {"JVBERi0x", "application/pdf", "pdf"},
                                         {"/9j/AA==", "image/jpeg", "jpg"},
                                         {"SUkqAA==", "image/tiff", "tiff"},
                                         {"QUJD", "", "png"},
                                         {"", "", ""}}));
    const json blocks = server.Requests().at(0).body["messages"][0]["content"];
    ASSERT_EQ(blocks.size(), 6u);
    EXPECT_EQ(json(blocks.begin(), blocks.begin() + 4), json(content.begin(), content.begin() + 4));
    // Types the service cannot read are described instead of sent, so the request is accepted.
    EXPECT_EQ(blocks[4]["type"], "text");
    EXPECT_NE(blocks[4]["text"].get<std::string>().find("image/tiff"), std::string::npos);

    // Attachments stay until the next message starts, and a plain message empties them.
    EXPECT_EQ(bridge->GetCurrentAttachment(0).data, "UE5HMQ==");
    server.Script(AnthropicReply("Plain."));
    ASSERT_TRUE(Send("no attachments now"));
    EXPECT_EQ(bridge->GetCurrentAttachment(0).data, "");

    // A message the service refuses is not kept, or it would be sent again with every later one.
    server.Script(R"({"error":{"message":"request too large"}})", 413);
    bridge->SendMessageWithAttachments(json::array({content[0], content[2]}));
    ASSERT_TRUE(WaitForTurns(3));
    EXPECT_EQ(texts.back().rfind(kWarning, 0), 0u);
    json expected = server.Requests().at(2).body["messages"];
    expected.push_back({{"role", "assistant"}, {"content", {{{"type", "text"}, {"text", "Plain."}}}}});
    expected.push_back({{"role", "user"}, {"content", {{{"type", "text"}, {"text", "smaller one"}}}}});
    server.Script(AnthropicReply("second answer"));
    ASSERT_TRUE(Send("smaller one"));
    EXPECT_EQ(server.Requests().back().body["messages"], expected);
}

TEST_F(EngineTest, UnreadableMessageContentIsRefusedWithoutATurn)
{
    const auto named = [](const std::string& name, const std::string& mediaType, const std::string& data) {
        json block = Block("image", mediaType, data);
        block["name"] = name;
        return block;
    };
    const auto pdf = [](const std::string& name, std::size_t size) {
        json block = Block("document", "application/pdf", DataOfSize(size));
        block["name"] = name;
        return block;
    };
    using Blamed = std::vector<std::size_t>;
    const std::vector<std::tuple<json, std::string, Blamed>> bad = {
        {json{{"type", "text"}}, "the message content is not a list of blocks", {}},
        {json::array({Block("image", "image/png", "")}), "block 1 (image) has no base64 data", {0}},
        {json::array({{{"type", "video"}, {"text", "x"}}}), "block 1 has an unknown type \"video\"", {}},
        {json::array({{{"type", "image"}, {"source", {{"type", "url"}, {"data", "http://x"}}}}}),
         "block 1 (image) is not base64 data",
         {0}},
        {json::array({Block("image", "image/png\r\nX-Evil: 1", "UE5HMQ==")}),
         "block 1 (image) has a media type holding a control character",
         {0}},
        {json::array({named("plan.png", "image/png\r\nX-Evil: 1", "UE5HMQ==")}),
         "the file \"plan.png\" has a media type holding a control character",
         {0}},
        // An empty file is named too, and only it stays out of the box.
        {json::array({{{"type", "text"}, {"text", "Trace these"}},
                      named("good.png", "image/png", "QQ=="),
                      named("empty.png", "image/png", "")}),
         "the file \"empty.png\" is empty; attach it again once it holds its content, or send the message without it",
         {2}},
        // A file is named as the page shows it, its control characters as escapes, and only the
        // files at fault are blamed: the rest go back into the box.
        {json::array({named("plan\n.png", "image/png", "QQ==")}),
         "the file \"plan\\u000a.png\" has a name holding a control character; rename it and attach it again",
         {0}},
        {json::array({named("plan\xC2\x85.png", "image/png", "QQ==")}),  // U+0085, a C1 control character
         "the file \"plan\\u0085.png\" has a name holding a control character; rename it and attach it again",
         {0}},
        {json::array({{{"type", "text"}, {"text", "Trace these"}},
                      named("a\x07.png", "image/png", "QQ=="),
                      named("good.png", "image/png", "QQ=="),
                      named("b\x1B\x7F.png", "image/png", "QQ==")}),
         "the files \"a\\u0007.png\" and \"b\\u001b\\u007f.png\" have names holding a control character; rename "
         "them and attach them again",
         {1, 3}},
        {json::array({{{"type", "image"}, {"name", 7}, {"source", Block("", "image/png", "QQ==")["source"]}}}),
         "block 1 (image) has a file name that is not text",
         {0}},
        {json::array(
             {Block("image", "image/tiff", "SUkqAA=="), Block("image", "image/png", std::string(5300000, 'A'))}),
         "attachment 2 (image) is 3.79 MB; Anthropic takes images of at most 3.75 MB",
         {1}},
        {json::array({named("small.png", "image/png", "QQ=="), named("big.png", "image/png", std::string(5300000, 'A')),
                      named("bigger.png", "image/png", std::string(5400000, 'A'))}),
         "the file \"big.png\" is 3.79 MB; Anthropic takes images of at most 3.75 MB; the file \"bigger.png\" is too "
         "large as well",
         {1, 2}},
        {json::array({Block("image", "image/tiff", std::string(34000000, 'A'))}),
         "attachment 1 (image) is 24.32 MB; images the model does not read may be at most 24 MB",
         {0}},
        {json::array({Block("image", "image/tiff", DataOfSize(17 * kMiB)),
                      Block("image", "image/tiff", DataOfSize(17 * kMiB))}),
         "the attachments come to 34 MB; one message may attach at most 32 MB, so attachment 2 (image) is taken "
         "out: send it in another message",
         {1}},
        // Past what one message may carry, the files are taken in order while they fit and the rest
        // named, so that what goes back into the box can be sent; one that cannot go in any message
        // is not sent to another.
        {json::array({Block("document", "application/pdf", DataOfSize(23 * kMiB))}),
         "the attachments the model reads come to 23 MB; Anthropic reads at most 22.5 MB of them in one message, "
         "so attachment 1 (PDF) is taken out",
         {0}},
        {json::array({{{"type", "text"}, {"text", "Trace these"}},
                      named("big.png", "image/png", std::string(5300000, 'A')),
                      pdf("a.pdf", 20 * kMiB),
                      pdf("b.pdf", 2 * kMiB),
                      pdf("c.pdf", kMiB),
                      pdf("d.pdf", kMiB)}),
         "the file \"big.png\" is 3.79 MB; Anthropic takes images of at most 3.75 MB; the other attachments the "
         "model reads come to 24 MB; Anthropic reads at most 22.5 MB of them in one message, so the files "
         "\"c.pdf\" and \"d.pdf\" are taken out: send them in later messages",
         {1, 4, 5}},
    };
    // Refused before it leaves, the message stays the caller's: it is told why and which blocks
    // are at fault, and nothing is given back that it would then hold twice.
    std::size_t givenBack = 0;
    bridge->SetUnsentCallback(
        [&](const std::vector<ContentBlock>& message, ModelBridge::GivenBack) { givenBack += message.size(); });
    for (const auto& [content, why, blamed] : bad) {
        ModelBridge::Refusal refusal;
        EXPECT_FALSE(bridge->SendMessageWithAttachments(content, &refusal)) << why;
        EXPECT_EQ(refusal.warning, std::string(kWarning) + "The message could not be sent: " + why + ".");
        EXPECT_EQ(refusal.blamed, blamed) << why;
    }
    // Without a refusal to fill, the reason reaches the chat as a warning of its own.
    EXPECT_FALSE(bridge->SendMessageWithAttachments(std::get<0>(bad[1])));
    MainQueue::DrainUntilIdle();
    EXPECT_EQ(texts, Events{std::string(kWarning) + "The message could not be sent: " + std::get<1>(bad[1]) + "."});
    EXPECT_EQ(givenBack, 0u);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(bridge->IsBusy());
}

// Eight messages with a 3.5 MB picture each: every request stays within the service's 32 MB,
// the oldest pictures are named in a note instead of sent, the newest go whole, and the
// history keeps them all.
TEST_F(EngineTest, OldestAttachmentsAreLeftOutOfARequestThatWouldPassTheServicesLimit)
{
    const struct {
        const char* model;
        json (*reply)(const std::string&, const std::vector<Call>&);
    } rows[] = {{"claude-test-model", AnthropicReply}, {"gpt-4o", OpenAIReply}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.model);
        bridge->SetModel(row.model);
        std::vector<HistoryMessage> earlier;  // seven pictures, 'A' to 'G'
        for (char fill = 'A'; fill < 'H'; ++fill) {
            earlier.push_back({Role::User,
                               {ContentBlock::Text("look"),
                                ContentBlock::Image("image/png", DataOfSize(3 * kMiB + kMiB / 2, fill))}});
            earlier.push_back({Role::Assistant, {ContentBlock::Text("seen")}});
        }
        bridge->RestoreHistory(earlier);
        std::size_t keptImages = 0;
        bridge->SetHistoryCallback([&](const std::vector<HistoryMessage>& history) {
            keptImages = 0;
            for (const HistoryMessage& message : history)
                for (const ContentBlock& block : message.blocks) keptImages += block.kind == BlockKind::Image;
        });
        server.Script(row.reply("Seen all.", {}));
        const int target = turnsEnded + 1;
        bridge->SendMessageWithAttachments(
            json::array({{{"type", "text"}, {"text", "and this"}},
                         Block("image", "image/png", DataOfSize(3 * kMiB + kMiB / 2, 'H'))}));
        ASSERT_TRUE(WaitForTurns(target));

        const std::string sent = server.Requests().back().raw;
        EXPECT_LE(sent.size(), 32 * kMiB);
        std::string carried;
        for (char fill = 'A'; fill <= 'H'; ++fill)
            carried += sent.find(std::string(1000, fill)) != std::string::npos ? fill : '-';
        EXPECT_EQ(carried, "--CDEFGH");
        const std::string note = "[Attachment 1 of this message (image, image/png, 3.5 MB) is left out of this request";
        std::size_t notes = 0;
        for (std::size_t at = sent.find(note); at != std::string::npos; at = sent.find(note, at + 1)) ++notes;
        EXPECT_EQ(notes, 2u);
        EXPECT_EQ(keptImages, 8u);
        bridge->ClearHistory();
    }
}

// The newest message attaches all a message may: with its framing that alone passes the
// request's budget, yet its pictures go whole, and only the older picture is named instead.
TEST_F(EngineTest, TheNewestMessagesAttachmentsGoWholeWhenOnlyTheyFit)
{
    bridge->RestoreHistory(
        {{Role::User, {ContentBlock::Text("look"), ContentBlock::Image("image/png", DataOfSize(kMiB, 'A'))}},
         {Role::Assistant, {ContentBlock::Text("seen")}}});
    json content = json::array({{{"type", "text"}, {"text", "and these"}}});
    for (char fill = 'B'; fill <= 'G'; ++fill)  // six of the largest image Anthropic takes: 22.5 MB
        content.push_back(Block("image", "image/png", DataOfSize(5 * kMiB * 3 / 4, fill)));
    server.Script(AnthropicReply("Seen all."));
    ASSERT_TRUE(bridge->SendMessageWithAttachments(std::move(content)));
    ASSERT_TRUE(WaitForTurns(1));
    ASSERT_EQ(server.Requests().size(), 1u) << texts.back();
    const std::string sent = server.Requests().back().raw;
    std::string carried;
    for (char fill = 'A'; fill <= 'G'; ++fill)
        carried += sent.find(std::string(1000, fill)) != std::string::npos ? fill : '-';
    EXPECT_EQ(carried, "-BCDEFG");
    EXPECT_NE(sent.find("[Attachment 1 of this message (image, image/png, 1 MB) is left out of this request"),
              std::string::npos);
    EXPECT_LE(sent.size(), 32 * kMiB);
}
