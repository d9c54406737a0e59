#pragma once

#include <functional>
#include <memory>
#include <string>

#include "DGBrowser.hpp"
#include "GSRoot.hpp"
#include "core/Settings.hpp"
#include "engine/ModelBridge.hpp"
#include "palette/ConversationLog.hpp"
#include "palette/PageTranscript.hpp"
#include "palette/SignInManager.hpp"

// The assistant's palette: a floating window whose browser shows the chat page. It is the
// composition root of the assistant: it builds the tool registry and the conversation
// engine, wires the engine's reports to the page and answers the page's bridge calls.
// Everything here runs on the host's main thread.
class ChatPalette : public DG::Palette {
public:
    // The two UI callbacks that service-backed tool families get: a preview (image address,
    // download address) and a tool-result card. Both reach this palette only while it lives.
    using PreviewCallback = std::function<void(const std::string& imageUrl, const std::string& downloadUrl)>;
    using ToolResultCallback =
        std::function<void(const std::string& toolName, bool success, const std::string& detail)>;

    // The palette's fixed identity towards the host.
    static GS::Guid PaletteGuid();
    static Int32 PaletteReferenceId();

    // The one palette of the add-on; made on first use, destroyed when the host frees us.
    static ChatPalette& GetInstance();
    static ChatPalette* TryGetInstance();
    static void DestroyInstance();

    ChatPalette();
    ~ChatPalette() override;

    // Page updates: each builds one QuillmereUI call with every text escaped and runs it, and
    // is kept in the transcript.
    void PushAssistantMessage(const std::string& text);
    void SetThinking(bool thinking);
    // label names the picture on its card; a render's card is the default.
    void PushRenderPreview(const std::string& imageUrl, const std::string& downloadUrl,
                           const std::string& label = kRenderLabel);
    void PushToolResult(const std::string& toolName, bool success, const std::string& detail);
    // A message the engine gave back: marked "Not sent" or "Not answered" on the page, which
    // puts its text and attachments back into the input box.
    void ReturnUnsentMessage(const std::vector<ContentBlock>& message, ModelBridge::GivenBack why);
    // The sign-in's state (the manager's JSON text, which holds no token) and its messages.
    void PushAuthState(const std::string& stateJson);
    void PushAuthError(const std::string& message);

    static constexpr const char* kRenderLabel = "Render preview";
    static constexpr const char* kPlanOverlayLabel = "Plan recognition overlay";
    PreviewCallback MakePreviewCallback(const std::string& label = kRenderLabel);
    ToolResultCallback MakeToolResultCallback();

    // Makes text safe inside a single- or double-quoted JavaScript string literal.
    static std::string JSEscape(const std::string& text);

    ModelBridge& GetBridge() { return *bridge; }
    SignInManager& GetSignIn() { return *signIn; }
    DG::Browser& GetBrowser() { return browser; }
    const std::string& GetPagePath() const { return pagePath; }

    // Bridge calls from the page ("Quillmere" object); public so that tests can drive them.
    // The page gets each API key masked (bullets and, for a long key, its last four
    // characters); a save that sends a mask back keeps the stored key.
    std::string GetSettingsForPage() const;
    bool SaveSettingsFromPage(const std::string& settingsJson);
    // A page that has (re)loaded asks for the conversation: the page named pageId is given the
    // transcript in one QuillmereUI.showConversation call that replaces what it shows.
    void ReplayConversation(const std::string& pageId);
    // Forgets the conversation in the engine and here, and empties every page.
    void ClearConversation();

private:
    // The conversation kept from the last run, or a new one; a file set aside is named in the chat.
    void RestoreLastConversation();
    // Saves what the turn added; a save that fails is shown as a warning until one works.
    void KeepConversation(const std::vector<HistoryMessage>& history);
    // The user sent a message: what waited in the input box goes, its files from the file too.
    void EmptyBoxes();
    void ApplySettingsToEngine();
    // The sign-in the manager wants kept: into the settings file and the engine.
    void KeepSignIn(const SignInManager::StoredSignIn& stored);
    // The page's state carries the notice of a sign-in or sign-out not saved yet ("" once it
    // is) as not_saved.
    void SetSignInNotice(const std::string& notice);
    std::string WithSignInNotice(const std::string& stateJson) const;
    void WritePageAndLoad();
    void RegisterBridgeObject();
    // What a send call answers the page: true when the engine queued the message, else false or,
    // when the engine named the attachments at fault, {"refused": [block, ...]}.
    JS::Value SentOrMarked(bool queued, const ModelBridge::Refusal& refusal);
    void RunScript(const std::string& script);
    // The running turn has shown a reply: the transcript and, the first time, the page note it.
    void TellReplyCame();

    std::shared_ptr<bool> liveness = std::make_shared<bool>(true);
    DG::Browser browser;
    std::unique_ptr<ModelBridge> bridge;
    std::unique_ptr<SignInManager> signIn;
    Settings settings;
    std::string signInNotice;  // "⚠ Sign-in not saved: <cause>" or "⚠ Sign-out ...", until saved
    std::string authState;     // the sign-in's state as the page was last told it
    std::string pagePath;
    PageTranscript transcript;
    ConversationLog log;                      // the conversation's file in the history folder
    std::vector<HistoryMessage> keptHistory;  // the history as last given to log
};
