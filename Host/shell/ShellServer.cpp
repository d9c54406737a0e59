#include "ShellServer.hpp"

#include <chrono>
#include <cstdint>
#include <fstream>
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
#include "PlanView.hpp"
#include "PlanViewLayers.hpp"
#include "WindowDocumentation.hpp"

namespace {

using nlohmann::json;

constexpr int kEventWaitMs = 1000;
constexpr int kKeepAliveEveryWaits = 15;
constexpr std::size_t kMaxRequestBytes = 160u * 1024u * 1024u;
// Every open event stream holds one request thread for as long as its page stays open, so
// the pool is sized well above the streams allowed: pages left open in a few tabs must not
// leave no thread for the bridge calls and the host window.
constexpr std::size_t kRequestThreads = 64;
constexpr int kMaxEventStreams = 24;

void SendJson(httplib::Response& res, const json& body, int status = 200)
{
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
}

json ParseBody(const httplib::Request& req)
{
    json body = json::parse(req.body, nullptr, false);
    return body.is_object() ? body : json::object();
}

// A whole number that fits an Int32; anything else is a bad request, never a wrapped value.
Int32 IntField(const json& body, const char* key)
{
    const json value = body.value(key, json(0));
    const bool fits = value.is_number_unsigned() ? value.get<std::uint64_t>() <= INT32_MAX
                      : value.is_number_integer() && value.get<std::int64_t>() >= INT32_MIN && value.get<std::int64_t>() <= INT32_MAX;
    if (!fits)
        throw std::invalid_argument(std::string(key) + " must be a 32-bit whole number");
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
    state["documentation"] = WindowDocumentation::State();
    state["stories"] = json::array();
    for (const auto& story : HostTesting::GetStories())
        state["stories"].push_back({{"index", story.index}, {"name", story.name}, {"level", story.level}});
    state["currentStory"] = HostTesting::CurrentStory();
    state["hiddenLayers"] = PlanViewLayers::HiddenNames();
    return state;
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

bool ShellServer::Start(int requestedPort, const AddOnInfo& info)
{
    addOn = info;
    if (requestedPort == 0) {
        port = server->bind_to_any_port("127.0.0.1");
        if (port <= 0) return false;
    } else {
        if (!server->bind_to_port("127.0.0.1", requestedPort)) return false;
        port = requestedPort;
    }
    guard = std::make_unique<RequestGuard>(port);
    InstallRoutes();
    listening = true;
    listener = std::thread([this] {
        server->listen_after_bind();
        listening = false;
    });
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
    // Attachments travel as base64 inside a bridge call: room for several large drawings,
    // but not for a request that would exhaust memory.
    server->set_payload_max_length(kMaxRequestBytes);
    server->new_task_queue = [] { return new httplib::ThreadPool(kRequestThreads); };
    // A request the routes cannot use (a number where text belongs, say) is the client's fault.
    server->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string what = "unusable request";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        SendJson(res, {{"ok", false}, {"error", "Bad request: " + what}}, 400);
    });
    server->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
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
        if (refusal.empty()) return httplib::Server::HandlerResponse::Unhandled;
        SendJson(res, {{"ok", false}, {"error", "Forbidden: " + refusal}}, 403);
        return httplib::Server::HandlerResponse::Handled;
    });

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

    server->Post("/host/palette/close", [](const httplib::Request& req, httplib::Response& res) {
        const Int32 reference = IntField(ParseBody(req), "referenceId");
        GSErrCode result = NoError;
        DispatchSyncMain([&] { result = AddOnHost::SendPaletteMessage(reference, APIPalMsg_ClosePalette); });
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

    // Without a story the plan shows the current one.
    server->Get("/host/plan.png", [](const httplib::Request& req, httplib::Response& res) {
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
        std::vector<unsigned char> png;
        DispatchSyncMain([&] {
            if (currentStory) options.story = HostTesting::CurrentStory();
            png = PlanView::RenderPng(options);
        });
        res.set_content(std::string(png.begin(), png.end()), "image/png");
    });

    server->Get(R"(/browser/(\d+)/page)", [this](const httplib::Request& req, httplib::Response& res) {
        auto browser = PaletteHost::FindBrowser(BrowserIdOf(req));
        std::string document;
        if (!browser || browser->documentPath.empty() || !ReadFile(browser->documentPath, document)) {
            res.status = 404;
            res.set_content("No document is loaded in this browser.", "text/plain");
            return;
        }
        const std::string script = BuildBridgeScript(guard->Token(), browser->id, browser->functionsByObject);
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

    server->Get(R"(/browser/(\d+)/events)", [this](const httplib::Request& req, httplib::Response& res) {
        auto browser = PaletteHost::FindBrowser(BrowserIdOf(req));
        if (!browser) {
            res.status = 404;
            return;
        }
        // A reconnecting stream resumes after the last script it received; a new page starts
        // with what no page has taken yet.
        std::uint64_t after = browser->outbox->LastTaken();
        const std::string lastEventId = req.get_header_value("Last-Event-ID");
        if (!lastEventId.empty()) {
            try {
                after = std::stoull(lastEventId);
            } catch (...) {
            }
        }
        if (openEventStreams.fetch_add(1) >= kMaxEventStreams) {
            --openEventStreams;
            SendJson(res, {{"ok", false}, {"error", "Too many open pages; close one and reload"}}, 503);
            return;
        }
        auto outbox = browser->outbox;
        auto position = std::make_shared<std::uint64_t>(after);
        auto idleWaits = std::make_shared<int>(0);
        res.set_header("X-Accel-Buffering", "no");
        res.set_chunked_content_provider(
            "text/event-stream", [this, outbox, position, idleWaits](size_t, httplib::DataSink& sink) {
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
                if (scripts.empty() && ++*idleWaits >= kKeepAliveEveryWaits) {
                    *idleWaits = 0;
                    static const std::string ping = ": keep-alive\n\n";
                    if (!sink.write(ping.data(), ping.size())) return false;
                }
                return sink.is_writable();
            },
            [this](bool) { --openEventStreams; });
    });
}
