#include "ShellServer.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "AddOnHost.hpp"
#include "BridgeScript.hpp"
#include "HostTesting.hpp"
#include "HostWindowPage.hpp"
#include "MainQueue.hpp"
#include "PaletteHost.hpp"
#include "PlanSelection.hpp"
#include "PlanView.hpp"
#include "PlanViewLayers.hpp"
#include "WindowDocumentation.hpp"

namespace {

using nlohmann::json;

constexpr int kEventWaitMs = 1000;
constexpr int kKeepAliveEveryWaits = 15;
constexpr std::size_t kMaxRequestBytes = 160u * 1024u * 1024u;
// Every open event stream holds one request thread for as long as its page stays open, so
// the pool is sized well above the streams allowed: pages left open in a few tabs, or
// connections opened and left idle, must not leave no thread for the bridge calls and the
// host window.
constexpr std::size_t kRequestThreads = 128;
constexpr int kMaxEventStreams = 24;
// A connection that sends nothing gives its thread back this quickly, whether it never sent
// a request or sits idle between two.
constexpr time_t kIdleSeconds = 1;

// Address reuse lets a restarted host take its port back out of TIME_WAIT, but never lets
// two listening sockets share a port; the server library's default adds port reuse, with
// which several hosts bound one port and took each other's requests.
void ExclusiveSocketOptions(socket_t sock)
{
    int yes = 1;
#ifdef _WIN32
    setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
#else
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
}

// Why a request's announced size is refused before any of its body is read; empty when it
// may be read. A request without Content-Length (chunked, or bodiless) is held to the same
// limit by the server library while it reads.
std::string SizeRefusal(const httplib::Request& req, int& status)
{
    if (!req.has_header("Content-Length")) return {};
    const std::string text = req.get_header_value("Content-Length");
    const bool digits = !text.empty() && text.size() <= 19 && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits) {
        status = 400;
        return "Bad request: unreadable Content-Length";
    }
    if (std::stoull(text) <= kMaxRequestBytes) return {};
    status = 413;
    return "Request too large: at most " + std::to_string(kMaxRequestBytes / (1024 * 1024)) + " MB";
}

void SendJson(httplib::Response& res, const json& body, int status = 200)
{
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
}

// Deeper than any request the page makes. Copying or printing a parsed value recurses once per
// level, so a body nested deeper is refused before it is parsed: a request thread's stack must
// not be at the mercy of its sender.
constexpr int kMaxBodyNesting = 64;

// The deepest nesting of arrays and objects in JSON text, counted without parsing it (brackets
// inside strings do not count).
int NestingDepth(const std::string& text)
{
    int depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

json ParseBody(const httplib::Request& req)
{
    if (NestingDepth(req.body) > kMaxBodyNesting) return json::object();
    json body = json::parse(req.body, nullptr, false);
    return body.is_object() ? body : json::object();
}

// A whole number that fits an Int32; anything else is a bad request, never a wrapped value.
Int32 IntField(const json& body, const char* key)
{
    const json value = body.value(key, json(0));
    const bool fits = value.is_number_unsigned()
                          ? value.get<std::uint64_t>() <= INT32_MAX
                          : value.is_number_integer() && value.get<std::int64_t>() >= INT32_MIN &&
                                value.get<std::int64_t>() <= INT32_MAX;
    if (!fits) throw std::invalid_argument(std::string(key) + " must be a 32-bit whole number");
    return static_cast<Int32>(value.get<std::int64_t>());
}

JS::Value ToJsValue(const json& value)
{
    if (value.is_string()) return JS::Value(value.get<std::string>());
    if (value.is_boolean()) return JS::Value(value.get<bool>());
    if (value.is_number()) return JS::Value(value.get<double>());
    if (value.is_object() || value.is_array()) return JS::Value(value.dump());
    return JS::Value();
}

json FromJsValue(const JS::Value& value)
{
    switch (value.GetType()) {
    case JS::Value::Type::Bool: return value.GetBool();
    case JS::Value::Type::Number: return value.GetNumber();
    case JS::Value::Type::String: return value.GetString();
    default: return nullptr;
    }
}

bool ReadFile(const std::string& path, std::string& contents)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream buffer;
    buffer << in.rdbuf();
    contents = buffer.str();
    return true;
}

int BrowserIdOf(const httplib::Request& req)
{
    try {
        return std::stoi(req.matches[1]);
    } catch (...) {
        return 0;
    }
}

// What the host window shows; read on the main thread.
json HostState(const ShellServer::AddOnInfo& addOn)
{
    json state;
    state["addOn"] = {{"name", addOn.name}, {"description", addOn.description}, {"loaded", AddOnHost::IsLoaded()}};
    state["menus"] = json::array();
    for (const auto& item : AddOnHost::MenuItems()) {
        state["menus"].push_back({{"menuResId", item.menuResID},
                                  {"itemIndex", item.itemIndex},
                                  {"menuTitle", item.menuTitle},
                                  {"itemText", item.itemText},
                                  {"checked", (item.flags & API_MenuItemChecked) != 0},
                                  {"enabled", (item.flags & API_MenuItemDisabled) == 0}});
    }
    state["palette"] = nullptr;
    for (const auto& palette : PaletteHost::Palettes()) {
        if (palette.browserIds.empty()) continue;
        json entry = {{"id", palette.id},
                      {"title", palette.title},
                      {"visible", palette.visible},
                      {"enabled", palette.enabled},
                      {"width", palette.width},
                      {"height", palette.height},
                      {"browserId", palette.browserIds.front()},
                      {"referenceId", nullptr}};
        for (const auto& window : AddOnHost::ModelessWindows())
            if (GS::Guid(window.guid).ToString() == palette.guid) entry["referenceId"] = window.referenceID;
        state["palette"] = entry;
        break;
    }
    // The host's Edit menu names the steps it would undo and redo.
    const std::vector<std::string> undo = HostTesting::UndoStepNames(), redo = HostTesting::RedoStepNames();
    state["edit"] = {{"undo", undo.empty() ? json(nullptr) : json(undo.back())},
                     {"redo", redo.empty() ? json(nullptr) : json(redo.back())}};
    state["revision"] = HostTesting::ProjectRevision();
    state["documentation"] = WindowDocumentation::State();
    state["stories"] = json::array();
    for (const auto& story : HostTesting::GetStories())
        state["stories"].push_back({{"index", story.index}, {"name", story.name}, {"level", story.level}});
    state["currentStory"] = HostTesting::CurrentStory();
    state["selected"] = PlanSelection::SelectedCount();
    state["hiddenLayers"] = PlanViewLayers::HiddenNames();
    return state;
}

// Every open event stream holds a request thread: past the limit a page is told to close
// one instead. True when this stream may open; the stream's release hook gives it back.
bool AdmitEventStream(std::atomic<int>& openStreams, httplib::Response& res)
{
    if (openStreams.fetch_add(1) < kMaxEventStreams) return true;
    --openStreams;
    SendJson(res, {{"ok", false}, {"error", "Too many open pages; close one and reload"}}, 503);
    return false;
}

// A comment line after a run of quiet waits, so that a stream whose reader has gone is noticed
// and proxies keep it open. False when the reader has gone.
bool KeepAliveWhenQuiet(int& quietWaits, httplib::DataSink& sink)
{
    if (++quietWaits < kKeepAliveEveryWaits) return true;
    quietWaits = 0;
    static const std::string ping = ": keep-alive\n\n";
    return sink.write(ping.data(), ping.size());
}

}  // namespace

ShellServer::ShellServer() : server(std::make_unique<httplib::Server>()) {}

ShellServer::~ShellServer()
{
    if (listener.joinable()) {
        server->stop();
        listener.join();
    }
}

const std::string& ShellServer::Token() const { return guard->Token(); }

std::string ShellServer::Address() const { return guard->Origin() + "/?token=" + guard->Token(); }

bool ShellServer::Start(int requestedPort, const AddOnInfo& info, bool fallBack)
{
    addOn = info;
    server->set_socket_options(ExclusiveSocketOptions);
    port = 0;
    if (requestedPort != 0 && server->bind_to_port("127.0.0.1", requestedPort))
        port = requestedPort;
    else if (requestedPort == 0 || fallBack)
        port = std::max(server->bind_to_any_port("127.0.0.1"), 0);
    if (port == 0) return false;
    guard = std::make_unique<RequestGuard>(port);
    InstallRoutes();
    listening = true;
    listener = std::thread([this] {
        server->listen_after_bind();
        listening = false;
    });
    // Serving once Start returns: a Stop before the loop runs would find nothing to stop.
    while (listening && !server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void ShellServer::Stop()
{
    if (!listener.joinable()) return;
    stopping = true;
    // Event streams end with their outboxes; closing them lets their threads go.
    for (const auto& browser : PaletteHost::Browsers()) browser.outbox->Close();
    server->stop();
    MainQueue::PumpUntil([this] { return !listening.load(); }, std::chrono::seconds(30));
    listener.join();
}

void ShellServer::InstallRoutes()
{
    InstallRequestChecks();
    InstallWindowRoutes();
    InstallPlanPicture();
    InstallBridgeRoutes();
    InstallEventStreams();
}

// Limits, the error answer and the token check every route relies on.
void ShellServer::InstallRequestChecks()
{
    // Attachments travel as base64 inside a bridge call: room for several large drawings,
    // but not for a request that would exhaust memory.
    server->set_payload_max_length(kMaxRequestBytes);
    server->set_keep_alive_timeout(kIdleSeconds);
    server->set_read_timeout(kIdleSeconds, 0);
    server->new_task_queue = [] { return new httplib::ThreadPool(kRequestThreads); };
    // A request the routes cannot use (a number where text belongs, say) is the client's fault.
    server->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string what = "unusable request";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {}
        SendJson(res, {{"ok", false}, {"error", "Bad request: " + what}}, 400);
    });
    // Runs on the headers alone, before any body is read: a request without this run's token
    // or announcing more than the limit is answered at once; a body sent anyway is no request
    // the server can read, which ends the connection.
    server->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        // Replies go out uncompressed. Offered brotli, the server library compresses every
        // text reply at its highest quality: 90 to 270 ms for the palette page or /host/state
        // (which the window polls every 800 ms) against 0.6 ms plain, and on 127.0.0.1 the
        // bytes saved buy nothing. The library reads the offer when it writes the reply, so it
        // is taken off the request here; the request is the server's own, lent read-only.
        const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
        std::string token = req.get_param_value("token");
        if (token.empty()) token = req.get_header_value("X-Quillmere-Token");
        const std::string refusal = guard->Check(token, req.get_header_value("Host"), req.get_header_value("Origin"),
                                                 req.get_header_value("Sec-Fetch-Site"));
        // Nothing served here may be cached, framed by another site, or leak the token
        // through a Referer header to the services whose images the page shows.
        res.set_header("Cache-Control", "no-store");
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("X-Frame-Options", "SAMEORIGIN");
        int status = 403;
        std::string error = refusal.empty() ? SizeRefusal(req, status) : "Forbidden: " + refusal;
        if (error.empty()) return httplib::Server::HandlerResponse::Unhandled;
        SendJson(res, {{"ok", false}, {"error", error}}, status);
        return httplib::Server::HandlerResponse::Handled;
    });
}

// The host window's page, its state and the commands of its menus, palette and story tabs.
void ShellServer::InstallWindowRoutes()
{
    server->Get("/", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(BuildHostWindowPage(guard->Token()), "text/html; charset=utf-8");
    });

    server->Get("/host/state", [this](const httplib::Request&, httplib::Response& res) {
        json state;
        DispatchSyncMain([&] { state = HostState(addOn); });
        SendJson(res, state);
    });

    server->Post("/host/menu", [](const httplib::Request& req, httplib::Response& res) {
        const json body = ParseBody(req);
        const Int32 menu = IntField(body, "menuResId");
        const Int32 item = IntField(body, "itemIndex");
        GSErrCode result = NoError;
        DispatchSyncMain([&] { result = AddOnHost::ChooseMenuItem(menu, item); });
        SendJson(res, {{"ok", result == NoError}, {"code", result}});
    });

    // Edit > Undo and Edit > Redo of the host window.
    server->Post(R"(/host/edit/(undo|redo))", [](const httplib::Request& req, httplib::Response& res) {
        const bool undo = req.matches[1] == "undo";
        GSErrCode result = NoError;
        DispatchSyncMain([&] { result = undo ? HostTesting::Undo() : HostTesting::Redo(); });
        SendJson(res, {{"ok", result == NoError}, {"code", result}});
    });

    server->Post("/host/palette/close", [](const httplib::Request& req, httplib::Response& res) {
        const Int32 reference = IntField(ParseBody(req), "referenceId");
        GSErrCode result = NoError;
        DispatchSyncMain([&] { result = AddOnHost::SendPaletteMessage(reference, APIPalMsg_ClosePalette); });
        SendJson(res, {{"ok", result == NoError}, {"code", result}});
    });

    // A click in the plan picture (pixels of a picture of width x height) selects as the host's
    // plan does; {"clear": true} is Escape, which clears the selection.
    server->Post("/host/select", [](const httplib::Request& req, httplib::Response& res) {
        const json body = ParseBody(req);
        const bool clear = body.value("clear", false) == true;
        const Int32 x = IntField(body, "x"), y = IntField(body, "y");
        const Int32 width = IntField(body, "width"), height = IntField(body, "height");
        const bool shift = body.value("shift", false) == true;
        GSErrCode result = NoError;
        DispatchSyncMain([&] {
            if (clear) {
                result = ACAPI_Element_DeselectAll();
                return;
            }
            const Int16 story = HostTesting::CurrentStory();
            const PlanGeometry::Mapping view = PlanView::ViewOf(width, height, story);
            // The picture is drawn clamped; a click is traced back at the same scale.
            const double sx = double(std::clamp(width, 64, 4096)) / std::max(width, 1);
            const double sy = double(std::clamp(height, 64, 4096)) / std::max(height, 1);
            result = PlanSelection::Click(story, view, x * sx, y * sy, shift);
        });
        SendJson(res, {{"ok", result == NoError}, {"code", result}});
    });

    // A story tab chosen in the window goes to that story, as the host's own story command.
    server->Post("/host/story", [](const httplib::Request& req, httplib::Response& res) {
        const Int32 index = IntField(ParseBody(req), "index");
        GSErrCode result = APIERR_BADPARS;
        if (index >= INT16_MIN && index <= INT16_MAX) {
            API_StoryCmdType cmd;
            BNClear(cmd);
            cmd.action = APIStory_GoTo;
            cmd.index = static_cast<Int16>(index);
            DispatchSyncMain([&] { result = ACAPI_Environment(APIEnv_ChangeStorySettingsID, &cmd); });
        }
        SendJson(res, {{"ok", result == NoError}, {"code", result}});
    });
}

// The plan view as a PNG; without a story it shows the current one.
void ShellServer::InstallPlanPicture()
{
    server->Get("/host/plan.png", [this](const httplib::Request& req, httplib::Response& res) {
        PlanView::Options options;
        const bool currentStory = !req.has_param("story");
        try {
            if (req.has_param("w")) options.width = std::stoi(req.get_param_value("w"));
            if (req.has_param("h")) options.height = std::stoi(req.get_param_value("h"));
            if (req.has_param("story")) options.story = static_cast<Int16>(std::stoi(req.get_param_value("story")));
        } catch (...) {
            res.status = 400;
            return;
        }
        // One drawing at a time on the main thread, encoded on this one: a burst of large plan
        // requests cannot keep the main thread busy while the add-on's work queues behind.
        PlanView::Drawing drawing;
        std::unique_lock<std::mutex> oneAtATime(planDrawing);
        DispatchSyncMain([&] {
            if (currentStory) options.story = HostTesting::CurrentStory();
            drawing = PlanView::DrawImage(options);
        });
        oneAtATime.unlock();
        const std::vector<unsigned char> png = PlanView::EncodePng(drawing);
        res.set_content(std::string(png.begin(), png.end()), "image/png");
    });
}

// A browser control's document, with the bridge script injected, and the bridge calls its
// page makes to the add-on's JavaScript objects.
void ShellServer::InstallBridgeRoutes()
{
    server->Get(R"(/browser/(\d+)/page)", [this](const httplib::Request& req, httplib::Response& res) {
        auto browser = PaletteHost::FindBrowser(BrowserIdOf(req));
        std::string document;
        if (!browser || browser->documentPath.empty() || !ReadFile(browser->documentPath, document)) {
            res.status = 404;
            res.set_content("No document is loaded in this browser.", "text/plain");
            return;
        }
        const std::string script =
            BuildBridgeScript(guard->Token(), browser->id, browser->functionsByObject, browser->outbox->LastPushed());
        res.set_content(InjectBridgeScript(document, script), "text/html; charset=utf-8");
    });

    server->Post(R"(/browser/(\d+)/call)", [](const httplib::Request& req, httplib::Response& res) {
        const int browserId = BrowserIdOf(req);
        const json body = ParseBody(req);
        const json object = body.value("object", json());
        const json function = body.value("function", json());
        if (!object.is_string() || !function.is_string()) {
            SendJson(res, {{"ok", false}, {"error", "A bridge call names an object and a function"}}, 400);
            return;
        }
        std::vector<JS::Value> args;
        for (const auto& arg : body.value("args", json::array())) args.push_back(ToJsValue(arg));
        JS::Value result;
        std::string error;
        bool ok = false;
        DispatchSyncMain([&] {
            ok = PaletteHost::CallBridgeFunction(browserId, object.get<std::string>(), function.get<std::string>(),
                                                 args, result, error);
        });
        if (ok)
            SendJson(res, {{"ok", true}, {"result", FromJsValue(result)}});
        else
            SendJson(res, {{"ok", false}, {"error", error}}, 404);
    });
}

// The two server-sent event streams: the project's revision for the host window, and the
// scripts the add-on runs in a browser control (ExecuteJS).
void ShellServer::InstallEventStreams()
{
    // The project's revision, now and whenever it moves on, so that the window redraws its
    // plan only when there is something new to show.
    server->Get("/host/events", [this](const httplib::Request&, httplib::Response& res) {
        if (!AdmitEventStream(openEventStreams, res)) return;
        auto sent = std::make_shared<std::uint64_t>(0);
        auto idleWaits = std::make_shared<int>(0);
        res.set_header("X-Accel-Buffering", "no");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, sent, idleWaits](size_t, httplib::DataSink& sink) {
                if (stopping) return false;
                const std::uint64_t revision = *sent == 0 ? HostTesting::ProjectRevision()
                                                          : HostTesting::WaitForProjectChange(*sent, kEventWaitMs);
                if (stopping) return false;
                if (revision != *sent) {
                    *sent = revision;
                    *idleWaits = 0;
                    const std::string message = "event: revision\ndata: " + std::to_string(revision) + "\n\n";
                    return sink.write(message.data(), message.size());
                }
                return KeepAliveWhenQuiet(*idleWaits, sink) && sink.is_writable();
            },
            [this](bool) { --openEventStreams; });
    });

    server->Get(R"(/browser/(\d+)/events)", [this](const httplib::Request& req, httplib::Response& res) {
        auto browser = PaletteHost::FindBrowser(BrowserIdOf(req));
        if (!browser) {
            res.status = 404;
            return;
        }
        // A reconnecting stream resumes after the last script it received; a new page starts
        // with what no page has taken yet, and with everything since its document was served:
        // a reloaded page's old stream may still take a script (its reply to the new page's
        // first call, say) before the browser has closed it.
        const auto number = [](const std::string& text, std::uint64_t otherwise) -> std::uint64_t {
            try {
                return text.empty() ? otherwise : std::stoull(text);
            } catch (...) {
                return otherwise;
            }
        };
        std::uint64_t after = browser->outbox->LastTaken();
        after = std::min<std::uint64_t>(after, number(req.get_param_value("after"), after));
        after = number(req.get_header_value("Last-Event-ID"), after);
        if (!AdmitEventStream(openEventStreams, res)) return;
        auto outbox = browser->outbox;
        auto position = std::make_shared<std::uint64_t>(after);
        auto idleWaits = std::make_shared<int>(0);
        res.set_header("X-Accel-Buffering", "no");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, outbox, position, idleWaits](size_t, httplib::DataSink& sink) {
                if (stopping) return false;
                auto scripts = outbox->WaitAfter(*position, kEventWaitMs);
                for (const auto& [id, script] : scripts) {
                    const std::string message = EventStreamMessage(id, script);
                    if (!sink.write(message.data(), message.size())) return false;
                    *position = id;
                }
                if (scripts.empty() && outbox->IsClosed()) {
                    sink.done();
                    return true;
                }
                if (scripts.empty() && !KeepAliveWhenQuiet(*idleWaits, sink)) return false;
                return sink.is_writable();
            },
            [this](bool) { --openEventStreams; });
    });
}
