#pragma once

#include <string>

// The chat page shown in the palette: one self-contained HTML document (markup, style and
// script inline), so that it needs no network and no files beside it.
std::string BuildChatPage();

// The parts the page is assembled from: the files beside this header, embedded by the build.
const char* ChatPageMarkup();  // page.html: the body's markup
const char* ChatPageStyle();   // page.css: the style sheet
// The script, one file per job; BuildChatPage runs them, in this order, as one script.
const char* ChatPageScript();             // page.js: shared names, state and small helpers
const char* ChatPageBridgeScript();       // page-bridge.js: calls to the add-on, the status line
const char* ChatPageMessagesScript();     // page-messages.js: the conversation's messages
const char* ChatPageCardsScript();        // page-cards.js: tool-result cards and previews
const char* ChatPageAttachmentsScript();  // page-attachments.js: files attached to a message
const char* ChatPageComposerScript();     // page-composer.js: the input box and sending
const char* ChatPageSettingsScript();     // page-settings.js: the settings panel
const char* ChatPageAccountScript();      // page-account.js: signing in and out
const char* ChatPageStartScript();        // page-start.js: the QuillmereUI object, the first steps
