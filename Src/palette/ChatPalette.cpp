#include "palette/ChatPalette.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "HostWorkspace.hpp"
#include "MainQueue.hpp"
#include "core/CompactJson.hpp"
#include "core/CurrentSettings.hpp"
#include "core/DebugLog.hpp"
#include "core/FileText.hpp"
#include "core/JsonDepth.hpp"
#include "core/ToolRegistry.hpp"
#include "engine/ServiceErrors.hpp"
#include "resources/ChatPage.hpp"
#include "services/ProductService.hpp"
#include "tools/ToolFamilies.hpp"
#include "tools/recognition/RenderJobs.hpp"

namespace {

// What the page sees of an API key: anyone holding the run's address can read the page, so it
// learns only that a key is set and, when the key is long enough for that to give nothing
// away, its last four characters.
std::string MaskedKey(const std::string& key)
{
    if (key.empty()) return "";
    const std::string bullets = "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022";
    return key.size() >= 12 ? bullets + key.substr(key.size() - 4) : bullets;
}

std::unique_ptr<ChatPalette>& Singleton()
{
    static std::unique_ptr<ChatPalette> instance;
    return instance;
}

// Runs call now when on the main thread, else posts it there; either way only while the
// palette that token belongs to is alive. A report can arrive long after its tool call
// (a render poll, a plan overlay): once the palette is gone it is dropped.
void WhileAlive(const std::weak_ptr<bool>& token, std::function<void()> call)
{
    if (MainQueue::IsMainThread()) {
        if (!token.expired()) call();
        return;
    }
    DispatchAsyncMain([token, call = std::move(call)] {
        if (!token.expired()) call();
    });
}

// Writes the page to a new file of its own in the temporary folder: a fresh unique name,
// created exclusively (never through a link someone planted there), readable by the user only.
std::string WritePageFile(const std::string& page)
{
    std::string pattern = TemporaryFolder() + "/quillmere_chat_XXXXXX.html";
    const int fd = ::mkstemps(pattern.data(), 5);
    if (fd < 0) return {};
    ::close(fd);
    if (!WriteWholeFileAtomic(pattern, page, 0600)) {
        std::remove(pattern.c_str());
        return {};
    }
    return pattern;
}

JS::Value Failure() { return JS::Value(false); }

// Puts the sign-in into the settings; true when they held another.
bool TakeSignIn(Settings& settings, const SignInManager::StoredSignIn& stored)
{
    const bool changed = settings.accessToken != stored.accessToken || settings.refreshToken != stored.refreshToken ||
                         settings.userEmail != stored.email || settings.signInGeneration != stored.generation;
    settings.accessToken = stored.accessToken;
    settings.refreshToken = stored.refreshToken;
    settings.userEmail = stored.email;
    settings.signInGeneration = stored.generation;
    return changed;
}

// What of a message given back goes into the input box: its text blocks joined by blank lines,
// and its attachments.
nlohmann::json BoxOf(const std::vector<ContentBlock>& message)
{
    std::string text;
    nlohmann::json files = nlohmann::json::array();
    for (const ContentBlock& block : message) {
        if (block.kind == BlockKind::Text)
            text += (text.empty() ? "" : "\n\n") + block.text;
        else if (block.kind == BlockKind::Image || block.kind == BlockKind::Document)
            files.push_back({{"media_type", block.mediaType}, {"data", block.Data()}});
    }
    return {{"text", text}, {"files", std::move(files)}};
}

// Whether the chat already ends saying that the assistant stopped (warning: before it answered,
// or part way).
bool ToldStopped(const PageTranscript& transcript, const std::string& warning = StoppedBeforeAnswerWarning())
{
    const nlohmann::json& entries = transcript.Entries();
    return !entries.empty() && entries.back().value("text", nlohmann::json()) == warning;
}

}  // namespace

// ---- identity and the singleton ----------------------------------------------------------

GS::Guid ChatPalette::PaletteGuid() { return GS::Guid("6F3A2C1E-8B4D-4E7A-9C2B-5D1E0F7A3B64"); }

Int32 ChatPalette::PaletteReferenceId() { return 0x51A7E001; }

ChatPalette& ChatPalette::GetInstance()
{
    auto& instance = Singleton();
    if (!instance) instance = std::make_unique<ChatPalette>();
    return *instance;
}

ChatPalette* ChatPalette::TryGetInstance() { return Singleton().get(); }

void ChatPalette::DestroyInstance() { Singleton().reset(); }

// ---- construction ------------------------------------------------------------------------

ChatPalette::ChatPalette() : DG::Palette(PaletteGuid(), "Quillmere"), browser(*this)
{
    // 1. The registry (every tool family it registers itself) and the engine that owns it.
    auto registry = std::make_unique<ToolRegistry>();
    ToolRegistry& tools = *registry;
    bridge = std::make_unique<ModelBridge>(std::move(registry));

    // 2. The engine's reports become page updates. Each callback holds a plain pointer to
    //    this palette and its liveness token, nothing else.
    ChatPalette* self = this;
    std::weak_ptr<bool> token = liveness;
    //    A text or a card of the turn is a reply to its message: should the host stop before the
    //    turn ends, that message is not taken for unanswered, here or on a page open then.
    bridge->SetCallbacks(
        [self, token](const std::string& text) {
            WhileAlive(token, [self, text] {
                self->PushAssistantMessage(text);
                if (text.rfind(kWarningMark, 0) != 0) self->TellReplyCame();
            });
        },
        [self, token](bool busy) { WhileAlive(token, [self, busy] { self->SetThinking(busy); }); },
        [self, token](const std::string& toolName, bool success, const std::string& detail) {
            WhileAlive(token, [self, toolName, success, detail] {
                self->PushToolResult(toolName, success, detail);
                self->TellReplyCame();
            });
        });
    bridge->SetUnsentCallback([self, token](const std::vector<ContentBlock>& message, ModelBridge::GivenBack why) {
        WhileAlive(token, [self, message, why] { self->ReturnUnsentMessage(message, why); });
    });
    bridge->SetHistoryCallback([self, token](const std::vector<HistoryMessage>& history) {
        WhileAlive(token, [self, history] {
            self->transcript.TurnEnded();
            self->KeepConversation(history);
        });
    });

    // 3. The service-backed families, on the finished registry and before the settings, each
    //    with its own preview: the render family's, and the plan family's overlay.
    RegisterPaletteFamilies(tools, MakePreviewCallback(), MakePreviewCallback(kPlanOverlayLabel),
                            MakeToolResultCallback(), *bridge);

    // 4. The stored settings, handed to the engine.
    Settings::LoadStatus status = Settings::LoadStatus::Missing;
    settings = CurrentSettings::Load(&status);
    if (status == Settings::LoadStatus::Unreadable)
        DebugLog("Settings file unreadable; using defaults until the next save");
    ApplySettingsToEngine();
    SetSize(settings.windowWidth, settings.windowHeight);
    RestoreLastConversation();

    // 5. The sign-in to the product's service, on the settings' stored sign-in; its reports
    //    reach the page, and the engine asks it to renew a token the proxy refused.
    signIn =
        std::make_unique<SignInManager>(Quillmere::ProductService::BaseUrl(),
                                        SignInManager::StoredSignIn{settings.accessToken, settings.refreshToken,
                                                                    settings.userEmail, settings.signInGeneration});
    signIn->SetCallbacks(
        [self, token](const std::string& state) { WhileAlive(token, [self, state] { self->PushAuthState(state); }); },
        [self, token](const std::string& message) {
            WhileAlive(token, [self, message] { self->PushAuthError(message); });
        },
        [token](const std::string& url) {
            WhileAlive(token, [url] {
                if (!HostOpenURL(GS::UniString(url))) DebugLog("The host did not open the sign-in page");
            });
        },
        [self, token](const SignInManager::StoredSignIn& stored) {
            WhileAlive(token, [self, stored] { self->KeepSignIn(stored); });
        });
    bridge->SetTokenRenewal(signIn->MakeRenewal(), signIn->MakeEnding());

    // 6. Events, the page, and only then the bridge object: loading a document drops the
    //    objects registered for the previous one.
    BeginEventProcessing();
    WritePageAndLoad();
    RegisterBridgeObject();
    DebugLog("Chat palette created");
}

ChatPalette::~ChatPalette()
{
    // Reports still on their way must find the palette gone before anything is torn down.
    liveness.reset();
    EndEventProcessing();
    // Every request, poll, pause and renewal of the sign-in and the engine ends within a second
    // or two, whichever waits for the other: both are told before either is waited for, and a
    // renewal the engine finishes meanwhile is in the sign-in read below.
    if (signIn) signIn->Stop(false);
    if (bridge) bridge->Shutdown();
    if (signIn) {
        signIn->Stop();
        // A renewal reported too late for the palette, or a sign-in or sign-out not saved
        // before, is saved now.
        std::string error;
        if ((TakeSignIn(settings, signIn->Stored()) || !signInNotice.empty()) &&
            !CurrentSettings::Save(settings, &error))
            DebugLog("Cannot save the sign-in: " + error);
    }
    // The host stopped during a turn whose end never reached the palette: the kept conversation
    // says so rather than ending on the question, which goes back into the box as the engine
    // gives back one it asked about in vain. A question answered in part stays where it is, and
    // sending it again would ask it twice: the chat says so as the engine does, and the turn is
    // kept as far as it went (the engine has stopped, its last reports dropped), so that the
    // model asked to go on knows what it did.
    const bool partWay = transcript.TurnReplied();
    const PageTranscript::Waiting waiting = transcript.MarkUnanswered();
    if (waiting != PageTranscript::Waiting::None || transcript.Busy()) {
        const std::string warning =
            waiting == PageTranscript::Waiting::Replied ? StoppedPartWayWarning() : StoppedBeforeAnswerWarning();
        if (!ToldStopped(transcript, warning)) transcript.AddAssistantMessage(warning);
        KeepConversation(partWay && bridge ? bridge->HistoryAtStop() : keptHistory);
    }
    bridge.reset();
    if (!pagePath.empty()) std::remove(pagePath.c_str());
    DebugLog("Chat palette destroyed");
}

ChatPalette::PreviewCallback ChatPalette::MakePreviewCallback(const std::string& label)
{
    ChatPalette* self = this;
    std::weak_ptr<bool> token = liveness;
    return [self, token, label](const std::string& imageUrl, const std::string& downloadUrl) {
        WhileAlive(token,
                   [self, imageUrl, downloadUrl, label] { self->PushRenderPreview(imageUrl, downloadUrl, label); });
    };
}

ChatPalette::ToolResultCallback ChatPalette::MakeToolResultCallback()
{
    ChatPalette* self = this;
    std::weak_ptr<bool> token = liveness;
    return [self, token](const std::string& toolName, bool success, const std::string& detail) {
        WhileAlive(token, [self, toolName, success, detail] { self->PushToolResult(toolName, success, detail); });
    };
}

void ChatPalette::ApplySettingsToEngine()
{
    // The engine's setters register each secret with the debug log's redaction.
    bridge->SetProvider(settings.provider);
    bridge->SetModel(settings.model);
    bridge->SetApiKeys(settings.anthropicApiKey, settings.openaiApiKey);
    // The proxy is the product's service itself unless the settings name another.
    bridge->SetProxyUrl(settings.proxyUrl.empty() ? Quillmere::ProductService::BaseUrl() : settings.proxyUrl);
    // A stored sign-in the redaction cannot take is not used (the sign-in manager ends it).
    const SignInManager::StoredSignIn stored{settings.accessToken, settings.refreshToken, settings.userEmail};
    bridge->SetAccessToken(SignInManager::Usable(stored) ? settings.accessToken : "");
}

void ChatPalette::KeepSignIn(const SignInManager::StoredSignIn& stored)
{
    // A sign-in that could not be written still holds for this run: the user signed in (or
    // out) and the engine must follow. Settings say so, with the cause, until a later write of
    // the settings (any, or the one at quit) saves it.
    TakeSignIn(settings, stored);
    bridge->SetAccessToken(settings.accessToken);
    std::string error;
    if (CurrentSettings::Save(settings, &error)) return SetSignInNotice("");
    DebugLog("Cannot save the sign-in: " + error);
    SetSignInNotice(kWarningMark + std::string(settings.accessToken.empty() ? "Sign-out" : "Sign-in") +
                    " not saved: " + error);
}

void ChatPalette::SetSignInNotice(const std::string& notice)
{
    if (notice == signInNotice) return;
    signInNotice = notice;
    // The state the page has, told again: the manager may be reporting to us at this moment.
    if (!authState.empty()) PushAuthState(authState);
}

std::string ChatPalette::WithSignInNotice(const std::string& stateJson) const
{
    if (signInNotice.empty()) return stateJson;
    nlohmann::json state = nlohmann::json::parse(stateJson, nullptr, false);
    if (!state.is_object()) return stateJson;
    state["not_saved"] = signInNotice;
    return CompactJson(state);
}

void ChatPalette::WritePageAndLoad()
{
    pagePath = WritePageFile(BuildChatPage());
    if (pagePath.empty()) {
        DebugLog("Cannot write the chat page to the temporary folder");
        return;
    }
    browser.LoadURL(GS::UniString("file://" + pagePath));
}

// ---- the page's bridge object ------------------------------------------------------------

void ChatPalette::RegisterBridgeObject()
{
    ChatPalette* self = this;
    JS::Object object("Quillmere");

    object.AddItem(JS::Function("sendMessage", [self](const std::vector<JS::Value>& args) {
        if (args.empty() || !args[0].IsString() || args[0].GetString().empty()) return Failure();
        self->EmptyBoxes();
        self->transcript.AddUserMessage(args[0].GetString(), {});
        return self->SentOrMarked(self->bridge->SendMessage(args[0].GetString()), {});
    }));

    object.AddItem(JS::Function("sendMessageWithAttachments", [self](const std::vector<JS::Value>& args) {
        if (args.empty() || !args[0].IsString()) return Failure();
        nlohmann::json content = ParseOutsideJson(args[0].GetString());
        if (!content.is_array() || content.empty()) {
            self->PushAssistantMessage("\u26a0 The attachments could not be read. Please attach them again.");
            return Failure();
        }
        self->EmptyBoxes();
        self->transcript.AddUserContent(content);
        ModelBridge::Refusal refusal;
        const bool queued = self->bridge->SendMessageWithAttachments(std::move(content), &refusal);
        return self->SentOrMarked(queued, refusal);
    }));

    object.AddItem(JS::Function(
        "getSettings", [self](const std::vector<JS::Value>&) { return JS::Value(self->GetSettingsForPage()); }));

    object.AddItem(JS::Function("saveSettings", [self](const std::vector<JS::Value>& args) {
        if (args.empty() || !args[0].IsString()) return Failure();
        return JS::Value(self->SaveSettingsFromPage(args[0].GetString()));
    }));

    object.AddItem(JS::Function("clearHistory", [self](const std::vector<JS::Value>&) {
        self->ClearConversation();
        return JS::Value(true);
    }));

    object.AddItem(JS::Function("replayConversation", [self](const std::vector<JS::Value>& args) {
        if (args.empty() || !args[0].IsString() || args[0].GetString().empty()) return Failure();
        self->ReplayConversation(args[0].GetString());
        return JS::Value(true);
    }));

    // Sign-in: each answers at once; the state follows through QuillmereUI.setAuthState.
    object.AddItem(
        JS::Function("signIn", [self](const std::vector<JS::Value>&) { return JS::Value(self->signIn->SignIn()); }));
    object.AddItem(JS::Function(
        "cancelSignIn", [self](const std::vector<JS::Value>&) { return JS::Value(self->signIn->CancelSignIn()); }));
    object.AddItem(
        JS::Function("signOut", [self](const std::vector<JS::Value>&) { return JS::Value(self->signIn->SignOut()); }));
    object.AddItem(JS::Function("checkAuth", [self](const std::vector<JS::Value>&) {
        self->authState = self->signIn->CheckAuth();
        return JS::Value(self->WithSignInNotice(self->authState));
    }));

    if (!browser.RegisterAsynchJSObject(object)) DebugLog("Cannot register the page's bridge object");
}

// A message the engine refused before it left stays the page's: the page marks it "Not sent"
// and puts it back in the input box, but for the files the engine named (answered as
// {"refused": [block, ...]} rather than false). The transcript marks and keeps it at once (no
// turn ends to keep it), with the reason, so that a reloaded page and a restart show the same.
// While a turn is under way its question is not in the history yet: the file would hold it as
// asked, so the end of that turn keeps the refusal with it.
JS::Value ChatPalette::SentOrMarked(bool queued, const ModelBridge::Refusal& refusal)
{
    if (queued) return JS::Value(true);
    transcript.MarkNewestUnsent(refusal.blamed);
    if (!refusal.warning.empty()) PushAssistantMessage(refusal.warning);
    if (!transcript.TurnUnderWay()) KeepConversation(keptHistory);
    if (refusal.blamed.empty()) return Failure();
    return JS::Value(CompactJson(nlohmann::json{{"refused", refusal.blamed}}));
}

std::string ChatPalette::GetSettingsForPage() const
{
    nlohmann::json page = {
        {"provider", settings.provider},
        {"model", settings.model},
        {"anthropicApiKey", MaskedKey(settings.anthropicApiKey)},
        {"openaiApiKey", MaskedKey(settings.openaiApiKey)},
        {"darkMode", settings.darkMode},
    };
    // A settings file holding broken UTF-8 must not make the page's settings unreadable.
    return CompactJson(page);
}

bool ChatPalette::SaveSettingsFromPage(const std::string& settingsJson)
{
    nlohmann::json page = ParseOutsideJson(settingsJson);
    if (!page.is_object()) return false;

    // Only what the page shows is taken, and only with the right type; the rest of the
    // settings (window size, sign-in data) stays as it was.
    Settings next = settings;
    // Keys and model names are often pasted with a trailing new line, which no header may carry.
    auto takeText = [&](const char* key, std::string& into) {
        auto it = page.find(key);
        if (it == page.end() || !it->is_string()) return;
        const std::string text = it->get<std::string>();
        const char* space = " \t\r\n";
        const auto first = text.find_first_not_of(space);
        into =
            first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(space) - first + 1);
    };
    takeText("provider", next.provider);
    takeText("model", next.model);
    // A key field the user left alone sends its mask back: the stored key stays.
    auto takeKey = [&](const char* key, std::string& into) {
        std::string text = into;
        takeText(key, text);
        if (text != MaskedKey(into)) into = text;
    };
    takeKey("anthropicApiKey", next.anthropicApiKey);
    takeKey("openaiApiKey", next.openaiApiKey);
    auto dark = page.find("darkMode");
    if (dark != page.end() && dark->is_boolean()) next.darkMode = dark->get<bool>();
    if (next.provider != "anthropic" && next.provider != "openai") return false;

    // Settings that could not be written do not take effect either: what the page was told
    // failed must not quietly change the next message.
    std::string error;
    if (!CurrentSettings::Save(next, &error)) {
        DebugLog("Cannot save settings: " + error);
        return false;
    }
    settings = next;
    ApplySettingsToEngine();
    SetSignInNotice("");  // the sign-in went along
    return true;
}

void ChatPalette::ReplayConversation(const std::string& pageId)
{
    RunScript("QuillmereUI.showConversation('" + JSEscape(transcript.ToJson(pageId)) + "')");
}

void ChatPalette::RestoreLastConversation()
{
    std::vector<HistoryMessage> history;
    nlohmann::json entries;
    std::vector<ConversationLog::SetAside> setAside;
    if (log.RestoreNewest(history, entries, &setAside) && transcript.Restore(entries)) {
        // Kept while a question the host stopped before answering stayed in what the model reads,
        // a conversation ends on it (nothing else ends on a user's message without tool results):
        // it goes back into the box as one given back now does, not along with the next message.
        const auto isResult = [](const ContentBlock& block) { return block.kind == BlockKind::ToolResult; };
        if (!history.empty() && history.back().role == Role::User &&
            std::none_of(history.back().blocks.begin(), history.back().blocks.end(), isResult)) {
            transcript.MarkReturned(BoxOf(history.back().blocks), true);
            history.pop_back();
        }
        keptHistory = history;
        bridge->RestoreHistory(std::move(history));
    }
    // Told once: the page shows it from the transcript, and the file no longer has its old name.
    for (const ConversationLog::SetAside& file : setAside)
        transcript.AddAssistantMessage(
            kWarningMark +
            std::string(file.restoredInPart ? "Part of this conversation could not be read: its file as it was is "
                                              "kept in the history folder as "
                                            : "A conversation that could not be read was set aside in the history "
                                              "folder as ") +
            file.file + ".");
}

void ChatPalette::KeepConversation(const std::vector<HistoryMessage>& history)
{
    std::string error;
    keptHistory = history;
    if (log.Save(history, transcript.Entries(), transcript.ChangedFrom(), error)) {
        transcript.MarkKept();
        transcript.SetNotice("");
        return;
    }
    // The conversation stays whole in memory, and the next save writes what this one could not.
    DebugLog("Cannot keep the conversation: " + error);
    const std::string warning = kWarningMark + std::string("Conversation not saved: ") + error;
    transcript.SetNotice(warning);
    RunScript("QuillmereUI.addAssistantMessage('" + JSEscape(warning) + "')");
}

void ChatPalette::EmptyBoxes()
{
    // The file is written whole at the next save, so that it no longer holds the files either.
    if (transcript.EmptyBoxes()) log.WriteWholeNext();
}

void ChatPalette::ClearConversation()
{
    bridge->ClearHistory();
    // A render started in the old conversation has nothing to show in the new one.
    RenderJobs::StopAll(std::chrono::milliseconds(0));
    transcript.Clear();
    // The new conversation's file is made at once: the newest, it is the one a restart brings
    // back, never the conversation cleared away.
    log.StartNew();
    KeepConversation({});
    transcript.SetBusy(bridge->IsBusy());
    // Every page empties itself in turn with everything sent to it before, late reports included.
    RunScript("QuillmereUI.showConversation('" + JSEscape(transcript.ToJson("")) + "')");
}

// ---- page updates ------------------------------------------------------------------------

std::string ChatPalette::JSEscape(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\'': escaped += "\\'"; break;
        case '"': escaped += "\\\""; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

void ChatPalette::RunScript(const std::string& script) { browser.ExecuteJS(GS::UniString(script, CC_Default)); }

void ChatPalette::PushAssistantMessage(const std::string& text)
{
    transcript.AddAssistantMessage(text);
    RunScript("QuillmereUI.addAssistantMessage('" + JSEscape(text) + "')");
}

void ChatPalette::SetThinking(bool thinking)
{
    transcript.SetBusy(thinking);
    RunScript(std::string("QuillmereUI.setThinking(") + (thinking ? "true" : "false") + ")");
}

void ChatPalette::PushRenderPreview(const std::string& imageUrl, const std::string& downloadUrl,
                                    const std::string& label)
{
    const bool render = label == kRenderLabel;
    transcript.AddRenderPreview(imageUrl, downloadUrl, render ? "" : label);
    const std::string labelArgument = render ? "" : ",'" + JSEscape(label) + "'";
    RunScript("QuillmereUI.addRenderPreview('" + JSEscape(imageUrl) + "','" + JSEscape(downloadUrl) + "'" +
              labelArgument + ")");
}

void ChatPalette::PushToolResult(const std::string& toolName, bool success, const std::string& detail)
{
    transcript.AddToolResult(toolName, success, detail);
    RunScript("QuillmereUI.addToolResult('" + JSEscape(toolName) + "'," + (success ? "true" : "false") + ",'" +
              JSEscape(detail) + "')");
}

void ChatPalette::PushAuthState(const std::string& stateJson)
{
    authState = stateJson;
    RunScript("QuillmereUI.setAuthState('" + JSEscape(WithSignInNotice(stateJson)) + "')");
}

void ChatPalette::PushAuthError(const std::string& message)
{
    RunScript("QuillmereUI.setAuthError('" + JSEscape(RedactSecrets(message)) + "')");
}

void ChatPalette::TellReplyCame()
{
    if (transcript.ReplyCame()) RunScript("QuillmereUI.turnReplied()");
}

void ChatPalette::ReturnUnsentMessage(const std::vector<ContentBlock>& message, ModelBridge::GivenBack why)
{
    const bool unanswered = why == ModelBridge::GivenBack::NotAnswered;
    nlohmann::json box = transcript.MarkReturned(BoxOf(message), unanswered);
    if (unanswered) box["unanswered"] = true;
    RunScript("QuillmereUI.messageNotSent('" + JSEscape(CompactJson(box)) + "')");
    if (unanswered && !ToldStopped(transcript)) PushAssistantMessage(StoppedBeforeAnswerWarning());
}
