#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
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
    // A deadline passed before an answer came: the request's own, or its tool call's (then
    // with the request unsent when no time was left to start it).
    bool timedOut = false;
};

// A status from 200 to 299 (a request that failed has none: its status is 0).
bool IsSuccessStatus(int statusCode);
// A 2xx reply that arrived whole.
bool Succeeded(const HttpResponse& response);

struct MultipartFile {
    std::string fieldName;
    std::string filePath;
    std::string contentType;
};

// How many reply bytes each kind of request may bring in; a longer reply is not kept.
constexpr std::size_t kMaxModelReplyBytes = 8u << 20;    // a language model's answer
constexpr std::size_t kMaxServiceReplyBytes = 4u << 20;  // JSON from the product service or the storage
constexpr std::size_t kMaxModuleReplyBytes = 64u << 20;  // a module file from the storage

// Blocking requests; safe from any thread. A 2xx or 4xx/5xx status is not an error here.
//
// Only the caller's headers are sent (in key order) besides Host and Content-Length; the
// transport adds no Accept, Expect or Content-Type of its own. Only http and https are
// spoken. A header whose name or value holds CR or LF fails the call before anything is sent,
// and so does a multipart field name, file name or media type that core/HeaderText.hpp refuses.
//
// A proxy named by the environment (http_proxy, https_proxy, all_proxy and their upper-case
// spellings, as libcurl reads them) is used for every host but this computer: an address on
// localhost, 127.0.0.0/8 or ::1 (core/ServiceAddress.hpp) is always reached directly.
//
// Redirects are never followed (they would carry the keys and the body to whatever host the
// reply names): a 3xx reply with a Location keeps its status, loses its body, and its error
// names the status and the host of the Location.
//
// Deadlines are totals: a request fails with status 0 and "The request timed out." when the
// whole exchange (connecting, sending, receiving) takes longer than 30 s (GET) or 120 s (POST
// and multipart), however steadily a slow server trickles bytes.
//
// Inside an HttpCallDeadline scope a request also ends by the scope's deadline.
//
// A reply longer than maxReplyBytes fails the call with status 0 as soon as it passes the cap.
HttpResponse HttpGet(const std::string& url, const std::map<std::string, std::string>& headers,
                     std::size_t maxReplyBytes = kMaxServiceReplyBytes);
HttpResponse HttpPost(const std::string& url, const std::string& body,
                      const std::map<std::string, std::string>& headers,
                      std::size_t maxReplyBytes = kMaxServiceReplyBytes);
HttpResponse HttpPostMultipart(const std::string& url, const std::map<std::string, std::string>& fields,
                               const std::vector<MultipartFile>& files,
                               const std::map<std::string, std::string>& headers,
                               std::size_t maxReplyBytes = kMaxServiceReplyBytes);

// Cancelling: for the lifetime of the scope, requests made on the calling thread watch flag;
// while it reads true, a running request stops within about a second and a new one is not
// started, each failing with status 0 and "The request was cancelled.". The engine's worker
// watches its own so that shut-down does not wait for a long request.
class HttpAbortScope {
public:
    explicit HttpAbortScope(const std::atomic<bool>* flag);
    ~HttpAbortScope();
    HttpAbortScope(const HttpAbortScope&) = delete;
    HttpAbortScope& operator=(const HttpAbortScope&) = delete;

private:
    const std::atomic<bool>* previous_;
};

// For a request whose answer cannot be had again once the server has acted on it (a renewal
// that rotates the sign-in's tokens): while the scope lives, a request of the calling thread
// already under way when quitting begins goes on until grace after it began (then it stops
// within about a second, as any), and its own flag waits as long meanwhile, so that an answer
// on its way is kept. A request is still not started once quitting has begun.
class HttpQuitGrace {
public:
    explicit HttpQuitGrace(std::chrono::milliseconds grace);
    ~HttpQuitGrace();
    HttpQuitGrace(const HttpQuitGrace&) = delete;
    HttpQuitGrace& operator=(const HttpQuitGrace&) = delete;

private:
    std::chrono::milliseconds previous_;
};

// True while a request the calling thread started would be cancelled (its abort scope's flag,
// or quitting): for a thread that waits for something other than a request, so that it gives
// up when its requests would.
bool HttpRequestsCancelled();

// One deadline for every request of one tool call, however many it makes: while the scope
// lives, each request of the calling thread takes the smaller of its own deadline and the time
// left, and one that would start with no time left is not sent (status 0, timedOut, "The
// request was not sent: the tool call had used all its time."). Its length is the longest
// single deadline (120 s), so a tool holds the host's main thread no longer than one slow
// upload would. Scopes nest; an inner one never outlasts the outer.
class HttpCallDeadline {
public:
    HttpCallDeadline();
    // A deadline at end instead (or the outer scope's, when sooner): one span of time shared by
    // a series of requests, such as a job's status polls.
    explicit HttpCallDeadline(std::chrono::steady_clock::time_point end);
    ~HttpCallDeadline();
    HttpCallDeadline(const HttpCallDeadline&) = delete;
    HttpCallDeadline& operator=(const HttpCallDeadline&) = delete;

private:
    std::chrono::steady_clock::time_point previous_;
};

// Quitting: while set, every request of every thread stops within about a second and new
// ones are not started, failing as cancelled. Lock-free, so any thread may set it while another
// is inside a request: the host's quit notice and the add-on's unload set it, and the unload
// clears it again once nothing of the add-on's is left running.
void AbortAllHttpRequests(bool abort);
// True while AbortAllHttpRequests is set: a request that failed then was cancelled by it.
bool AllHttpRequestsAborted();

// What is left of the calling thread's tool call (HttpCallDeadline), never below zero;
// milliseconds::max() outside any.
std::chrono::milliseconds HttpCallTimeLeft();

// For tests: replaces both deadlines, and the length of a tool call's, with this many
// milliseconds (0 restores the defaults), so that a stalling server can be tested quickly.
// Process-wide.
void SetHttpTimeoutOverrideForTesting(long milliseconds);
// For tests: the length of a tool call's deadline alone, so that a request's own deadline and
// its call's can differ (0: as the override above, or the default).
void SetHttpCallDeadlineOverrideForTesting(long milliseconds);

}  // namespace Quillmere
