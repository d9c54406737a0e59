// The fake object storage shared by the template and typology tests.

#include "FakeStorage.hpp"

#include "HttpTestSupport.hpp"

#include <chrono>
#include <cstdlib>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

// Three dot-joined base64url-like segments of the given total length; the label keeps the two
// keys apart so that a test can tell which one was sent.
std::string MakeFakeKey(const std::string& label, std::size_t length)
{
    const std::string head = "eyJhbGciOiJIUzI1NiJ9";
    std::string key = head + "." + label + ".";
    key += std::string(length - key.size(), 'Q');
    return key;
}

const char* const kObjectPath = "/storage/v1/object/Templates/";
const char* const kListPath = "/storage/v1/object/list/Templates";
const char* const kPublicPath = "/storage/v1/object/public/Templates/";

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

void Refuse(httplib::Response& out, int status, const std::string& error, const std::string& message)
{
    out.status = status;
    out.set_content(json{{"statusCode", std::to_string(status)}, {"error", error}, {"message", message}}.dump(),
                    "application/json");
}

std::string Header(const httplib::Request& in, const char* name)
{
    return in.has_header(name) ? in.get_header_value(name) : std::string();
}

}  // namespace

const std::string kFakeAnonKey = MakeFakeKey("ZmFrZS1hbm9u", 208);
const std::string kFakeServiceKey = MakeFakeKey("ZmFrZS1zZXJ2aWNl", 219);

FakeStorage::FakeStorage(std::string anonKey, std::string serviceKey)
    : anonKey_(std::move(anonKey)), serviceKey_(std::move(serviceKey))
{
    auto handler = [this](const httplib::Request& in, httplib::Response& out) { Handle(in, out); };
    server_.Get(".*", handler);
    server_.Post(".*", handler);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeStorage::~FakeStorage() { Stop(); }

void FakeStorage::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
    server_.stop();
    if (thread_.joinable()) thread_.join();
}

std::string FakeStorage::Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

Quillmere::StorageConfig FakeStorage::Config() const
{
    return Quillmere::MakeStorageConfig(Url(), anonKey_, serviceKey_);
}

std::string FakeStorage::ClosedUrl() { return ClosedLoopbackUrl(); }

void FakeStorage::Put(const std::string& path, const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    objects_[path] = bytes;
}

std::optional<std::string> FakeStorage::Object(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = objects_.find(path);
    if (found == objects_.end()) return std::nullopt;
    return found->second;
}

void FakeStorage::FailNext(const std::string& pathPrefix, int status, const std::string& body, int times)
{
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_.push_back({pathPrefix, status, body, times});
}

std::vector<FakeStorage::Request> FakeStorage::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t FakeStorage::RequestCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

std::vector<FakeStorage::Request> FakeStorage::RequestsTo(const std::string& method,
                                                          const std::string& pathPrefix) const
{
    std::vector<Request> matching;
    for (const Request& request : Requests())
        if (request.method == method && StartsWith(request.path, pathPrefix)) matching.push_back(request);
    return matching;
}

void FakeStorage::Handle(const httplib::Request& in, httplib::Response& out)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back({in.method, in.path, {in.headers.begin(), in.headers.end()}, in.body});
    }
    if (Scripted(in.path, out)) return;
    if (in.method == "GET" && StartsWith(in.path, kPublicPath))
        return Download(in.path.substr(std::string(kPublicPath).size()), out);
    if (in.method == "POST" && in.path == kListPath) return List(in, out);
    if (in.method == "POST" && StartsWith(in.path, kObjectPath))
        return Upload(in.path.substr(std::string(kObjectPath).size()), in, out);
    Refuse(out, 404, "not_found", "No such route");
}

bool FakeStorage::Scripted(const std::string& path, httplib::Response& out)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto it = scripts_.begin(); it != scripts_.end(); ++it) {
        if (!StartsWith(path, it->prefix)) continue;
        const int status = it->status;
        out.status = status;
        out.set_content(it->body, "application/json");
        if (it->remaining > 0 && --it->remaining == 0) scripts_.erase(it);
        if (status == 0) stopping_.wait(lock, [this] { return stopped_; });
        return true;
    }
    return false;
}

// The refusal text for wrong keys, or empty when both are right.
std::string FakeStorage::CheckAuth(const httplib::Request& in) const
{
    if (Header(in, "apikey") != anonKey_) return "missing or wrong apikey header";
    const std::string& bearer = serviceKey_.empty() ? anonKey_ : serviceKey_;
    if (Header(in, "Authorization") != "Bearer " + bearer) return "missing or wrong Authorization header";
    return std::string();
}

void FakeStorage::Upload(const std::string& name, const httplib::Request& in, httplib::Response& out)
{
    const std::string why = CheckAuth(in);
    if (!why.empty()) return Refuse(out, 401, "Unauthorized", why);
    if (Header(in, "Content-Type").empty()) return Refuse(out, 400, "invalid_request", "missing Content-Type header");
    if (Header(in, "x-upsert") != "true") return Refuse(out, 400, "Duplicate", "x-upsert header is not true");
    if (name.empty()) return Refuse(out, 400, "invalid_request", "missing object name");
    Put(name, in.body);
    out.status = 200;
    out.set_content(json{{"Key", std::string("Templates/") + name}}.dump(), "application/json");
}

void FakeStorage::List(const httplib::Request& in, httplib::Response& out)
{
    const std::string why = CheckAuth(in);
    if (!why.empty()) return Refuse(out, 401, "Unauthorized", why);
    if (Header(in, "Content-Type") != "application/json")
        return Refuse(out, 400, "invalid_request", "Content-Type is not application/json");
    const json body = json::parse(in.body, nullptr, false);
    if (!body.is_object() || !body.contains("prefix") || !body["prefix"].is_string() || !body.contains("limit") ||
        !body["limit"].is_number_integer())
        return Refuse(out, 400, "invalid_request", "body must hold a prefix and a limit");
    std::string prefix = body["prefix"].get<std::string>();
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    const auto limit = body["limit"].get<long long>();

    // Objects directly in the folder, and each sub-folder once, in byte order of the names.
    std::map<std::string, bool> entries;  // name -> is a folder
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& object : objects_) {
            if (!StartsWith(object.first, prefix)) continue;
            const std::string rest = object.first.substr(prefix.size());
            const auto slash = rest.find('/');
            if (slash == std::string::npos)
                entries[rest] = false;
            else
                entries.emplace(rest.substr(0, slash), true);
        }
    }
    json listing = json::array();
    long long n = 0;
    for (const auto& entry : entries) {
        if (n++ >= limit) break;
        if (entry.second)
            listing.push_back({{"name", entry.first}, {"id", nullptr}, {"metadata", nullptr}});
        else
            listing.push_back(
                {{"name", entry.first}, {"id", "fake-" + std::to_string(n)}, {"metadata", json::object()}});
    }
    out.status = 200;
    out.set_content(listing.dump(), "application/json");
}

void FakeStorage::Download(const std::string& name, httplib::Response& out)
{
    const auto object = Object(name);
    if (!object) return Refuse(out, 404, "not_found", "Object not found");
    out.status = 200;
    out.set_content(*object, "application/octet-stream");
}

ScopedStorageEnvironment::ScopedStorageEnvironment(const FakeStorage& storage)
    : ScopedStorageEnvironment(storage.Url(), storage.AnonKey(), storage.ServiceKey())
{}

ScopedStorageEnvironment::ScopedStorageEnvironment(const std::string& url, const std::string& anonKey,
                                                   const std::string& serviceKey)
    : url_("QUILLMERE_STORAGE_URL", Value(url)), anonKey_("QUILLMERE_STORAGE_ANON_KEY", Value(anonKey)),
      serviceKey_("QUILLMERE_STORAGE_SERVICE_KEY", Value(serviceKey))
{}
