#pragma once

// A fake object storage on 127.0.0.1 (an ephemeral port) for the design library's tests: it
// answers the upload, the bucket listing and the public download of the bucket "Templates" as
// the real service does, keeps what was uploaded so that it can be listed and downloaded
// again, records every request and can be told to fail. Tools tests get one from
// QuillmereTest::Storage(), with the add-on already pointed at it.
//
// Requests with wrong headers are refused (400 or 401, a JSON body naming the header, never
// its value): an upload needs "apikey" = the public key, "Authorization" = "Bearer " + the
// privileged key (the public key when the fake has none), a "Content-Type" and "x-upsert" =
// "true"; a listing the same keys, JSON, and a body {"prefix", "limit"}, and answers the
// folder's objects and sub-folders (id and metadata null) in byte order; a download needs no
// key and answers the bytes or 404.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "TempFolder.hpp"
#include "services/StorageClient.hpp"

// Dummy keys of the real keys' form (JWT-like, 208 and 219 characters), never real ones.
extern const std::string kFakeAnonKey;
extern const std::string kFakeServiceKey;

class FakeStorage {
public:
    struct Request {
        std::string method;
        std::string path;  // without the query
        std::map<std::string, std::string> headers;
        std::string body;
    };

    // serviceKey empty: the fake expects the public key as the Bearer value.
    explicit FakeStorage(std::string anonKey = kFakeAnonKey, std::string serviceKey = kFakeServiceKey);
    ~FakeStorage();
    FakeStorage(const FakeStorage&) = delete;
    FakeStorage& operator=(const FakeStorage&) = delete;

    std::string Url() const;
    const std::string& AnonKey() const { return anonKey_; }
    const std::string& ServiceKey() const { return serviceKey_; }
    Quillmere::StorageConfig Config() const;

    // The stored objects (path inside the bucket -> bytes).
    void Put(const std::string& path, const std::string& bytes);
    std::optional<std::string> Object(const std::string& path) const;

    // The next `times` requests whose path starts with pathPrefix are answered with this
    // status and body instead (times < 0: every such request until Clear()). Scripts are
    // tried in the order given; each request uses at most one. Status 0 takes the request and
    // never answers it (until Stop).
    void FailNext(const std::string& pathPrefix, int status, const std::string& body, int times = 1);

    std::vector<Request> Requests() const;
    std::size_t RequestCount() const;
    // The recorded requests whose method is method and whose path starts with pathPrefix.
    std::vector<Request> RequestsTo(const std::string& method, const std::string& pathPrefix) const;

    // Stops answering: later requests find the port closed.
    void Stop();

    // An address on 127.0.0.1 where nothing listens (a port bound and released at once).
    static std::string ClosedUrl();

private:
    struct Script {
        std::string prefix;
        int status;
        std::string body;
        int remaining;
    };

    void Handle(const httplib::Request& in, httplib::Response& out);
    bool Scripted(const std::string& path, httplib::Response& out);
    std::string CheckAuth(const httplib::Request& in) const;
    void Upload(const std::string& name, const httplib::Request& in, httplib::Response& out);
    void List(const httplib::Request& in, httplib::Response& out);
    void Download(const std::string& name, httplib::Response& out);

    std::string anonKey_;
    std::string serviceKey_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;
    std::map<std::string, std::string> objects_;
    std::deque<Script> scripts_;
    std::vector<Request> requests_;
};

// Points the add-on's storage configuration at a fake (or, with the other constructor, at any
// address and keys; empty texts unset the variable) for the lifetime of the scope, restoring
// the three environment variables afterwards.
class ScopedStorageEnvironment {
public:
    explicit ScopedStorageEnvironment(const FakeStorage& storage);
    ScopedStorageEnvironment(const std::string& url, const std::string& anonKey, const std::string& serviceKey);

private:
    static std::optional<std::string> Value(const std::string& text)
    {
        return text.empty() ? std::nullopt : std::optional<std::string>(text);
    }
    ScopedEnv url_, anonKey_, serviceKey_;
};
