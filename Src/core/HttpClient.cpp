#include "core/HttpClient.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <utility>

#include <curl/curl.h>

#include "core/AsciiText.hpp"
#include "core/FileText.hpp"
#include "core/HeaderText.hpp"
#include "core/ServiceAddress.hpp"

namespace Quillmere {

namespace {

using HeaderPairs = std::vector<std::pair<std::string, std::string>>;

constexpr long kGetTimeoutMs = 30000;
constexpr long kPostTimeoutMs = 120000;
// A tool call may take as long as its longest single request.
constexpr long kCallTimeoutMs = kPostTimeoutMs;
const char* const kTimedOutText = "The request timed out.";
const char* const kCancelledText = "The request was cancelled.";
const char* const kOutOfTimeText = "The request was not sent: the tool call had used all its time.";

using Clock = std::chrono::steady_clock;
// The end of the running tool call's time on this thread; max() outside any.
thread_local Clock::time_point tCallDeadline = Clock::time_point::max();

thread_local const std::atomic<bool>* tAbortFlag = nullptr;
// Set by the host's quit notice on any thread while the main thread may be inside a request:
// must not take a lock.
std::atomic<bool> gAbortAll{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the quit flag is set while a request runs");
// When quitting began (steady clock, nanoseconds), stored before the flag is set.
std::atomic<long long> gQuitBeganNs{0};
static_assert(std::atomic<long long>::is_always_lock_free, "the quit's time is set while a request runs");
// How long this thread's requests go on after quitting began (HttpQuitGrace); 0: not at all.
thread_local std::chrono::milliseconds tQuitGrace{0};
std::atomic<long> gTimeoutOverrideMs{0};
std::atomic<long> gCallTimeoutOverrideMs{0};

void EnsureCurlInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long TimeoutMs(long defaultMs)
{
    const long overrideMs = gTimeoutOverrideMs.load();
    return overrideMs > 0 ? overrideMs : defaultMs;
}

// The request's own deadline cut to what is left of its tool call's; 0 when nothing is left.
long DeadlineWithinCallMs(long timeoutMs)
{
    return static_cast<long>(std::min<long long>(timeoutMs, HttpCallTimeLeft().count()));
}

bool AbortRequested(const std::atomic<bool>* flag) { return gAbortAll.load() || (flag != nullptr && flag->load()); }

bool IsValidUrl(const std::string& url)
{
    if (url.empty() || url.find('\0') != std::string::npos) {
        return false;
    }
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), &curl_url_cleanup);
    return handle && curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
}

bool SameHeaderName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Header names are case-insensitive: setting one that is already there replaces it, and the
// header set last comes last.
void SetHeader(HeaderPairs& headers, const std::string& name, const std::string& value)
{
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (SameHeaderName(it->first, name)) {
            headers.erase(it);
            break;
        }
    }
    headers.emplace_back(name, value);
}

bool HasHeader(const HeaderPairs& headers, const std::string& name)
{
    for (const auto& header : headers) {
        if (SameHeaderName(header.first, name)) {
            return true;
        }
    }
    return false;
}

// A line break or NUL in a header would let a value smuggle extra headers or a second request.
bool IsSafeHeader(const std::string& name, const std::string& value)
{
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        if (c == ':' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0' || c == ';') {
            return false;
        }
    }
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

std::string Printable(const std::string& text)
{
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = '?';
        }
    }
    return out;
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

bool Append(Slist& list, const std::string& line)
{
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) {
        return false;
    }
    list.release();
    list.reset(grown);
    return true;
}

// The caller's headers, then empty entries that stop libcurl adding its own defaults.
bool BuildHeaderList(const HeaderPairs& headers, Slist& list)
{
    for (const auto& header : headers) {
        // "Name;" is libcurl's way of sending a header with an empty value.
        const std::string line = header.second.empty() ? header.first + ";" : header.first + ": " + header.second;
        if (!Append(list, line)) {
            return false;
        }
    }
    for (const char* name : {"Accept", "Expect", "Content-Type"}) {
        if (!HasHeader(headers, name) && !Append(list, std::string(name) + ":")) {
            return false;
        }
    }
    return true;
}

struct Transfer {
    std::string body;
    std::size_t maxBytes = 0;
    const std::atomic<bool>* abortFlag = nullptr;
    std::chrono::milliseconds quitGrace{0};
    std::string stopReason;
};

// Whether a transfer under way stops now: at once when asked, or, with a grace while quitting,
// once the grace after the quit began has passed.
bool TransferAborted(const Transfer& transfer)
{
    if (transfer.quitGrace.count() > 0 && gAbortAll.load()) {
        const Clock::time_point began{std::chrono::nanoseconds(gQuitBeganNs.load())};
        return Clock::now() >= began + transfer.quitGrace;
    }
    return AbortRequested(transfer.abortFlag);
}

size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    if (size * count > transfer->maxBytes - transfer->body.size()) {
        transfer->stopReason =
            "The reply is larger than " + std::to_string(transfer->maxBytes) + " bytes and was not read.";
        return 0;  // libcurl stops the transfer
    }
    transfer->body.append(data, size * count);
    return size * count;
}

// Runs about once a second while nothing moves, and with every chunk: the abort flags.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* transfer = static_cast<Transfer*>(user);
    if (TransferAborted(*transfer)) {
        transfer->stopReason = kCancelledText;
        return 1;
    }
    return 0;
}

// The host (and port) a redirect names; empty when the reply names no location, so is no
// redirect at all.
std::string RedirectHost(CURL* h)
{
    char* target = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &target) != CURLE_OK || target == nullptr) {
        return "";
    }
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
    char* host = nullptr;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, target, 0) != CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        return "an unreadable location";
    }
    std::string text = host;
    curl_free(host);
    char* port = nullptr;
    if (curl_url_get(url.get(), CURLUPART_PORT, &port, 0) == CURLUE_OK) {
        text += std::string(":") + port;
        curl_free(port);
    }
    return Printable(text);
}

HttpResponse Failure(const std::string& error)
{
    HttpResponse response;
    response.error = error;
    return response;
}

// One request; body is null for GET. Everything is set per call, nothing is shared.
HttpResponse Perform(const std::string& url, const std::string* body, const HeaderPairs& headers, long timeoutMs,
                     std::size_t maxReplyBytes)
{
    if (!IsValidUrl(url)) {
        return Failure("Invalid URL: " + url);
    }
    for (const auto& header : headers) {
        if (!IsSafeHeader(header.first, header.second)) {
            return Failure("Invalid HTTP header: " + Printable(header.first));
        }
    }
    if (AbortRequested(tAbortFlag)) {
        return Failure(kCancelledText);
    }
    const long ownTimeoutMs = timeoutMs;
    timeoutMs = DeadlineWithinCallMs(timeoutMs);
    if (timeoutMs == 0) {
        HttpResponse outOfTime = Failure(kOutOfTimeText);
        outOfTime.timedOut = true;
        return outOfTime;
    }

    EnsureCurlInitialised();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    Slist headerList;
    if (!curl || !BuildHeaderList(headers, headerList)) {
        return Failure("Could not prepare the HTTP request.");
    }

    Transfer transfer;
    transfer.abortFlag = tAbortFlag;
    transfer.quitGrace = tQuitGrace;
    transfer.maxBytes = maxReplyBytes;
    char errorText[CURL_ERROR_SIZE] = {0};

    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    // A proxy the environment names (http_proxy, all_proxy, ...) is for other hosts: through it,
    // a request meant for this computer alone, token and all, would leave it in clear.
    if (IsLoopbackAddress(url)) curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    if (body != nullptr) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body->data());
    } else {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }

    const CURLcode code = curl_easy_perform(h);
    long requestBytes = 0;
    curl_easy_getinfo(h, CURLINFO_REQUEST_SIZE, &requestBytes);
    if (code != CURLE_OK) {
        HttpResponse failure;
        if (!transfer.stopReason.empty()) {
            failure = Failure(transfer.stopReason);
        } else if (code == CURLE_OPERATION_TIMEDOUT) {
            failure = Failure(kTimedOutText);
        } else {
            failure = Failure(errorText[0] != '\0' ? std::string(errorText) : std::string(curl_easy_strerror(code)));
        }
        failure.requestSent = requestBytes > 0;
        failure.timedOut = failure.error == kTimedOutText;
        // libcurl may give up a moment early: a request that ran into its call's deadline has
        // used the call's time, so the call's next request is not sent.
        if (failure.timedOut && timeoutMs < ownTimeoutMs) tCallDeadline = std::min(tCallDeadline, Clock::now());
        return failure;
    }

    HttpResponse response;
    response.requestSent = true;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.statusCode = static_cast<int>(status);
    const std::string redirectHost = status >= 300 && status <= 399 ? RedirectHost(h) : std::string();
    if (!redirectHost.empty()) {
        response.error = "The server answered HTTP " + std::to_string(status) + " with a redirect to " + redirectHost +
                         "; redirects are not followed.";
        return response;
    }
    response.body = std::move(transfer.body);
    return response;
}

HeaderPairs ToPairs(const std::map<std::string, std::string>& headers)
{
    HeaderPairs pairs;
    for (const auto& header : headers) {
        SetHeader(pairs, header.first, header.second);
    }
    return pairs;
}

std::string LastPathComponent(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const std::size_t slash = trimmed.rfind('/');
    return (slash == std::string::npos || trimmed.size() == 1) ? trimmed : trimmed.substr(slash + 1);
}

std::uint32_t RandomBoundaryNumber()
{
    thread_local std::mt19937 generator{std::random_device{}()};
    return static_cast<std::uint32_t>(generator());
}

}  // namespace

bool IsSuccessStatus(int statusCode) { return statusCode >= 200 && statusCode <= 299; }

bool Succeeded(const HttpResponse& response) { return response.error.empty() && IsSuccessStatus(response.statusCode); }

HttpResponse HttpGet(const std::string& url, const std::map<std::string, std::string>& headers,
                     std::size_t maxReplyBytes)
{
    return Perform(url, nullptr, ToPairs(headers), TimeoutMs(kGetTimeoutMs), maxReplyBytes);
}

HttpResponse HttpPost(const std::string& url, const std::string& body,
                      const std::map<std::string, std::string>& headers, std::size_t maxReplyBytes)
{
    return Perform(url, &body, ToPairs(headers), TimeoutMs(kPostTimeoutMs), maxReplyBytes);
}

HttpResponse HttpPostMultipart(const std::string& url, const std::map<std::string, std::string>& fields,
                               const std::vector<MultipartFile>& files,
                               const std::map<std::string, std::string>& headers, std::size_t maxReplyBytes)
{
    if (!IsValidUrl(url)) {
        return Failure("Invalid URL: " + url);
    }
    // Names and media types go into part headers: checked as the engine checks an attachment's.
    for (const auto& field : fields)
        if (!IsQuotableHeaderText(field.first))
            return Failure("Invalid multipart part header: " + Printable(field.first));
    for (const MultipartFile& file : files) {
        for (const std::string& label : {file.fieldName, LastPathComponent(file.filePath)})
            if (!IsQuotableHeaderText(label)) return Failure("Invalid multipart part header: " + Printable(label));
        if (HasControlCharacter(file.contentType))
            return Failure("Invalid multipart part header: " + Printable(file.contentType));
    }
    const std::string boundary = "----Quillmere" + std::to_string(RandomBoundaryNumber());
    std::string body;
    for (const auto& field : fields) {
        body += "--" + boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + field.first + "\"\r\n\r\n";
        body += field.second + "\r\n";
    }
    std::string content;
    for (const MultipartFile& file : files) {
        if (!ReadWholeFile(file.filePath, content)) {
            return Failure("Cannot read file: " + file.filePath);
        }
        body += "--" + boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + file.fieldName + "\"; filename=\"" +
                LastPathComponent(file.filePath) + "\"\r\n";
        body += "Content-Type: " + file.contentType + "\r\n\r\n";
        body += content;
        body += "\r\n";
    }
    body += "--" + boundary + "--\r\n";

    HeaderPairs pairs = ToPairs(headers);
    SetHeader(pairs, "Content-Type", "multipart/form-data; boundary=" + boundary);
    return Perform(url, &body, pairs, TimeoutMs(kPostTimeoutMs), maxReplyBytes);
}

HttpAbortScope::HttpAbortScope(const std::atomic<bool>* flag) : previous_(tAbortFlag) { tAbortFlag = flag; }

HttpAbortScope::~HttpAbortScope() { tAbortFlag = previous_; }

bool HttpRequestsCancelled() { return AbortRequested(tAbortFlag); }

HttpQuitGrace::HttpQuitGrace(std::chrono::milliseconds grace) : previous_(tQuitGrace) { tQuitGrace = grace; }

HttpQuitGrace::~HttpQuitGrace() { tQuitGrace = previous_; }

HttpCallDeadline::HttpCallDeadline() : previous_(tCallDeadline)
{
    const long callOverrideMs = gCallTimeoutOverrideMs.load();
    const long lengthMs = callOverrideMs > 0 ? callOverrideMs : TimeoutMs(kCallTimeoutMs);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(lengthMs);
    tCallDeadline = std::min(previous_, end);
}

HttpCallDeadline::HttpCallDeadline(Clock::time_point end) : previous_(tCallDeadline)
{
    tCallDeadline = std::min(previous_, end);
}

HttpCallDeadline::~HttpCallDeadline() { tCallDeadline = previous_; }

void AbortAllHttpRequests(bool abort)
{
    if (abort && !gAbortAll.load())
        gQuitBeganNs.store(std::chrono::nanoseconds(Clock::now().time_since_epoch()).count());
    gAbortAll.store(abort);
}

bool AllHttpRequestsAborted() { return gAbortAll.load(); }

std::chrono::milliseconds HttpCallTimeLeft()
{
    if (tCallDeadline == Clock::time_point::max()) return std::chrono::milliseconds::max();
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::ceil<std::chrono::milliseconds>(tCallDeadline - Clock::now()));
}

void SetHttpTimeoutOverrideForTesting(long milliseconds)
{
    gTimeoutOverrideMs.store(milliseconds > 0 ? milliseconds : 0);
}

void SetHttpCallDeadlineOverrideForTesting(long milliseconds)
{
    gCallTimeoutOverrideMs.store(milliseconds > 0 ? milliseconds : 0);
}

}  // namespace Quillmere
