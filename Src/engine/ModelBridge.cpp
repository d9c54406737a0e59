// The engine: messages queued to one worker thread, each turn's model requests and the tool
// calls they ask for (run on the main thread), and the reports posted back to the palette.
#include "engine/ModelBridge.hpp"

#include <algorithm>
#include <utility>

#include "MainQueue.hpp"
#include "core/CompactJson.hpp"
#include "core/DebugLog.hpp"
#include "core/HttpClient.hpp"
#include "core/ServiceAddress.hpp"
#include "engine/AnthropicProvider.hpp"
#include "engine/OpenAIProvider.hpp"
#include "engine/RequestFit.hpp"
#include "engine/ServiceErrors.hpp"
#include "engine/SystemPrompt.hpp"
#include "engine/ToolCallIds.hpp"

// The palette's callbacks, shared with every report posted to the main queue so that a report
// arriving after Shutdown finds them switched off rather than a destroyed engine, and a report
// of a conversation cleared meanwhile finds it is not the current one.
struct ModelBridge::CallbackHub {
    std::recursive_mutex mutex;
    bool alive = true;
    std::atomic<std::uint64_t> conversation{0};
    AssistantTextCallback onText;
    BusyCallback onBusy;
    ToolResultCallback onToolResult;
    UnsentCallback onUnsent;
    HistoryCallback onHistory;
};

ModelBridge::ModelBridge(std::unique_ptr<ToolRegistry> ownedRegistry)
    : registry(ownedRegistry ? std::move(ownedRegistry) : std::make_unique<ToolRegistry>()),
      toolRunner(*registry, abortRequests), anthropic(std::make_unique<AnthropicProvider>()),
      openai(std::make_unique<OpenAIProvider>()), hub(std::make_shared<CallbackHub>())
{
    SetBaseUrls("", "");
    worker = std::thread([this] { WorkerLoop(); });
}

ModelBridge::~ModelBridge()
{
    Shutdown();
    DebugLogForget(services.accessToken);  // the engine's registration goes with it
}

void ModelBridge::SetCallbacks(AssistantTextCallback onAssistantText, BusyCallback onBusy,
                               ToolResultCallback onToolResult)
{
    std::lock_guard<std::recursive_mutex> lock(hub->mutex);
    hub->onText = std::move(onAssistantText);
    hub->onBusy = std::move(onBusy);
    hub->onToolResult = std::move(onToolResult);
}

void ModelBridge::SetUnsentCallback(UnsentCallback onUnsent)
{
    std::lock_guard<std::recursive_mutex> lock(hub->mutex);
    hub->onUnsent = std::move(onUnsent);
}

void ModelBridge::SetHistoryCallback(HistoryCallback onHistory)
{
    std::lock_guard<std::recursive_mutex> lock(hub->mutex);
    hub->onHistory = std::move(onHistory);
}

void ModelBridge::RestoreHistory(std::vector<HistoryMessage> messages)
{
    Job job;
    job.kind = Job::Kind::Restore;
    job.restored = std::move(messages);
    Enqueue(std::move(job));
}

bool ModelBridge::SendMessage(const std::string& text) { return SendBlocks({ContentBlock::Text(text)}); }

bool ModelBridge::SendMessageWithAttachments(nlohmann::json content, Refusal* refusal)
{
    std::vector<ContentBlock> blocks;
    std::vector<std::size_t> blamed;
    const std::string error = ReadAttachedMessage(std::move(content), blocks, blamed);
    if (!error.empty()) {
        // The caller still holds the message it gave and takes it back on false; this says why.
        const std::string text = kWarningMark + std::string("The message could not be sent: ") + error + ".";
        if (refusal != nullptr) {
            *refusal = Refusal{text, std::move(blamed)};
            return false;
        }
        Post(hub->conversation.load(), [text](CallbackHub& to) {
            if (to.onText) to.onText(text);
        });
        return false;
    }
    return SendBlocks(std::move(blocks));
}

bool ModelBridge::SendBlocks(std::vector<ContentBlock> blocks)
{
    DropBlankText(blocks);
    return !blocks.empty() && Enqueue(Job{Job::Kind::Message, std::move(blocks)});
}

void ModelBridge::ClearHistory()
{
    bool wasBusy = false;
    std::uint64_t current = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running) {
            return;
        }
        wasBusy = turnActive ||
                  std::any_of(jobs.begin(), jobs.end(), [](const Job& job) { return job.kind == Job::Kind::Message; });
        jobs.clear();
        jobs.push_back(Job{Job::Kind::Clear, {}});
        turnActive = false;
        current = ++conversation;
        // From here on nothing of the old conversation reaches the palette, not even a report
        // already waiting on the main queue.
        hub->conversation.store(current);
        abortRequests.store(true);  // the worker lifts it when it takes up the clearing
    }
    wake.notify_all();
    if (wasBusy) {
        Post(current, [](CallbackHub& to) {
            if (to.onBusy) to.onBusy(false);
        });
    }
}

void ModelBridge::SetProvider(const std::string& provider)
{
    std::lock_guard<std::mutex> lock(mutex);
    services.provider = provider;
}

void ModelBridge::SetModel(const std::string& model)
{
    std::lock_guard<std::mutex> lock(mutex);
    services.model = model;
}

void ModelBridge::SetApiKeys(const std::string& anthropicKey, const std::string& openaiKey)
{
    DebugLogRedact(anthropicKey);
    DebugLogRedact(openaiKey);
    std::lock_guard<std::mutex> lock(mutex);
    services.anthropicKey = anthropicKey;
    services.openaiKey = openaiKey;
}

void ModelBridge::SetProxyUrl(const std::string& url)
{
    std::lock_guard<std::mutex> lock(mutex);
    services.proxyUrl = url;
}

void ModelBridge::SetAccessToken(const std::string& token)
{
    DebugLogRedact(token);
    std::string old;
    {
        std::lock_guard<std::mutex> lock(mutex);
        old = std::exchange(services.accessToken, token);
    }
    DebugLogForget(old);
}

void ModelBridge::ReplaceAccessToken(const std::string& from, const std::string& to)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (services.accessToken != from) return;
        DebugLogRedact(to);
        services.accessToken = to;
    }
    DebugLogForget(from);
}

void ModelBridge::SetTokenRenewal(TokenRenewal renewal, SignInEnding ending)
{
    std::lock_guard<std::mutex> lock(mutex);
    tokenRenewal = std::move(renewal);
    signInEnding = std::move(ending);
}

void ModelBridge::SetBaseUrls(const std::string& anthropicUrl, const std::string& openaiUrl)
{
    const std::string a = ResolveBaseUrl(anthropicUrl, "QUILLMERE_ANTHROPIC_URL", anthropic->DefaultBaseUrl());
    const std::string o = ResolveBaseUrl(openaiUrl, "QUILLMERE_OPENAI_URL", openai->DefaultBaseUrl());
    std::lock_guard<std::mutex> lock(mutex);
    services.anthropicUrl = a;
    services.openaiUrl = o;
}

bool ModelBridge::IsBusy() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return turnActive ||
           std::any_of(jobs.begin(), jobs.end(), [](const Job& job) { return job.kind == Job::Kind::Message; });
}

void ModelBridge::Shutdown()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        running = false;
        jobs.clear();
    }
    abortRequests.store(true);  // the worker's HTTP request gives up within about a second
    {
        // Reports already on the main queue find the callbacks switched off.
        std::lock_guard<std::recursive_mutex> lock(hub->mutex);
        hub->alive = false;
    }
    wake.notify_all();
    toolRunner.Stop();                                   // a tool call waiting for the main thread is not run
    std::lock_guard<std::mutex> joining(shutdownMutex);  // two threads may shut down at once
    if (worker.joinable()) {
        worker.join();
    }
}

std::vector<HistoryMessage> ModelBridge::HistoryAtStop()
{
    // The worker is the history's only user while it runs; once joined, it is this thread's.
    std::lock_guard<std::mutex> joining(shutdownMutex);
    if (worker.joinable() || IsRunning()) return {};
    return history.Messages();
}

bool ModelBridge::Enqueue(Job job)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running) {
            return false;
        }
        jobs.push_back(std::move(job));
    }
    wake.notify_all();
    return true;
}

bool ModelBridge::IsRunning() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return running;
}

void ModelBridge::WorkerLoop()
{
    Quillmere::HttpAbortScope abortable(&abortRequests);
    while (true) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return !running || !jobs.empty(); });
            if (!running) {
                return;
            }
            job = std::move(jobs.front());
            jobs.pop_front();
            turnActive = job.kind == Job::Kind::Message;
            turnConversation = conversation;
            if (job.kind == Job::Kind::Clear) {
                // The turn that was cleared away has ended: requests may run again.
                abortRequests.store(false);
                currentAttachments.clear();
            }
        }
        if (job.kind == Job::Kind::Clear) {
            history.Clear();
            continue;
        }
        if (job.kind == Job::Kind::Restore) {
            history.Replace(std::move(job.restored));
            continue;
        }
        RunTurn(std::move(job.blocks));
    }
}

void ModelBridge::RunTurn(std::vector<ContentBlock> userBlocks)
{
    PostBusy(true);
    KeepAttachments(userBlocks);
    turnStart = history.Position();
    history.AppendUser(userBlocks);  // a copy of the blocks shares their attachments' data

    bool answered = false;
    for (int iteration = 1; iteration <= kMaxIterations; ++iteration) {
        bool wantsMore = false;
        bool carryOn = false;
        try {
            carryOn = RunIteration(wantsMore, answered);
        } catch (const std::exception& e) {
            // Nothing may leave the worker thread: that would end the host process.
            Warn(kWarningMark + std::string("The assistant stopped because of an internal error: ") + e.what());
        } catch (...) {
            Warn(kWarningMark + std::string("The assistant stopped because of an internal error."));
        }
        // Whatever happened, every tool call the model made gets an answer, or the services
        // would refuse the conversation from now on.
        history.CloseOpenToolCalls(ToolResult::Fail("The call was not completed.").toJson());
        if (!answered && !TurnAbandoned()) {
            GiveBack(userBlocks, Quillmere::AllHttpRequestsAborted() ? GivenBack::NotAnswered : GivenBack::NotSent);
            break;
        }
        if (!carryOn || !wantsMore || TurnAbandoned()) {
            break;
        }
        if (iteration == kMaxIterations) {
            Warn(kWarningMark + std::string("Stopped after ") + std::to_string(kMaxIterations) +
                 " model requests for one message. Send another message to let the assistant continue.");
        }
    }
    Post(turnConversation, [messages = history.Messages()](CallbackHub& to) {
        if (to.onHistory) to.onHistory(messages);
    });
    {
        // Cleared before the report so that a palette asking on receipt sees the turn ended.
        std::lock_guard<std::mutex> lock(mutex);
        turnActive = false;
    }
    PostBusy(false);
}

void ModelBridge::GiveBack(const std::vector<ContentBlock>& userBlocks, GivenBack why)
{
    // Kept, a message no reply was read for would ride along with the next one, and sending it
    // again would send it twice.
    history.RollBack(turnStart);
    KeepAttachments({});
    Post(turnConversation, [userBlocks, why](CallbackHub& to) {
        if (to.onUnsent) to.onUnsent(userBlocks, why);
    });
}

bool ModelBridge::RunIteration(bool& wantsMore, bool& answered)
{
    wantsMore = false;
    ServiceSettings settings;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running || TurnAbandoned()) {
            return false;
        }
        settings = services;
    }
    const ServiceChoice service = ChooseService(settings);
    const ModelProvider& provider = service.kind == ProviderKind::OpenAI ? *openai : *anthropic;
    if (service.apiKey.empty() && !service.viaProxy) {
        Warn(NoApiKeyWarning(provider.DisplayName()));
        return false;
    }
    if (service.viaProxy && !TokensMayTravelTo(service.baseUrl)) {
        Warn(InsecureProxyWarning(service.baseUrl));
        return false;
    }
    // What a service's text must never carry back, and whom to name in a warning.
    const std::string secret = service.viaProxy ? service.accessToken : service.apiKey;
    const std::string name =
        service.viaProxy ? provider.DisplayName() + " through the chat proxy" : provider.DisplayName();

    std::vector<HistoryMessage> fitted;
    const std::vector<HistoryMessage>& messages = FitToRequest(history.Messages(), service.kind, fitted);
    const std::string body = CompactJson(provider.RenderRequest(
        messages, SystemPrompt(), registry->GetToolDefinitions(), service.model, kMaxOutputTokens));

    Quillmere::HttpResponse response;
    if (!PostRequest(service, provider, body, response) || TurnAbandoned()) {
        return false;  // cleared or shutting down: no message, nobody is listening
    }
    if (response.statusCode == 0 && Quillmere::AllHttpRequestsAborted()) {
        // The host is quitting and no service is to blame. A question no reply was read for goes
        // back to the user (the palette says so); one answered in part stays, and the chat says
        // where the turn stopped.
        if (answered) Warn(StoppedPartWayWarning());
        return false;
    }
    if (!response.error.empty() || response.statusCode == 0) {
        Warn(response.timedOut && response.requestSent ? TimedOutWarning(name)
                                                       : UnreachableWarning(name, response.error, secret));
        return false;
    }
    if (service.viaProxy && response.statusCode == 403) {
        Warn(ProxyRefusedWarning(name, response.body, secret));
        return false;
    }
    if (!Quillmere::IsSuccessStatus(response.statusCode)) {
        Warn(HttpFailureWarning(name, response.statusCode, response.body, secret));
        return false;
    }

    ModelReply reply;
    try {
        reply = provider.ParseReply(response.body);
    } catch (const ReplyFormatError& e) {
        Warn(UnexpectedReplyWarning(name, e.what(), secret));
        return false;
    }
    DebugLog("engine: " + UsageLogLine(provider.DisplayName(), reply.usage));
    answered = true;
    // A reply may echo a key or token it came across (a user's paste, a proxy's doing): like every
    // outside text it reaches the page, the history and its file with them hidden.
    for (std::string& text : reply.texts) text = RedactRegisteredSecrets(text);
    for (ContentBlock& block : reply.assistantBlocks)
        if (block.kind == BlockKind::Text) block.text = RedactRegisteredSecrets(block.text);
    GiveDistinctToolIds(reply, history.Messages());

    // A blank text block would make the services refuse the history from now on.
    DropBlankText(reply.assistantBlocks);
    history.AppendAssistant(std::move(reply.assistantBlocks));
    for (const std::string& text : reply.texts) {
        if (!IsBlank(text)) {
            PostText(text);
        }
    }
    if (reply.cutShort) {
        Warn(CutShortWarning(kMaxOutputTokens));
    }
    if (reply.toolCalls.empty()) {
        return true;
    }
    ExecuteTools(reply.toolCalls);
    wantsMore = IsRunning() && !TurnAbandoned();
    return wantsMore;
}

bool ModelBridge::PostRequest(const ServiceChoice& service, const ModelProvider& provider, const std::string& body,
                              Quillmere::HttpResponse& response)
{
    const std::string url = service.baseUrl + provider.Path();
    if (!service.viaProxy) {
        response = Quillmere::HttpPost(url, body, provider.Headers(service.apiKey), Quillmere::kMaxModelReplyBytes);
        return true;
    }
    response =
        Quillmere::HttpPost(url, body, provider.ProxyHeaders(service.accessToken), Quillmere::kMaxModelReplyBytes);
    if (TurnAbandoned() || !response.error.empty() || response.statusCode != 401) {
        return true;
    }
    // Refused: renewed once where the sign-in can be, and sent again.
    TokenRenewal renewal;
    SignInEnding ending;
    {
        std::lock_guard<std::mutex> lock(mutex);
        renewal = tokenRenewal;
        ending = signInEnding;
    }
    const RenewedToken renewed = renewal ? renewal(service.accessToken) : RenewedToken{RenewedToken::Outcome::Ended};
    if (TurnAbandoned()) {
        return false;
    }
    switch (renewed.outcome) {
    case RenewedToken::Outcome::NotNow:
        // The service could not be asked: the sign-in and its token stay for the next message.
        Warn(SignInNotRenewedWarning(SanitiseServiceText(renewed.why, service.accessToken)));
        return false;
    case RenewedToken::Outcome::SignedOut:
        // Nothing failed that the user did not ask for: the message waits for a key or a sign-in.
        ReplaceAccessToken(service.accessToken, "");
        Warn(NoApiKeyWarning(provider.DisplayName()));
        return false;
    case RenewedToken::Outcome::Ended:
        // The next message asks for a key or a sign-in instead.
        ReplaceAccessToken(service.accessToken, "");
        Warn(SignInExpiredWarning());
        return false;
    case RenewedToken::Outcome::Renewed: break;
    }
    ReplaceAccessToken(service.accessToken, renewed.token);
    response = Quillmere::HttpPost(url, body, provider.ProxyHeaders(renewed.token), Quillmere::kMaxModelReplyBytes);
    if (TurnAbandoned() || !response.error.empty() || response.statusCode != 401) {
        return true;
    }
    // A fresh token refused as well: renewing again would go round, so the sign-in ends, unless
    // it has moved on meanwhile: then the message waits to be sent again with the new token.
    const bool ended = !ending || ending(renewed.token);
    ReplaceAccessToken(renewed.token, "");
    Warn(ended ? SignInExpiredWarning() : SignInMovedOnWarning());
    return false;
}

void ModelBridge::ExecuteTools(const std::vector<ToolCall>& calls)
{
    for (const ToolCall& call : calls) {
        ToolResult result;
        std::string resultText;
        if (TurnAbandoned() || !toolRunner.Run(call, result, resultText)) {
            return;  // cleared or shutting down
        }
        history.AppendUser({ContentBlock::ToolResult(call.id, resultText, !result.success)});
        const std::string detail = result.success ? (result.message.empty() ? result.elementGuid : result.message)
                                                  : (result.error.empty() ? "Unknown error" : result.error);
        if (!result.success) {
            DebugLog("engine: tool " + call.name + " failed: " + detail);
        }
        PostToolResult(call.name, result.success, detail);
    }
}

void ModelBridge::Warn(const std::string& text) const
{
    DebugLog("engine: " + text.substr(std::string(kWarningMark).size()));
    PostText(text);
}

void ModelBridge::PostText(const std::string& text) const
{
    Post(turnConversation, [text](CallbackHub& to) {
        if (to.onText) to.onText(text);
    });
}

void ModelBridge::PostBusy(bool busy) const
{
    Post(turnConversation, [busy](CallbackHub& to) {
        if (to.onBusy) to.onBusy(busy);
    });
}

void ModelBridge::PostToolResult(const std::string& name, bool success, const std::string& detail) const
{
    Post(turnConversation, [name, success, detail](CallbackHub& to) {
        if (to.onToolResult) to.onToolResult(name, success, detail);
    });
}

void ModelBridge::Post(std::uint64_t conversationOfReport, std::function<void(CallbackHub&)> deliver) const
{
    DispatchAsyncMain([hub = hub, conversationOfReport, deliver = std::move(deliver)] {
        std::lock_guard<std::recursive_mutex> lock(hub->mutex);
        if (hub->alive && hub->conversation.load() == conversationOfReport) {
            deliver(*hub);
        }
    });
}
