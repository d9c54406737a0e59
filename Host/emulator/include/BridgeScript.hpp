#pragma once

// Part of the emulated host's window system (the shell serves it); the add-on never includes it.

#include <map>
#include <string>
#include <vector>

// The script the shell puts at the top of every document it serves for a browser control:
// it makes each registered bridge object a window object whose functions POST to the shell
// and return promises, and it runs the scripts that ExecuteJS sends over the event stream:
// every script after servedAfter (the newest one when the document was served), even one that
// the page this document replaces took while it was going away. The page is told when that
// stream drops (the host has quit, say) and when it is back, as a "bridgeconnection" event on
// window whose detail is {connected: bool}: nothing else would tell it before its next call.
std::string BuildBridgeScript(const std::string& token, int browserId,
                              const std::map<std::string, std::vector<std::string>>& functionsByObject,
                              unsigned long long servedAfter);

// The document with the bridge script placed right after its <head> tag (or first, when it
// has none).
std::string InjectBridgeScript(const std::string& document, const std::string& bridgeScript);

// One event-stream event carrying a script; every line of the script becomes a data line.
std::string EventStreamMessage(unsigned long long id, const std::string& script);
