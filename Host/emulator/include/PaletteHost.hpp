#pragma once

// The host application's side of palettes and browser controls: what the shell serves and
// what tests inspect. The add-on never includes this header.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "DGBrowser.hpp"

namespace PaletteHost {

// Scripts that ExecuteJS queued for the page, read by the shell's event stream on its own
// threads. Each script gets a sequence number so that a reconnecting page resumes where it
// left off instead of running a script twice.
class ScriptOutbox {
public:
    void Push(const std::string& script);
    // Waits up to timeoutMs for scripts numbered above afterSeq; returns them in order.
    // Returns at once, with what is there, once the outbox is closed.
    std::vector<std::pair<std::uint64_t, std::string>> WaitAfter(std::uint64_t afterSeq, int timeoutMs);
    // Sequence number of the newest script that any reader has taken (0 when none).
    std::uint64_t LastTaken() const;
    // Sequence number of the newest script pushed (0 when none).
    std::uint64_t LastPushed() const;
    void Close();
    bool IsClosed() const;

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<std::uint64_t, std::string>> scripts;
    std::uint64_t nextSeq = 1;
    std::uint64_t lastTaken = 0;
    bool closed = false;
};

struct BrowserInfo {
    int id = 0;
    std::string documentPath;  // the file the add-on asked the browser to load, "" if none
    std::map<std::string, std::vector<std::string>> functionsByObject;
    std::shared_ptr<ScriptOutbox> outbox;
};

struct PaletteInfo {
    int id = 0;
    std::string guid;
    std::string title;
    bool visible = false;
    bool enabled = true;
    bool processingEvents = false;
    int width = 0;
    int height = 0;
    std::vector<int> browserIds;
};

// Snapshots; callable from any thread.
std::vector<PaletteInfo> Palettes();
std::optional<BrowserInfo> FindBrowser(int browserId);
std::vector<BrowserInfo> Browsers();

// Every script ever passed to ExecuteJS on this browser since it was made, for tests.
std::vector<std::string> ExecutedScripts(int browserId);

// Calls a registered bridge function. Must run on the main thread. Returns false with an
// error text when the object or function is unknown or the function threw.
bool CallBridgeFunction(int browserId, const std::string& objectName, const std::string& functionName,
                        const std::vector<JS::Value>& args, JS::Value& result, std::string& error);

}  // namespace PaletteHost
