// The sign-in state machine and the one thread that talks to the sign-in service for it.
#include "palette/SignInManager.hpp"

#include <algorithm>
#include <atomic>
#include <utility>

#include <nlohmann/json.hpp>

#include "core/CompactJson.hpp"
#include "core/DebugLog.hpp"
#include "core/HttpClient.hpp"
#include "services/IdentityClient.hpp"

using namespace Quillmere;

namespace {

std::atomic<long long> gSecondMs{1000};

const char* const kExpiredText = "Your sign-in has expired: sign in again.";
const char* const kCodeExpiredText = "The sign-in code expired before it was confirmed. Sign in again for a new code.";

}  // namespace

// What the manager's thread, the main thread and the engine's renewal share: the sign-in and
// the state, and the callbacks. Reports are made under the mutex, so that a cancelled job that
// got as far as reporting cannot overtake the report of whoever cancelled it.
struct SignInManager::Shared {
    std::mutex mutex;     // everything here, and the manager's queue
    std::mutex renewing;  // one renewal at a time: a rotated refresh token is good only once
    std::string baseUrl;
    StoredSignIn stored;
    std::string state = "signed_out";
    std::string userCode, verificationUri, verificationUriComplete;
    StateCallback onState;
    ErrorCallback onError;
    OpenPageCallback onOpenPage;
    StoredCallback onStored;
    bool reporting = true;  // off once the manager is being destroyed

    std::string StateJsonLocked() const
    {
        nlohmann::json out{{"state", state}};
        if (state == "signed_in") out["email"] = stored.email;
        if (state == "waiting") {
            out["user_code"] = userCode;
            out["verification_uri"] = verificationUri;
            out["verification_uri_complete"] = verificationUriComplete;
        }
        return CompactJson(out);
    }
    void SetStateLocked(const std::string& next)
    {
        state = next;
        if (next != "waiting") userCode = verificationUri = verificationUriComplete = "";
        if (reporting && onState) onState(StateJsonLocked());
    }
    // Back to what the stored sign-in says.
    void RestLocked() { SetStateLocked(stored.accessToken.empty() ? "signed_out" : "signed_in"); }
    void ErrorLocked(const std::string& message)
    {
        DebugLog("sign-in: " + message);
        if (reporting && onError) onError(message);
    }
    // The tokens were registered with the log's redaction as they arrived.
    void StoreLocked(const StoredSignIn& next)
    {
        stored = next;
        if (reporting && onStored) onStored(stored);
    }
    // The service or the proxy refused the sign-in for good: forgotten, and the page told so.
    void EndLocked(const std::string& why)
    {
        DebugLog("sign-in: " + why);
        StoreLocked({});
        RestLocked();
    }
};

SignInManager::SignInManager(std::string serviceBaseUrl, StoredSignIn stored) : shared(std::make_shared<Shared>())
{
    shared->baseUrl = std::move(serviceBaseUrl);
    // The engine registers the access token it is given; the refresh token is ours alone.
    DebugLogRedact(stored.refreshToken);
    // A refresh token alone signs nobody in.
    if (stored.accessToken.empty()) stored = {};
    shared->stored = std::move(stored);
    shared->state = shared->stored.accessToken.empty() ? "signed_out" : "signed_in";
    worker = std::thread([this] { WorkerLoop(); });
}

SignInManager::~SignInManager()
{
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        stopping = true;
        shared->reporting = false;
        jobs.clear();
        if (runningCancel) runningCancel->store(true);  // a request in flight ends within about a second
    }
    wake.notify_all();
    if (worker.joinable()) worker.join();
}

void SignInManager::SetCallbacks(StateCallback onState, ErrorCallback onError, OpenPageCallback onOpenPage,
                                 StoredCallback onStored)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->onState = std::move(onState);
    shared->onError = std::move(onError);
    shared->onOpenPage = std::move(onOpenPage);
    shared->onStored = std::move(onStored);
}

void SignInManager::SetSecondForTesting(std::chrono::milliseconds second)
{
    gSecondMs.store(second.count() > 0 ? second.count() : 1000);
}

std::string SignInManager::StateJson() const
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    return shared->StateJsonLocked();
}

std::string SignInManager::CheckAuth()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (!shared->stored.accessToken.empty() && !runningCancel && jobs.empty()) {
        shared->SetStateLocked("checking");
        jobs.push_back(Job{JobKind::Check, {}});
        wake.notify_all();
    }
    return shared->StateJsonLocked();
}

bool SignInManager::SignIn()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (shared->state == "signed_in") return false;
    CancelPending();
    shared->SetStateLocked("checking");
    jobs.push_back(Job{JobKind::SignIn, {}});
    wake.notify_all();
    return true;
}

bool SignInManager::CancelSignIn()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    const bool queued =
        std::any_of(jobs.begin(), jobs.end(), [](const Job& job) { return job.kind == JobKind::SignIn; });
    if (queued || (runningCancel && runningKind == JobKind::SignIn)) {
        CancelPending();
        DebugLog("sign-in: cancelled");
        shared->RestLocked();
    }
    return true;
}

bool SignInManager::SignOut()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    CancelPending();
    const StoredSignIn old = shared->stored;
    if (old.accessToken.empty() && old.refreshToken.empty()) {
        shared->SetStateLocked("signed_out");
        return true;
    }
    // Forgotten here at once, whether or not the service can be told.
    shared->StoreLocked({});
    DebugLog("sign-in: signed out");
    shared->SetStateLocked("checking");
    jobs.push_back(Job{JobKind::SignOut, old});
    wake.notify_all();
    return true;
}

std::string SignInManager::Renew(Shared& shared, const std::string& refused, bool& gone, std::string& why)
{
    std::lock_guard<std::mutex> once(shared.renewing);
    StoredSignIn now;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        now = shared.stored;
    }
    if (now.accessToken.empty()) {
        gone = true;
        return "";
    }
    if (now.accessToken != refused) return now.accessToken;  // renewed meanwhile
    Identity::TokenReply reply;
    if (!now.refreshToken.empty()) {
        Identity::Endpoints endpoints;
        if (!Identity::Discover(shared.baseUrl, endpoints, why)) return "";
        reply = Identity::RefreshTokens(endpoints, now.refreshToken);
        if (reply.status != Identity::TokenStatus::Granted && reply.status != Identity::TokenStatus::Rejected) {
            why = reply.error;
            return "";
        }
    }
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.stored.accessToken != refused) return shared.stored.accessToken;
    if (reply.status == Identity::TokenStatus::Granted) {
        DebugLog("sign-in: the access token was renewed");
        shared.StoreLocked({reply.tokens.access, reply.tokens.refresh, shared.stored.email});
        return reply.tokens.access;
    }
    gone = true;
    shared.EndLocked("the sign-in has expired");
    return "";
}

SignInManager::Renewal SignInManager::MakeRenewal() const
{
    return [shared = shared](const std::string& refused, std::string& why) {
        bool gone = false;
        const std::string renewed = Renew(*shared, refused, gone, why);
        if (!renewed.empty() || gone) return renewed;
        // The service could not be asked: the sign-in stays as it is, and so does the token.
        if (why.empty()) why = "the sign-in service did not answer";
        DebugLog("sign-in: the access token could not be renewed: " + why);
        return refused;
    };
}

SignInManager::Ending SignInManager::MakeEnding() const
{
    return [shared = shared](const std::string& refused) {
        std::lock_guard<std::mutex> once(shared->renewing);
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (refused.empty() || shared->stored.accessToken != refused) return;  // renewed or signed out meanwhile
        shared->EndLocked("the chat proxy refused the renewed token; the sign-in has ended");
    };
}

void SignInManager::CancelPending()
{
    if (runningCancel && runningKind != JobKind::SignOut) runningCancel->store(true);
    jobs.erase(std::remove_if(jobs.begin(), jobs.end(), [](const Job& job) { return job.kind != JobKind::SignOut; }),
               jobs.end());
    wake.notify_all();
}

void SignInManager::WorkerLoop()
{
    while (true) {
        Job job;
        bool failed = false;
        std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
        {
            std::unique_lock<std::mutex> lock(shared->mutex);
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (stopping) return;
            job = std::move(jobs.front());
            jobs.pop_front();
            runningCancel = cancelled;
            runningKind = job.kind;
        }
        {
            HttpAbortScope abortable(cancelled.get());
            try {
                if (job.kind == JobKind::Check) RunCheck(*cancelled);
                if (job.kind == JobKind::SignIn) RunSignIn(*cancelled);
                if (job.kind == JobKind::SignOut) RunSignOut(job.revoke, *cancelled);
            } catch (const std::exception& e) {
                // Nothing may leave this thread: that would end the host process.
                DebugLog(std::string("sign-in: internal error: ") + e.what());
                failed = true;
            } catch (...) {
                DebugLog("sign-in: internal error");
                failed = true;
            }
        }
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (failed && !cancelled->load()) shared->RestLocked();  // the page does not stay "checking"
        runningCancel.reset();
    }
}

bool SignInManager::Pause(int seconds, std::chrono::steady_clock::time_point deadline,
                          const std::atomic<bool>& cancelled)
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    const auto until =
        std::min(std::chrono::steady_clock::now() + std::chrono::milliseconds(gSecondMs.load() * seconds), deadline);
    return !wake.wait_until(lock, until, [&] { return stopping || cancelled.load(); });
}

void SignInManager::RunCheck(const std::atomic<bool>& cancelled)
{
    StoredSignIn checked;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        checked = shared->stored;
    }
    std::string why;
    Identity::Endpoints endpoints;
    Identity::UserInfoReply info;
    if (!checked.accessToken.empty() && Identity::Discover(shared->baseUrl, endpoints, why)) {
        info = Identity::FetchUserInfo(endpoints, checked.accessToken);
        if (info.status == Identity::UserInfoStatus::Unauthorized && !cancelled.load()) {
            bool gone = false;
            const std::string renewed = Renew(*shared, checked.accessToken, gone, why);
            if (gone) {
                std::lock_guard<std::mutex> lock(shared->mutex);
                if (cancelled.load()) return;
                shared->ErrorLocked(kExpiredText);
                shared->RestLocked();
                return;
            }
            info = {};
            if (!renewed.empty()) {
                checked.accessToken = renewed;
                info = Identity::FetchUserInfo(endpoints, renewed);
            }
        }
        if (info.status != Identity::UserInfoStatus::Valid && why.empty())
            why = info.status == Identity::UserInfoStatus::Unauthorized ? "the service did not accept the sign-in"
                                                                        : info.error;
    }
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (cancelled.load()) return;  // whoever cancelled reports
    if (info.status == Identity::UserInfoStatus::Valid && shared->stored.accessToken == checked.accessToken) {
        if (shared->stored.email != info.email) {
            StoredSignIn next = shared->stored;
            next.email = info.email;
            shared->StoreLocked(next);
        }
    } else if (!checked.accessToken.empty()) {
        // The service could not say: the stored sign-in stays as it was.
        shared->ErrorLocked("Could not check the sign-in: " + why);
    }
    shared->RestLocked();
}

void SignInManager::RunSignIn(const std::atomic<bool>& cancelled)
{
    std::string why;
    Identity::Endpoints endpoints;
    Identity::DeviceSession session;
    // The device code came registered with the log's redaction; it dies with this sign-in.
    struct ForgetCode {
        const std::string& code;
        ~ForgetCode() { DebugLogForget(code); }
    } forgetCode{session.deviceCode};
    const bool started = Identity::Discover(shared->baseUrl, endpoints, why) &&
                         Identity::StartDeviceAuthorization(endpoints, session, why);
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (cancelled.load()) return;
        if (!started) {
            shared->ErrorLocked("Sign-in failed: " + why);
            shared->RestLocked();
            return;
        }
        shared->userCode = session.userCode;
        shared->verificationUri = session.verificationUri;
        shared->verificationUriComplete = session.verificationUriComplete;
        DebugLog("sign-in: waiting for the code to be confirmed");
        shared->SetStateLocked("waiting");
        const std::string page =
            session.verificationUriComplete.empty() ? session.verificationUri : session.verificationUriComplete;
        if (shared->reporting && shared->onOpenPage) shared->onOpenPage(page);
    }

    // The service says how long the code lives and how often it may be asked.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(gSecondMs.load() * session.expiresIn);
    int interval = std::max(session.interval, 1);
    Identity::TokenReply reply;
    std::string failure;
    while (failure.empty() && reply.status != Identity::TokenStatus::Granted) {
        // Never past the code's life: an interval longer than it would show a dead code.
        if (!Pause(interval, deadline, cancelled)) return;
        if (std::chrono::steady_clock::now() >= deadline) {
            failure = kCodeExpiredText;
            break;
        }
        reply = Identity::PollDeviceToken(endpoints, session.deviceCode);
        if (cancelled.load()) return;
        switch (reply.status) {
        case Identity::TokenStatus::Granted:
        case Identity::TokenStatus::Pending: break;
        case Identity::TokenStatus::SlowDown:
            interval += 5;
            DebugLog("sign-in: the service asked for slower polling: now every " + std::to_string(interval) + " s");
            break;
        case Identity::TokenStatus::Denied: failure = "Sign-in was declined on the sign-in page."; break;
        case Identity::TokenStatus::Expired: failure = kCodeExpiredText; break;
        default: failure = "Sign-in failed: " + reply.error; break;
        }
    }
    Identity::UserInfoReply info;
    if (failure.empty()) info = Identity::FetchUserInfo(endpoints, reply.tokens.access);

    std::lock_guard<std::mutex> lock(shared->mutex);
    if (cancelled.load()) return;
    if (!failure.empty()) {
        shared->ErrorLocked(failure);
        shared->RestLocked();
        return;
    }
    DebugLog("sign-in: signed in");
    shared->StoreLocked({reply.tokens.access, reply.tokens.refresh, info.email});
    shared->SetStateLocked("signed_in");
    if (info.status != Identity::UserInfoStatus::Valid)
        shared->ErrorLocked("Signed in, but the account's e-mail could not be read: " +
                            (info.error.empty() ? std::string("the service did not accept the token") : info.error));
}

void SignInManager::RunSignOut(const StoredSignIn& revoke, const std::atomic<bool>& cancelled)
{
    std::string why;
    Identity::Endpoints endpoints;
    // The refresh token first: while it lives, new access tokens can be had.
    const bool told = Identity::Discover(shared->baseUrl, endpoints, why) &&
                      Identity::Revoke(endpoints, revoke.refreshToken, "refresh_token", why) &&
                      Identity::Revoke(endpoints, revoke.accessToken, "access_token", why);
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (cancelled.load()) return;
    if (!told) shared->ErrorLocked("Signed out here, but the sign-in service could not be told: " + why);
    shared->RestLocked();
}
