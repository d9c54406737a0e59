#include "HostWindowPage.hpp"

#include <nlohmann/json.hpp>

std::string BuildHostWindowPage(const std::string& token)
{
    std::string script = HostWindowScript();
    const std::string marker = "__TOKEN__";
    // The token goes in as a JSON string literal, which is also a JavaScript one.
    script.replace(script.find(marker), marker.size(), nlohmann::json(token).dump());

    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    // No icon to fetch: a browser would otherwise ask for one on every load and be refused.
    page += "<link rel=\"icon\" href=\"data:,\">\n";
    page += "<title>Quillmere Host</title>\n<style>\n";
    page += HostWindowStyle();
    page += "</style>\n</head>\n<body>\n";
    page += HostWindowMarkup();
    page += "<script>\n";
    page += script;
    page += "</script>\n</body>\n</html>\n";
    return page;
}
