#pragma once

#include <string>

// The chat page shown in the palette: one self-contained HTML document (markup, style and
// script inline), so that it needs no network and no files beside it.
std::string BuildChatPage();

// The three parts the page is assembled from: page.html, page.css and page.js beside this
// header, embedded by the build.
const char* ChatPageMarkup();  // the body's markup
const char* ChatPageStyle();   // the style sheet
const char* ChatPageScript();  // the page logic, including the QuillmereUI object
