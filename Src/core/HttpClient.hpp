#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

namespace Quillmere {

struct HttpResponse {
    int statusCode = 0;  // 0 when no HTTP response arrived
    std::string body;    // bytes as received
    std::string error;   // empty unless the call failed before or during the transfer
    // The request was sent to the server (so it reached it) before the call failed or ended;
    // with a timeout, the server took the request and sent no answer in time.
    bool requestSent = false;
    bool timedOut = false;  // error is the timeout's text
};

struct MultipartFile {
    std::string fieldName;
    std::string filePath;
    std::string contentType;
};

// Blocking requests; safe from any thread. A status outside 200-299 is not an error here.
//
// Only the caller's headers are sent (in key order) besides Host and Content-Length; the
// transport adds no Accept, Expect or Content-Type of its own. Only http and https are
// spoken; redirects are followed. A header whose name or value holds CR or LF fails the
// call before anything is sent.
//
// Timeouts: a request fails with status 0 and "The request timed out." when connecting, or
// waiting for the next bytes, takes longer than 30 s (GET) or 120 s (POST and multipart).
HttpResponse HttpGet(const std::string& url, const std::map<std::string, std::string>& headers);
HttpResponse HttpPost(const std::string& url, const std::string& body,
                      const std::map<std::string, std::string>& headers);
HttpResponse HttpPostMultipart(const std::string& url, const std::map<std::string, std::string>& fields,
                               const std::vector<MultipartFile>& files,
                               const std::map<std::string, std::string>& headers);

// Cancelling: requests made on the calling thread watch this flag from now on; while it
// reads true, a running request stops within about a second and a new one is not started,
// each failing with status 0 and "The request was cancelled.". nullptr stops watching.
// The flag must outlive every request the thread makes while it is set. Used by the
// engine's worker so that shut-down does not wait for a long request.
void SetHttpAbortFlag(const std::atomic<bool>* flag);

// Sets the abort flag for the calling thread for the lifetime of the scope.
class HttpAbortScope {
public:
    explicit HttpAbortScope(const std::atomic<bool>* flag);
    ~HttpAbortScope();
    HttpAbortScope(const HttpAbortScope&) = delete;
    HttpAbortScope& operator=(const HttpAbortScope&) = delete;

private:
    const std::atomic<bool>* previous_;
};

// For tests: replaces both timeouts with this many milliseconds (0 restores the defaults),
// so that a stalling server can be tested quickly. Process-wide.
void SetHttpTimeoutOverrideForTesting(long milliseconds);

}  // namespace Quillmere
