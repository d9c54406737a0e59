#include "engine/ModelBridge.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

#include "MainQueue.hpp"
#include "core/DebugLog.hpp"
#include "core/HttpClient.hpp"
#include "engine/AnthropicProvider.hpp"
#include "engine/OpenAIProvider.hpp"
#include "engine/SystemPrompt.hpp"

namespace {

const char* const kWarning = "\xE2\x9A\xA0 ";  // "⚠ "
const char* const kDefaultAnthropicModel = "claude-sonnet-4-20250514";
const char* const kDefaultOpenAIModel = "gpt-4o";
const std::size_t kMaxQuotedErrorBytes = 300;

std::string Lower(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string EnvOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

std::string TrimTrailingSlash(std::string url)
{
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}

// Text from a service must never carry the user's key back into the chat, and must stay short.
std::string Sanitise(std::string text, const std::string& apiKey)
{
    if (!apiKey.empty()) {
        for (std::size_t at = text.find(apiKey); at != std::string::npos; at = text.find(apiKey, at)) {
            text.replace(at, apiKey.size(), "[key]");
        }
    }
    if (text.size() > kMaxQuotedErrorBytes) {
        std::size_t cut = kMaxQuotedErrorBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;  // do not split a UTF-8 sequence
        }
        text = text.substr(0, cut) + "...";
    }
    return text;
}

std::string DescribeHttpFailure(const std::string& service, int status, const std::string& body,
                                const std::string& apiKey)
{
    const std::string code = " (HTTP " + std::to_string(status) + ")";
    if (status == 401 || status == 403) {
        return kWarning + service + " did not accept the API key" + code + ". Check the key in Settings.";
    }
    std::string detail = Sanitise(ServiceErrorMessage(body), apiKey);
    std::string text = kWarning + service + (status == 429 ? " is limiting requests" : " request failed") + code;
    if (!detail.empty()) {
        text += ": " + detail;
    }
    if (status == 429) {
        text += ". Wait a moment and try again.";
    }
    return text;
}

std::string DumpRequest(const nlohmann::json& request)
{
    // Text typed or pasted by the user may hold invalid UTF-8; replace it rather than fail.
    return request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ValidUtf8(const std::string& text)
{
    const std::string quoted = nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return nlohmann::json::parse(quoted).get<std::string>();
}

// The text the model receives for a result. A tool that reports text which is not valid UTF-8
// (a name read from the project, say) still did its work: the model is told so, with the bad
// bytes replaced, rather than being told the call failed and trying it again.
std::string ResultText(ToolResult& result)
{
    try {
        return result.toJson();
    } catch (const nlohmann::json::exception&) {
        result.elementGuid = ValidUtf8(result.elementGuid);
        result.message = ValidUtf8(result.message);
        result.error = ValidUtf8(result.error);
        return result.toJson();
    }
}

// Turns the page's content blocks into history blocks, or says why it cannot.
bool ReadContentBlocks(const nlohmann::json& content, std::vector<ContentBlock>& blocks, std::string& error)
{
    if (content.is_string()) {
        blocks.push_back(ContentBlock::Text(content.get<std::string>()));
        return true;
    }
    if (!content.is_array()) {
        error = "the message content is not a list of blocks";
        return false;
    }
    for (std::size_t i = 0; i < content.size(); ++i) {
        const nlohmann::json& block = content[i];
        const std::string where = "block " + std::to_string(i + 1);
        if (!block.is_object() || !block.contains("type") || !block["type"].is_string()) {
            error = where + " has no type";
            return false;
        }
        const std::string type = block["type"].get<std::string>();
        if (type == "text") {
            if (!block.contains("text") || !block["text"].is_string()) {
                error = where + " has no text";
                return false;
            }
            blocks.push_back(ContentBlock::Text(block["text"].get<std::string>()));
        } else if (type == "image" || type == "document") {
            const auto source = block.find("source");
            if (source == block.end() || !source->is_object() || !source->contains("data") ||
                !(*source)["data"].is_string() || (*source)["data"].get<std::string>().empty()) {
                error = where + " (" + type + ") has no base64 data";
                return false;
            }
            if (source->contains("type") && (*source)["type"] != "base64") {
                error = where + " (" + type + ") is not base64 data";
                return false;
            }
            std::string mediaType;
            if (source->contains("media_type")) {
                if (!(*source)["media_type"].is_string()) {
                    error = where + " (" + type + ") has a media type that is not text";
                    return false;
                }
                mediaType = (*source)["media_type"].get<std::string>();
            }
            std::string data = (*source)["data"].get<std::string>();
            blocks.push_back(type == "image" ? ContentBlock::Image(mediaType, std::move(data))
                                             : ContentBlock::Document(mediaType, std::move(data)));
        } else {
            error = where + " has an unknown type \"" + type + "\"";
            return false;
        }
    }
    return true;
}

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Blank text blocks are refused by the services; a message of nothing is no message.
void DropEmptyText(std::vector<ContentBlock>& blocks)
{
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                [](const ContentBlock& block) {
                                    return block.kind == BlockKind::Text && IsBlank(block.text);
                                }),
                 blocks.end());
}

}  // namespace

// The palette's callbacks, shared with every report posted to the main queue so that a report
// arriving after Shutdown finds them switched off rather than a destroyed engine.
struct ModelBridge::CallbackHub {
    std::recursive_mutex mutex;
    bool alive = true;
    AssistantTextCallback onText;
    BusyCallback onBusy;
    ToolResultCallback onToolResult;
};

// One tool call handed to the main thread. The worker waits for it unless the engine stops
// before the main thread has started it; then it never runs.
struct ModelBridge::ToolRun {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    bool done = false;
    bool stopping = false;
    ToolResult result;
    std::string resultText;  // result.toJson(), made on the main thread with the call
};

ModelBridge::ModelBridge(std::unique_ptr<ToolRegistry> ownedRegistry)
    : registry(ownedRegistry ? std::move(ownedRegistry) : std::make_unique<ToolRegistry>()),
      anthropic(std::make_unique<AnthropicProvider>()),
      openai(std::make_unique<OpenAIProvider>()),
      hub(std::make_shared<CallbackHub>())
{
    SetBaseUrls("", "");
    worker = std::thread([this] { WorkerLoop(); });
}

ModelBridge::~ModelBridge()
{
    Shutdown();
}

void ModelBridge::SetCallbacks(AssistantTextCallback onAssistantText, BusyCallback onBusy,
                               ToolResultCallback onToolResult)
{
    std::lock_guard<std::recursive_mutex> lock(hub->mutex);
    hub->onText = std::move(onAssistantText);
    hub->onBusy = std::move(onBusy);
    hub->onToolResult = std::move(onToolResult);
}

void ModelBridge::SendMessage(const std::string& text)
{
    std::vector<ContentBlock> blocks{ContentBlock::Text(text)};
    DropEmptyText(blocks);
    if (blocks.empty()) {
        return;
    }
    Enqueue(Job{Job::Kind::Message, std::move(blocks)});
}

void ModelBridge::SendMessageWithAttachments(const nlohmann::json& content)
{
    std::vector<ContentBlock> blocks;
    std::string error;
    if (!ReadContentBlocks(content, blocks, error)) {
        PostText(kWarning + std::string("The message could not be sent: ") + error + ".");
        return;
    }
    DropEmptyText(blocks);
    if (blocks.empty()) {
        return;
    }
    Enqueue(Job{Job::Kind::Message, std::move(blocks)});
}

void ModelBridge::ClearHistory()
{
    Enqueue(Job{Job::Kind::Clear, {}});
}

AttachmentData ModelBridge::GetCurrentAttachment(int index) const
{
    std::lock_guard<std::mutex> lock(mutex);
    if (index < 0 || static_cast<std::size_t>(index) >= currentAttachments.size()) {
        return AttachmentData{};
    }
    return currentAttachments[static_cast<std::size_t>(index)];
}

void ModelBridge::SetProvider(const std::string& provider)
{
    std::lock_guard<std::mutex> lock(mutex);
    config.provider = provider;
}

void ModelBridge::SetModel(const std::string& model)
{
    std::lock_guard<std::mutex> lock(mutex);
    config.model = model;
}

void ModelBridge::SetApiKeys(const std::string& anthropicKey, const std::string& openaiKey)
{
    DebugLogRedact(anthropicKey);
    DebugLogRedact(openaiKey);
    std::lock_guard<std::mutex> lock(mutex);
    config.anthropicKey = anthropicKey;
    config.openaiKey = openaiKey;
}

void ModelBridge::SetProxyUrl(const std::string& url)
{
    std::lock_guard<std::mutex> lock(mutex);
    config.proxyUrl = url;
}

void ModelBridge::SetAccessToken(const std::string& token)
{
    DebugLogRedact(token);
    std::lock_guard<std::mutex> lock(mutex);
    config.accessToken = token;
}

void ModelBridge::SetBaseUrls(const std::string& anthropicUrl, const std::string& openaiUrl)
{
    const std::string a = TrimTrailingSlash(
        anthropicUrl.empty() ? EnvOr("QUILLMERE_ANTHROPIC_URL", anthropic->DefaultBaseUrl()) : anthropicUrl);
    const std::string o = TrimTrailingSlash(
        openaiUrl.empty() ? EnvOr("QUILLMERE_OPENAI_URL", openai->DefaultBaseUrl()) : openaiUrl);
    std::lock_guard<std::mutex> lock(mutex);
    config.anthropicUrl = a;
    config.openaiUrl = o;
}

bool ModelBridge::IsBusy() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return turnActive || std::any_of(jobs.begin(), jobs.end(),
                                     [](const Job& job) { return job.kind == Job::Kind::Message; });
}

void ModelBridge::Shutdown()
{
    std::shared_ptr<ToolRun> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex);
        running = false;
        jobs.clear();
        waiting = toolInFlight;
    }
    abortRequests.store(true);  // the worker's HTTP request gives up within about a second
    {
        // Reports already on the main queue find the callbacks switched off.
        std::lock_guard<std::recursive_mutex> lock(hub->mutex);
        hub->alive = false;
    }
    wake.notify_all();
    if (waiting) {
        {
            std::lock_guard<std::mutex> lock(waiting->mutex);
            waiting->stopping = true;
        }
        waiting->changed.notify_all();
    }
    std::lock_guard<std::mutex> joining(shutdownMutex);  // two threads may shut down at once
    if (worker.joinable()) {
        worker.join();
    }
}

ProviderKind ModelBridge::ProviderForModel(const std::string& model, const std::string& providerSetting)
{
    const std::string name = Lower(model);
    if (name.empty()) {
        return Lower(providerSetting) == "openai" ? ProviderKind::OpenAI : ProviderKind::Anthropic;
    }
    const auto startsWith = [&](const char* prefix) { return name.rfind(prefix, 0) == 0; };
    if (startsWith("gpt-") || startsWith("chatgpt-") || startsWith("ft:gpt-")) {
        return ProviderKind::OpenAI;
    }
    if (name.size() >= 2 && name[0] == 'o' && std::isdigit(static_cast<unsigned char>(name[1]))) {
        return ProviderKind::OpenAI;
    }
    return ProviderKind::Anthropic;
}

std::string ModelBridge::ExtensionForMediaType(const std::string& mediaType)
{
    if (mediaType == "application/pdf") {
        return "pdf";
    }
    if (mediaType == "image/jpeg") {
        return "jpg";
    }
    if (mediaType == "image/tiff") {
        return "tiff";
    }
    return "png";
}

void ModelBridge::Enqueue(Job job)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running) {
            return;
        }
        jobs.push_back(std::move(job));
    }
    wake.notify_all();
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
        }
        if (job.kind == Job::Kind::Clear) {
            history.Clear();
            continue;
        }
        RunTurn(std::move(job.blocks));
    }
}

void ModelBridge::RunTurn(std::vector<ContentBlock> userBlocks)
{
    PostBusy(true);
    {
        std::lock_guard<std::mutex> lock(mutex);
        currentAttachments.clear();
        for (const ContentBlock& block : userBlocks) {
            if (block.kind == BlockKind::Image || block.kind == BlockKind::Document) {
                currentAttachments.push_back(
                    AttachmentData{block.data, block.mediaType, ExtensionForMediaType(block.mediaType)});
            }
        }
    }
    turnStart = history.Position();
    history.AppendUser(std::move(userBlocks));

    for (int iteration = 1; iteration <= kMaxIterations; ++iteration) {
        bool wantsMore = false;
        bool carryOn = false;
        try {
            carryOn = RunIteration(iteration == 1, wantsMore);
        } catch (const std::exception& e) {
            // Nothing may leave the worker thread: that would end the host process.
            Warn(kWarning + std::string("The assistant stopped because of an internal error: ") + e.what());
        } catch (...) {
            Warn(kWarning + std::string("The assistant stopped because of an internal error."));
        }
        // Whatever happened, every tool call the model made gets an answer, or the services
        // would refuse the conversation from now on.
        history.CloseOpenToolCalls(ToolResult::Fail("The call was not completed.").toJson());
        if (!carryOn || !wantsMore) {
            break;
        }
        if (iteration == kMaxIterations) {
            Warn(kWarning + std::string("Stopped after ") + std::to_string(kMaxIterations) +
                     " model requests for one message. Send another message to let the assistant continue.");
        }
    }
    {
        // Cleared before the report so that a palette asking on receipt sees the turn ended.
        std::lock_guard<std::mutex> lock(mutex);
        turnActive = false;
    }
    PostBusy(false);
}

bool ModelBridge::RunIteration(bool firstRequest, bool& wantsMore)
{
    wantsMore = false;
    Config settings;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running) {
            return false;
        }
        settings = config;
    }
    const ProviderKind kind = ProviderForModel(settings.model, settings.provider);
    const ModelProvider& provider = kind == ProviderKind::OpenAI ? *openai : *anthropic;
    const std::string& apiKey = kind == ProviderKind::OpenAI ? settings.openaiKey : settings.anthropicKey;
    if (apiKey.empty()) {
        Warn(kWarning + std::string("No ") + provider.DisplayName() +
                 " API key is set. Add one in Settings to use this model.");
        return false;
    }
    std::string model = settings.model;
    if (model.empty()) {
        model = kind == ProviderKind::OpenAI ? kDefaultOpenAIModel : kDefaultAnthropicModel;
    }
    const std::string& baseUrl = kind == ProviderKind::OpenAI ? settings.openaiUrl : settings.anthropicUrl;

    const std::string body = DumpRequest(provider.RenderRequest(
        history.Messages(), SystemPrompt(), registry->GetToolDefinitions(), model, kMaxOutputTokens));

    const Quillmere::HttpResponse response = Quillmere::HttpPost(baseUrl + provider.Path(), body,
                                                                 provider.Headers(apiKey));
    if (abortRequests.load()) {
        return false;  // shutting down: no message, nobody is listening
    }
    if (!response.error.empty() || response.statusCode == 0) {
        const std::string why = response.error.empty() ? "no response" : Sanitise(response.error, apiKey);
        Warn(kWarning + std::string("Could not reach ") + provider.DisplayName() + ": " + why);
        return false;
    }
    if (response.statusCode < 200 || response.statusCode > 299) {
        std::string warning = DescribeHttpFailure(provider.DisplayName(), response.statusCode, response.body, apiKey);
        if (firstRequest && (response.statusCode == 400 || response.statusCode == 413)) {
            // The service refused what this message added (an attachment too large or of a
            // kind it does not take, say). Kept, it would be sent again with every later
            // message and be refused every time.
            history.RollBack(turnStart);
            warning += " Your message was not kept in the conversation; change it and send it again.";
        }
        Warn(warning);
        return false;
    }

    ModelReply reply;
    try {
        reply = provider.ParseReply(response.body);
    } catch (const ReplyFormatError& e) {
        Warn(kWarning + std::string("Unexpected reply from ") + provider.DisplayName() + ": " +
                 Sanitise(e.what(), apiKey));
        return false;
    }

    // A blank text block would make the services refuse the history from now on.
    DropEmptyText(reply.assistantBlocks);
    history.AppendAssistant(std::move(reply.assistantBlocks));
    for (const std::string& text : reply.texts) {
        if (!IsBlank(text)) {
            PostText(text);
        }
    }
    if (reply.toolCalls.empty()) {
        return true;
    }
    ExecuteTools(reply.toolCalls);
    wantsMore = IsRunning();
    return wantsMore;
}

void ModelBridge::ExecuteTools(const std::vector<ToolCall>& calls)
{
    for (const ToolCall& call : calls) {
        ToolResult result;
        std::string resultText;
        if (!call.argumentError.empty()) {
            result = ToolResult::Fail(call.argumentError);
            resultText = ResultText(result);
        } else if (!RunToolOnMainThread(call, result, resultText)) {
            return;  // shutting down
        }
        history.AppendUser({ContentBlock::ToolResult(call.id, resultText)});
        const std::string detail = result.success
                                       ? (result.message.empty() ? result.elementGuid : result.message)
                                       : (result.error.empty() ? "Unknown error" : result.error);
        if (!result.success) {
            DebugLog("engine: tool " + call.name + " failed: " + detail);
        }
        PostToolResult(call.name, result.success, detail);
    }
}

bool ModelBridge::RunToolOnMainThread(const ToolCall& call, ToolResult& result, std::string& resultText)
{
    auto run = std::make_shared<ToolRun>();
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running) {
            return false;
        }
        toolInFlight = run;
    }
    const ToolRegistry* tools = registry.get();
    DispatchAsyncMain([run, tools, name = call.name, input = call.input] {
        {
            std::lock_guard<std::mutex> lock(run->mutex);
            if (run->stopping) {
                return;  // the engine has gone; the registry may have gone with it
            }
            run->started = true;
        }
        ToolResult outcome;
        std::string text;
        try {
            outcome = tools->ExecuteTool(name, input);
            text = ResultText(outcome);
        } catch (const std::exception& e) {
            outcome = ToolResult::Fail(ValidUtf8(e.what()));
            text = outcome.toJson();
        } catch (...) {
            outcome = ToolResult::Fail("Unknown error");
            text = outcome.toJson();
        }
        {
            std::lock_guard<std::mutex> lock(run->mutex);
            run->result = std::move(outcome);
            run->resultText = std::move(text);
            run->done = true;
        }
        run->changed.notify_all();
    });

    bool finished = false;
    {
        std::unique_lock<std::mutex> lock(run->mutex);
        run->changed.wait(lock, [&] { return run->done || (run->stopping && !run->started); });
        finished = run->done;
        if (finished) {
            result = std::move(run->result);
            resultText = std::move(run->resultText);
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    toolInFlight.reset();
    return finished && running;
}

void ModelBridge::Warn(const std::string& text) const
{
    DebugLog("engine: " + text.substr(std::string(kWarning).size()));
    PostText(text);
}

void ModelBridge::PostText(const std::string& text) const
{
    DispatchAsyncMain([hub = hub, text] {
        std::lock_guard<std::recursive_mutex> lock(hub->mutex);
        if (hub->alive && hub->onText) {
            hub->onText(text);
        }
    });
}

void ModelBridge::PostBusy(bool busy) const
{
    DispatchAsyncMain([hub = hub, busy] {
        std::lock_guard<std::recursive_mutex> lock(hub->mutex);
        if (hub->alive && hub->onBusy) {
            hub->onBusy(busy);
        }
    });
}

void ModelBridge::PostToolResult(const std::string& name, bool success, const std::string& detail) const
{
    DispatchAsyncMain([hub = hub, name, success, detail] {
        std::lock_guard<std::recursive_mutex> lock(hub->mutex);
        if (hub->alive && hub->onToolResult) {
            hub->onToolResult(name, success, detail);
        }
    });
}
