#include "resources/ChatPage.hpp"

#include <nlohmann/json.hpp>

#include "engine/ServiceErrors.hpp"

std::string BuildChatPage()
{
    std::string page;
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    // The page makes no requests of its own: scripts and styles are inline, images come
    // only from the add-on (render previews) or from files the user picks.
    page += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
            "script-src 'self' 'unsafe-inline'; style-src 'unsafe-inline'; "
            "img-src data: blob: http://127.0.0.1:* https:; connect-src 'self'\">\n";
    // No icon to fetch: a browser would otherwise ask the server for one on every load.
    page += "<link rel=\"icon\" href=\"data:,\">\n";
    page += "<title>Quillmere</title>\n<style>\n\n";
    page += ChatPageStyle();
    page += "</style>\n</head>\n<body>\n\n";
    page += ChatPageMarkup();
    // The script's files share one function scope: their names reach each other, not window.
    page += "<script>\n'use strict';\n(function () {\n";
    // What the chat says of a turn the host stopped part way, as the palette keeps it: a page
    // open at the stop says it too.
    page += "var STOPPED_PART_WAY = " + nlohmann::json(StoppedPartWayWarning()).dump() + ";\n";
    for (const char* part : {ChatPageScript(), ChatPageBridgeScript(), ChatPageMessagesScript(), ChatPageCardsScript(),
                             ChatPageAttachmentsScript(), ChatPageComposerScript(), ChatPageSettingsScript(),
                             ChatPageAccountScript(), ChatPageStartScript()}) {
        page += "\n";
        page += part;
    }
    page += "})();\n</script>\n</body>\n</html>\n";
    return page;
}
