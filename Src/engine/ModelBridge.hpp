#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/HttpClient.hpp"
#include "core/ToolRegistry.hpp"
#include "engine/Conversation.hpp"
#include "engine/MainThreadToolRunner.hpp"
#include "engine/ModelProvider.hpp"
#include "engine/ProviderChoice.hpp"
#include "engine/TokenRenewal.hpp"

// One attachment of the user message being processed.
struct AttachmentData {
    std::string data;       // base64 exactly as the message carried it
    std::string mediaType;  // as the message gave it; may be empty
    std::string extension;  // "pdf", "jpg", "tiff" or "png" (every other media type)
};

// The conversation engine. A worker thread takes the user's messages one at a time, talks to
// the language model and runs the tools the model asks for on the main thread, at most
// kMaxIterations model requests per message. Every callback is delivered on the main thread
// through the main queue; none is delivered once Shutdown has begun.
class ModelBridge {
public:
    using AssistantTextCallback = std::function<void(const std::string& text)>;
    using BusyCallback = std::function<void(bool busy)>;
    using ToolResultCallback =
        std::function<void(const std::string& toolName, bool success, const std::string& detail)>;
    // Why a message goes back to the user: it failed before it reached the model, or the host
    // quit while the model was being asked and no reply was read.
    enum class GivenBack { NotSent, NotAnswered };
    // A message no reply was read for: it has left the history, so that the next message does
    // not carry it along, and its blocks (text and attachments) go back to the user to send again.
    using UnsentCallback = std::function<void(const std::vector<ContentBlock>& message, GivenBack why)>;
    // The whole history as it stands after a turn, to be kept between runs.
    using HistoryCallback = std::function<void(const std::vector<HistoryMessage>& history)>;
    // Called on the worker when the chat proxy refuses the access token, and when it refuses
    // the renewed one too (engine/TokenRenewal.hpp).
    using TokenRenewal = ::TokenRenewal;
    using SignInEnding = ::SignInEnding;

    // Why a message was refused before it was queued.
    struct Refusal {
        std::string warning;              // the "⚠ " message for the chat
        std::vector<std::size_t> blamed;  // the content's blocks at fault; none: the message as a whole
    };

    static constexpr int kMaxIterations = 20;
    static constexpr int kMaxOutputTokens = 4096;

    // Takes the registry the palette built; a null registry gets a new full one.
    explicit ModelBridge(std::unique_ptr<ToolRegistry> registry = nullptr);
    ~ModelBridge();
    ModelBridge(const ModelBridge&) = delete;
    ModelBridge& operator=(const ModelBridge&) = delete;

    void SetCallbacks(AssistantTextCallback onAssistantText, BusyCallback onBusy, ToolResultCallback onToolResult);
    void SetUnsentCallback(UnsentCallback onUnsent);
    void SetHistoryCallback(HistoryCallback onHistory);

    // Queue a message; returns at once. False when nothing was queued (a blank message, an
    // engine shut down): the message stays the caller's.
    bool SendMessage(const std::string& text);
    // content: the page's blocks, [{"type":"text","text"}, {"type":"image"|"document",
    // "source":{"type":"base64","media_type","data"}}]. Unreadable content, or an attachment
    // larger than the chosen service takes, is refused with a "⚠ " message and starts no turn
    // (see engine/UserContent.hpp, engine/AttachmentLimits.hpp); given refusal, the message and
    // the blocks at fault go there for the caller to show instead. Pass content by move to keep
    // a single copy of its attachments. False when refused or not queued, as SendMessage.
    bool SendMessageWithAttachments(nlohmann::json content, Refusal* refusal = nullptr);
    // Forgets the conversation at once: the request in flight is aborted, a tool call not yet
    // started is not run, queued messages are dropped, no report of any of them is delivered
    // from now on, and IsBusy is false on return (a busy palette is told so). Messages sent
    // afterwards start a new, empty conversation.
    void ClearHistory();
    // Continues a conversation kept from an earlier run: it replaces the history before any
    // message sent afterwards is taken up.
    void RestoreHistory(std::vector<HistoryMessage> messages);

    // A copy of attachment index of the message being processed; empty strings when out of range.
    AttachmentData GetCurrentAttachment(int index) const;

    void SetProvider(const std::string& provider);  // "anthropic" or "openai"; used when no model is set
    void SetModel(const std::string& model);
    void SetApiKeys(const std::string& anthropicKey, const std::string& openaiKey);
    // The product's chat proxy (scheme, host, port) and the access token of the user's
    // sign-in: with no key for the chosen provider, requests go to the proxy with the token as
    // a bearer token. Both empty: no proxy. The token is kept out of the debug log while the
    // engine holds it, and let go of once replaced.
    void SetProxyUrl(const std::string& url);
    void SetAccessToken(const std::string& token);
    // How a refused token is renewed, and how the sign-in is ended when the renewed one is
    // refused as well; without a renewal a refusal ends the sign-in.
    void SetTokenRenewal(TokenRenewal renewal, SignInEnding ending = {});
    // Service addresses (scheme, host, port; no path). Empty restores the default, which is
    // QUILLMERE_ANTHROPIC_URL / QUILLMERE_OPENAI_URL when set, else the public endpoint.
    void SetBaseUrls(const std::string& anthropicUrl, const std::string& openaiUrl);

    // True from the moment a message is queued until its turn has ended.
    bool IsBusy() const;

    // Stops the worker: a request in flight is aborted, a tool not yet started is not run,
    // queued messages are dropped. Returns once the worker has ended. Idempotent.
    void Shutdown();
    // Once Shutdown has returned: the history as the worker left it, every tool call in it
    // answered. A turn the stop cut short is in it as far as it went (its question, each tool
    // call that ran and its result), which no report delivers any more. Empty before.
    std::vector<HistoryMessage> HistoryAtStop();

private:
    struct Job {
        enum class Kind { Message, Clear, Restore } kind = Kind::Message;
        std::vector<ContentBlock> blocks;
        std::vector<HistoryMessage> restored;  // Restore
    };
    struct CallbackHub;

    // The page's content read into blocks and checked against the chosen service's limits;
    // why it cannot be sent (and the blocks at fault in blamed), or "".
    std::string ReadAttachedMessage(nlohmann::json content, std::vector<ContentBlock>& blocks,
                                    std::vector<std::size_t>& blamed) const;
    // The attachments of message become the current ones (none for an empty message).
    void KeepAttachments(const std::vector<ContentBlock>& message);
    bool SendBlocks(std::vector<ContentBlock> blocks);
    // False when the engine has shut down.
    bool Enqueue(Job job);
    void WorkerLoop();
    void RunTurn(std::vector<ContentBlock> userBlocks);
    // false when the turn must end (failure reported, or shutting down); answered tells
    // whether the model's reply was read.
    bool RunIteration(bool& wantsMore, bool& answered);
    // Posts the request to the service chosen, through the proxy with the token renewed once
    // when the proxy refuses it. False (with the warning given) when the refusal stands: the
    // sign-in ended or was signed out meanwhile, or could not be renewed now.
    bool PostRequest(const ServiceChoice& service, const ModelProvider& provider, const std::string& body,
                     Quillmere::HttpResponse& response);
    // The access token becomes to unless it is no longer from (changed meanwhile); the engine's
    // registration with the log's redaction moves along.
    void ReplaceAccessToken(const std::string& from, const std::string& to);
    // No reply was read for the message: out of the history, back to the user.
    void GiveBack(const std::vector<ContentBlock>& userBlocks, GivenBack why);
    void ExecuteTools(const std::vector<ToolCall>& calls);
    bool IsRunning() const;

    // true once the turn being run has been cleared away or the engine is shutting down.
    bool TurnAbandoned() const { return abortRequests.load(); }

    // Reports of the worker's turn; each is delivered only while its conversation is current.
    void Warn(const std::string& text) const;  // a "⚠ " message: to the page and the debug log
    void PostText(const std::string& text) const;
    void PostBusy(bool busy) const;
    void PostToolResult(const std::string& name, bool success, const std::string& detail) const;
    void Post(std::uint64_t conversation, std::function<void(CallbackHub&)> deliver) const;

    std::unique_ptr<ToolRegistry> registry;
    MainThreadToolRunner toolRunner;  // runs calls against registry
    std::unique_ptr<ModelProvider> anthropic;
    std::unique_ptr<ModelProvider> openai;
    Conversation history;                // worker thread only
    Conversation::Mark turnStart;        // worker thread only: the history before this message
    std::uint64_t turnConversation = 0;  // worker thread only: the conversation the turn belongs to
    std::shared_ptr<CallbackHub> hub;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    std::vector<ContentBlock> currentAttachments;  // share their data with the history
    ServiceSettings services;
    TokenRenewal tokenRenewal;
    SignInEnding signInEnding;
    bool running = true;
    bool turnActive = false;
    std::uint64_t conversation = 0;  // counts the clearings; reports name the one they belong to
    // Watched by the worker's HTTP requests and tool hand-offs: set by Shutdown for good, and by
    // ClearHistory until the worker takes up the clearing.
    std::atomic<bool> abortRequests{false};
    std::mutex shutdownMutex;
    std::thread worker;
};
