// The sign-in state machine and the one thread that talks to the sign-in service for it.
#include "palette/SignInManager.hpp"

#include <algorithm>
#include <atomic>
#include <optional>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/CompactJson.hpp"
#include "core/CurrentSettings.hpp"
#include "core/DebugLog.hpp"
#include "core/HttpClient.hpp"
#include "core/LocalStorage.hpp"
#include "engine/ServiceErrors.hpp"
#include "palette/SignOutNote.hpp"
#include "services/IdentityClient.hpp"

using namespace Quillmere;

namespace {

std::atomic<long long> gSecondMs{1000};

const char* const kCodeExpiredText = "The sign-in code expired before it was confirmed. Sign in again for a new code.";
const char* const kSignOutNotSavedText =
    "\u26a0 You signed out last time, but the sign-out could not be saved then: you are signed out now.";
// How often a wait for another's renewal looks whether its own work was cancelled meanwhile:
// whoever cancels that work does not know of the wait.
constexpr std::chrono::milliseconds kCancelLook{50};
// How long a renewal the service was already asked for may still be answered once quitting
// began: it has rotated the tokens, and they are lost with its answer.
constexpr std::chrono::milliseconds kQuitGrace{500};
// The longest another copy's renewal is waited for: its two requests' deadlines, and more.
constexpr std::chrono::minutes kOtherCopyWait{3};
// How long revoking a sign-in's unkept tokens may hold its thread.
constexpr std::chrono::seconds kRevokeUnkeptTime{1};

Settings AsSettings(const SignInManager::StoredSignIn& signIn)
{
    Settings settings;
    settings.accessToken = signIn.accessToken;
    settings.refreshToken = signIn.refreshToken;
    settings.userEmail = signIn.email;
    settings.signInGeneration = signIn.generation;
    return settings;
}

SignInManager::StoredSignIn SignInOf(const Settings& settings)
{
    // A refresh token alone signs nobody in.
    if (settings.accessToken.empty()) return {"", "", "", settings.signInGeneration};
    return {settings.accessToken, settings.refreshToken, settings.userEmail, settings.signInGeneration};
}

bool SameTokens(const SignInManager::StoredSignIn& a, const SignInManager::StoredSignIn& b)
{
    return a.accessToken == b.accessToken && a.refreshToken == b.refreshToken;
}

void Forget(const SignInManager::StoredSignIn& dropped)
{
    DebugLogForget(dropped.accessToken);
    DebugLogForget(dropped.refreshToken);
}

// Secrets registered with the log's redaction that nobody keeps yet: their registrations end
// with this, unless handed on to whoever keeps them.
class Unheld {
public:
    Unheld() = default;
    Unheld(const Unheld&) = delete;
    Unheld& operator=(const Unheld&) = delete;
    ~Unheld()
    {
        for (const std::string& secret : secrets) DebugLogForget(secret);
    }
    void Add(const std::string& secret) { secrets.push_back(secret); }
    void HandOn() { secrets.clear(); }

private:
    std::vector<std::string> secrets;
};

enum class SignInState { SignedOut, Checking, Waiting, SignedIn };

// The state's one spelling, in the page's JSON.
const char* StateName(SignInState state)
{
    switch (state) {
    case SignInState::Checking: return "checking";
    case SignInState::Waiting: return "waiting";
    case SignInState::SignedIn: return "signed_in";
    case SignInState::SignedOut: break;
    }
    return "signed_out";
}

}  // namespace

// What the manager's thread, the main thread and the engine's renewal share: the sign-in and
// the state, and the callbacks. Reports are made under the mutex, so that a cancelled job that
// got as far as reporting cannot overtake the report of whoever cancelled it.
struct SignInManager::Shared {
    std::mutex mutex;                      // everything here, and the manager's queue
    std::condition_variable renewalEnded;  // renewing went false, or closing true
    bool renewing = false;                 // a renewal is asking the service
    bool closing = false;                  // Stop has begun: no reports, no waits for a renewal
    bool unusableStored = false;           // the settings hold a sign-in not Usable, to end
    std::string baseUrl;
    StoredSignIn stored;
    SignInState state = SignInState::SignedOut;
    std::string userCode, verificationUri, verificationUriComplete;
    StateCallback onState;
    ErrorCallback onError;
    OpenPageCallback onOpenPage;
    StoredCallback onStored;
    // The start finished a sign-out an earlier run could not save (palette/SignOutNote): the
    // palette is told of the sign-in it no longer holds, and the page why.
    bool signedOutAtStart = false;
    std::string startNotice;
    // Queues tokens for revocation on the manager's thread; empty once it has stopped.
    std::function<void(const StoredSignIn&)> revokeLater;

    std::string StateJsonLocked() const
    {
        nlohmann::json out{{"state", StateName(state)}};
        if (state == SignInState::SignedIn) out["email"] = stored.email;
        if (state == SignInState::Waiting) {
            out["user_code"] = userCode;
            out["verification_uri"] = verificationUri;
            out["verification_uri_complete"] = verificationUriComplete;
        }
        return CompactJson(out);
    }
    void SetStateLocked(SignInState next)
    {
        state = next;
        if (next != SignInState::Waiting) userCode = verificationUri = verificationUriComplete = "";
        if (!closing && onState) onState(StateJsonLocked());
    }
    // Back to what the stored sign-in says.
    void RestLocked() { SetStateLocked(stored.accessToken.empty() ? SignInState::SignedOut : SignInState::SignedIn); }
    void ErrorLocked(const std::string& message)
    {
        DebugLog("sign-in: " + message);
        if (!closing && onError) onError(message);
    }
    void StoreLocked(const StoredSignIn& next)
    {
        stored = next;
        unusableStored = false;  // what the settings held is replaced
        if (!closing && onStored) onStored(stored);
    }
    // next's tokens come registered (the identity client's registrations, taken over, also of
    // a refresh token the renewal kept); those of the sign-in it replaces are let go.
    void ReplaceLocked(const StoredSignIn& next)
    {
        const StoredSignIn old = stored;
        StoreLocked(next);
        Forget(old);
    }
    // Whether onDisk holds a sign-in another copy wrote since this one's. One with a token the
    // redaction cannot take (an earlier version's) is never used, so it is no sign-in to take.
    bool NewerThanOwn(const Settings& onDisk) const
    {
        return AsSettings(stored).SignInOlderThan(onDisk) && Usable(SignInOf(onDisk));
    }
    // The sign-in settings.json holds, when another copy wrote one newer than this one's since.
    bool NewerOnDisk(StoredSignIn& newer) const
    {
        // A file that cannot be read holds no sign-in of another copy: copies never remove it.
        Settings::LoadStatus read = Settings::LoadStatus::Missing;
        const Settings onDisk = Settings::LoadFrom(Settings::FilePath(), &read);
        if (read != Settings::LoadStatus::Loaded || !NewerThanOwn(onDisk)) return false;
        newer = SignInOf(onDisk);
        return true;
    }
    // Takes newer (another copy's, from the file) in place of this one's, which that copy
    // renewed or ended: its registrations are let go, the newer's made. The page is told when
    // it shows this sign-in and that changes what it shows.
    void AdoptLocked(const StoredSignIn& newer)
    {
        DebugLog(newer.accessToken.empty() ? "sign-in: signed out by another copy of the add-on"
                                           : "sign-in: taking the sign-in another copy of the add-on saved");
        DebugLogRedact(newer.accessToken);
        DebugLogRedact(newer.refreshToken);
        const bool shown = state == SignInState::SignedIn;
        const bool changes = newer.accessToken.empty() || newer.email != stored.email;
        ReplaceLocked(newer);
        if (shown && changes) RestLocked();
    }
    bool AdoptNewerLocked()
    {
        StoredSignIn newer;
        if (!NewerOnDisk(newer)) return false;
        AdoptLocked(newer);
        return true;
    }
    // Writes next into settings.json as the next generation (set in next, also when the write
    // fails: it holds here all the same, and the palette says it was not saved). Unless forced
    // (a sign-in or sign-out the user makes here is the newest there is), a newer sign-in in the
    // file is kept and taken instead, and false returned. replaced: the file's sign-in before;
    // saved: whether the file took next.
    bool SaveLocked(StoredSignIn& next, bool force, StoredSignIn* replaced = nullptr, bool* saved = nullptr)
    {
        const Settings own = AsSettings(stored);
        StoredSignIn newer;
        bool kept = false;
        std::string error;
        const bool written = CurrentSettings::Update(
            [&](Settings& onDisk, Settings::LoadStatus read) {
                if (replaced != nullptr) *replaced = SignInOf(onDisk);
                if (!force && read == Settings::LoadStatus::Loaded && NewerThanOwn(onDisk)) {
                    newer = SignInOf(onDisk);
                    kept = true;
                    return false;
                }
                next.generation = std::max(onDisk.signInGeneration, own.signInGeneration) + 1;
                onDisk.TakeSignInFrom(AsSettings(next));
                return true;
            },
            &error);
        if (kept) {
            AdoptLocked(newer);
            return false;
        }
        if (!written) DebugLog("sign-in: cannot save the sign-in: " + error);
        if (saved != nullptr) *saved = written;
        return true;
    }
    // What a renewal gives whoever asked, the sign-in having moved on without it.
    RenewedToken CurrentLocked() const
    {
        if (stored.accessToken.empty()) return {RenewedToken::Outcome::SignedOut};
        return {RenewedToken::Outcome::Renewed, stored.accessToken};
    }
    // The renewal under way is over: whoever waits for it goes on.
    void RenewalEndedLocked()
    {
        renewing = false;
        renewalEnded.notify_all();
    }
    // The service or the proxy refused the sign-in for good: forgotten, and the page told so;
    // false when another copy saved a newer sign-in, which is taken instead.
    bool EndLocked(const std::string& why)
    {
        StoredSignIn none;
        if (!SaveLocked(none, false)) return false;
        DebugLog("sign-in: " + why);
        ReplaceLocked(none);
        RestLocked();
        return true;
    }
    // Tokens nobody keeps (a renewal that finished after a sign-out): dead at the service, and
    // then let go of.
    void RevokeLocked(const StoredSignIn& tokens)
    {
        if (revokeLater) return revokeLater(tokens);
        DebugLog("sign-in: tokens renewed while the sign-in stopped could not be revoked");
        Forget(tokens);
    }
};

SignInManager::SignInManager(std::string serviceBaseUrl, StoredSignIn stored) : shared(std::make_shared<Shared>())
{
    shared->baseUrl = std::move(serviceBaseUrl);
    // A refresh token alone signs nobody in.
    if (stored.accessToken.empty()) stored = {};
    shared->unusableStored = !Usable(stored);
    if (shared->unusableStored) stored = {};
    // Held, and so registered, like every sign-in the manager keeps.
    DebugLogRedact(stored.accessToken);
    DebugLogRedact(stored.refreshToken);
    shared->stored = std::move(stored);
    if (!shared->stored.accessToken.empty() &&
        SignOutNote::Names(shared->stored.accessToken, shared->stored.refreshToken)) {
        // The user signed out: that holds now, and the tokens are revoked (again, if they were).
        DebugLog("sign-in: finishing a sign-out that could not be saved");
        jobs.push_back(Job{JobKind::Revoke, shared->stored});
        StoredSignIn none;
        bool saved = false;
        shared->SaveLocked(none, true, nullptr, &saved);
        shared->stored = none;
        shared->signedOutAtStart = true;
        shared->startNotice = kSignOutNotSavedText;
        if (saved) SignOutNote::Remove();
    } else {
        SignOutNote::Remove();  // one of a sign-in since saved, or none
    }
    shared->state = shared->stored.accessToken.empty() ? SignInState::SignedOut : SignInState::SignedIn;
    shared->revokeLater = [this](const StoredSignIn& tokens) {
        jobs.push_back(Job{JobKind::Revoke, tokens});
        wake.notify_all();
    };
    worker = std::thread([this] { WorkerLoop(); });
}

SignInManager::~SignInManager()
{
    Stop();
    // A renewal the engine still finishes finds the sign-in gone and lets go of what it brought.
    std::lock_guard<std::mutex> lock(shared->mutex);
    Forget(std::exchange(shared->stored, {}));
}

void SignInManager::Stop(bool wait)
{
    std::deque<Job> dropped;
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        stopping = true;
        shared->closing = true;
        shared->revokeLater = nullptr;
        dropped.swap(jobs);
        if (runningCancel) runningCancel->store(true);  // a request in flight ends within about a second
    }
    wake.notify_all();
    shared->renewalEnded.notify_all();
    for (const Job& job : dropped) Forget(job.revoke);
    if (wait && worker.joinable()) worker.join();
}

SignInManager::StoredSignIn SignInManager::Stored() const
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    return shared->stored;
}

void SignInManager::SetCallbacks(StateCallback onState, ErrorCallback onError, OpenPageCallback onOpenPage,
                                 StoredCallback onStored)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->onState = std::move(onState);
    shared->onError = std::move(onError);
    shared->onOpenPage = std::move(onOpenPage);
    shared->onStored = std::move(onStored);
    if (shared->signedOutAtStart && shared->onStored) shared->onStored(shared->stored);
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

bool SignInManager::Usable(const StoredSignIn& stored)
{
    for (const std::string* token : {&stored.accessToken, &stored.refreshToken})
        if (!token->empty() && !RedactableSecret(*token)) return false;
    return true;
}

std::string SignInManager::CheckAuth()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (!shared->startNotice.empty()) shared->ErrorLocked(std::exchange(shared->startNotice, ""));
    const bool idle = !stopping && !runningCancel && jobs.empty();
    // Ended as an expired sign-in is, once the page asks and nothing else has replaced it.
    if (idle && shared->unusableStored) {
        shared->EndLocked("the stored sign-in holds a token the log's redaction cannot take");
        shared->ErrorLocked(SignInExpiredWarning());
    }
    // Signed out here, this copy takes a sign-in another copy saved since, and checks it.
    if (idle && shared->stored.accessToken.empty()) shared->AdoptNewerLocked();
    if (idle && !shared->stored.accessToken.empty()) {
        shared->SetStateLocked(SignInState::Checking);
        jobs.push_back(Job{JobKind::Check, {}});
        wake.notify_all();
    }
    return shared->StateJsonLocked();
}

bool SignInManager::SignIn()
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (stopping || shared->state == SignInState::SignedIn) return false;
    CancelPending();
    shared->SetStateLocked(SignInState::Checking);
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
    if (stopping) return false;
    CancelPending();
    const StoredSignIn old = shared->stored;
    if (old.accessToken.empty() && old.refreshToken.empty()) {
        shared->SetStateLocked(SignInState::SignedOut);
        return true;
    }
    // Forgotten here at once, whether or not the service can be told; the tokens' registrations
    // go with them to their revocation. Signed out on this home: a newer sign-in another copy
    // saved goes too.
    StoredSignIn none, onDisk;
    bool saved = false;
    shared->SaveLocked(none, true, &onDisk, &saved);
    // Should no later write save it either, the next start is told.
    if (!saved && !SignOutNote::Write(old.accessToken, old.refreshToken))
        DebugLog("sign-in: the sign-out could not be noted for the next start either");
    shared->StoreLocked(none);
    DebugLog("sign-in: signed out");
    shared->SetStateLocked(SignInState::Checking);
    jobs.push_back(Job{JobKind::SignOut, old});
    if (!onDisk.accessToken.empty() && !SameTokens(onDisk, old)) {
        DebugLogRedact(onDisk.accessToken);
        DebugLogRedact(onDisk.refreshToken);
        jobs.push_back(Job{JobKind::Revoke, onDisk});
    }
    wake.notify_all();
    return true;
}

RenewedToken SignInManager::Renew(Shared& shared, const std::string& refused)
{
    using Outcome = RenewedToken::Outcome;
    const auto cancelled = [&shared] {
        std::lock_guard<std::mutex> lock(shared.mutex);
        return shared.closing || HttpRequestsCancelled();
    };
    StoredSignIn now;
    {
        std::unique_lock<std::mutex> lock(shared.mutex);
        if (shared.renewing) DebugLog("sign-in: waiting for the renewal under way");
        while (shared.renewing) {
            if (shared.closing || HttpRequestsCancelled()) return {Outcome::NotNow, "", "the renewal was cancelled"};
            shared.renewalEnded.wait_for(lock, kCancelLook);
        }
        if (shared.stored.accessToken.empty() || shared.stored.accessToken != refused || shared.AdoptNewerLocked())
            return shared.CurrentLocked();  // signed out, or renewed meanwhile (here or by another copy)
        if (shared.stored.refreshToken.empty()) {
            if (!shared.EndLocked("the sign-in has expired and holds no refresh token")) return shared.CurrentLocked();
            return {Outcome::Ended};
        }
        now = shared.stored;
        shared.renewing = true;
    }
    // One copy on this home renews at a time, and holds the lock until what it renewed is in
    // settings.json: the next one takes that rather than renew with a refresh token used up.
    const std::string lockPath = LocalStorage::MadeBaseDir() + "/sign-in.lock";
    std::optional<LocalStorage::FileLock> oneCopy(std::in_place, lockPath, std::chrono::steady_clock::now());
    if (!oneCopy->Held()) {
        DebugLog("sign-in: waiting for the renewal another copy of the add-on runs");
        oneCopy.emplace(lockPath, std::chrono::steady_clock::now() + kOtherCopyWait, cancelled);
    }
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        if (!oneCopy->Held() && (shared.closing || HttpRequestsCancelled())) {
            shared.RenewalEndedLocked();
            return {Outcome::NotNow, "", "the renewal was cancelled"};
        }
        if (!oneCopy->Held()) DebugLog("sign-in: renewing without the lock of the copies on this home");
        if (shared.stored.accessToken != now.accessToken || shared.AdoptNewerLocked()) {
            shared.RenewalEndedLocked();
            return shared.CurrentLocked();
        }
    }
    // Asked without the lock: the main thread, a sign-out and the page's state go on meanwhile.
    std::string why;
    Identity::Endpoints endpoints;
    Identity::TokenReply reply;
    try {
        if (Identity::Discover(shared.baseUrl, endpoints, why)) {
            const HttpQuitGrace answerOnItsWay(kQuitGrace);
            reply = Identity::RefreshTokens(endpoints, now.refreshToken);
        } else {
            reply.error = why;
        }
    } catch (...) {
        // Whoever waits for this renewal must not wait until cancelled.
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.RenewalEndedLocked();
        throw;
    }

    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.RenewalEndedLocked();
    const bool granted = reply.status == Identity::TokenStatus::Granted;
    // What this renewal brought when nobody keeps it. A refresh token the renewal kept was
    // revoked with the sign-out: only its registration from this reply is left to let go.
    const auto dropRenewed = [&] {
        const bool kept = reply.tokens.refresh == now.refreshToken;
        if (granted && kept) DebugLogForget(reply.tokens.refresh);
        if (granted) shared.RevokeLocked({reply.tokens.access, kept ? "" : reply.tokens.refresh, ""});
    };
    if (shared.stored.accessToken != now.accessToken) {
        // Signed out (or in anew) meanwhile: what this renewal brought is nobody's.
        dropRenewed();
        return shared.CurrentLocked();
    }
    if (granted) {
        StoredSignIn next{reply.tokens.access, reply.tokens.refresh, shared.stored.email};
        if (!shared.SaveLocked(next, false)) {
            // Another copy signed in or out meanwhile, which stands.
            dropRenewed();
            return shared.CurrentLocked();
        }
        DebugLog("sign-in: the access token was renewed");
        shared.ReplaceLocked(next);
        return {Outcome::Renewed, reply.tokens.access};
    }
    if (reply.status == Identity::TokenStatus::Rejected) {
        if (!shared.EndLocked("the sign-in has expired")) return shared.CurrentLocked();
        return {Outcome::Ended};
    }
    // The service could not be asked: the sign-in stays as it is, and so does the token.
    if (reply.error.empty()) reply.error = "the sign-in service did not answer";
    DebugLog("sign-in: the access token could not be renewed: " + reply.error);
    return {Outcome::NotNow, "", reply.error};
}

TokenRenewal SignInManager::MakeRenewal() const
{
    return [shared = shared](const std::string& refused) { return Renew(*shared, refused); };
}

SignInEnding SignInManager::MakeEnding() const
{
    return [shared = shared](const std::string& refused) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (refused.empty()) return true;
        // Renewed again or signed out meanwhile: only a sign-in still holding the token ends.
        if (shared->stored.accessToken != refused) return shared->stored.accessToken.empty();
        // Ends unless another copy saved a newer sign-in, which is taken.
        return shared->EndLocked("the chat proxy refused the renewed token; the sign-in has ended");
    };
}

void SignInManager::CancelPending()
{
    if (runningCancel && runningKind != JobKind::SignOut && runningKind != JobKind::Revoke) runningCancel->store(true);
    jobs.erase(
        std::remove_if(jobs.begin(), jobs.end(),
                       [](const Job& job) { return job.kind != JobKind::SignOut && job.kind != JobKind::Revoke; }),
        jobs.end());
    wake.notify_all();
    shared->renewalEnded.notify_all();
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
                if (job.kind == JobKind::SignOut || job.kind == JobKind::Revoke) RunRevocation(job, *cancelled);
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
        shared->AdoptNewerLocked();  // another copy's newer sign-in is the one to check
        checked = shared->stored;
    }
    std::string why;
    Identity::Endpoints endpoints;
    Identity::UserInfoReply info;
    if (!checked.accessToken.empty() && Identity::Discover(shared->baseUrl, endpoints, why)) {
        info = Identity::FetchUserInfo(endpoints, checked.accessToken);
        if (info.status == Identity::UserInfoStatus::Unauthorized && !cancelled.load()) {
            const RenewedToken renewed = Renew(*shared, checked.accessToken);
            if (renewed.outcome == RenewedToken::Outcome::Ended) {
                std::lock_guard<std::mutex> lock(shared->mutex);
                if (cancelled.load()) return;
                shared->ErrorLocked(SignInExpiredWarning());
                shared->RestLocked();
                return;
            }
            info = {};
            why = renewed.why;
            if (renewed.outcome == RenewedToken::Outcome::Renewed) {
                checked.accessToken = renewed.token;
                info = Identity::FetchUserInfo(endpoints, renewed.token);
            }
        }
        if (info.status != Identity::UserInfoStatus::Valid && why.empty())
            why = info.status == Identity::UserInfoStatus::Unauthorized ? "the service did not accept the sign-in"
                                                                        : info.error;
    }
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (cancelled.load()) return;  // whoever cancelled reports
    if (info.status == Identity::UserInfoStatus::Valid && shared->stored.accessToken == checked.accessToken) {
        StoredSignIn next = shared->stored;
        next.email = info.email;
        if (shared->stored.email != info.email && shared->SaveLocked(next, false)) shared->StoreLocked(next);
    } else if (!checked.accessToken.empty() && !shared->stored.accessToken.empty()) {
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
    const bool started = Identity::Discover(shared->baseUrl, endpoints, why) &&
                         Identity::StartDeviceAuthorization(endpoints, session, why);
    // The device code is a secret while its session lasts, and nothing afterwards.
    Unheld code;
    if (started) code.Add(session.deviceCode);
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
        shared->SetStateLocked(SignInState::Waiting);
        const std::string page =
            session.verificationUriComplete.empty() ? session.verificationUri : session.verificationUriComplete;
        if (!shared->closing && shared->onOpenPage) shared->onOpenPage(page);
    }

    // The service says how long the code lives and how often it may be asked.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(gSecondMs.load() * session.expiresIn);
    int interval = std::max(session.interval, 1);
    Identity::TokenReply reply;
    Unheld granted;  // the tokens, until they are kept
    std::string failure;
    while (failure.empty() && reply.status != Identity::TokenStatus::Granted) {
        // Never past the code's life: an interval longer than it would show a dead code.
        if (!Pause(interval, deadline, cancelled)) return;
        if (std::chrono::steady_clock::now() >= deadline) {
            failure = kCodeExpiredText;
            break;
        }
        reply = Identity::PollDeviceToken(endpoints, session.deviceCode);
        if (reply.status == Identity::TokenStatus::Granted) {
            granted.Add(reply.tokens.access);
            granted.Add(reply.tokens.refresh);
        }
        if (cancelled.load()) break;
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
    if (failure.empty() && !cancelled.load()) info = Identity::FetchUserInfo(endpoints, reply.tokens.access);

    std::unique_lock<std::mutex> lock(shared->mutex);
    if (cancelled.load()) {
        // Cancelled or closed once the tokens were granted: nobody keeps them, and they must not
        // stay live at the service.
        lock.unlock();
        if (reply.status == Identity::TokenStatus::Granted) {
            granted.HandOn();
            RevokeUnkept({reply.tokens.access, reply.tokens.refresh, ""});
        }
        return;
    }
    if (!failure.empty()) {
        shared->ErrorLocked(failure);
        shared->RestLocked();
        return;
    }
    DebugLog("sign-in: signed in");
    granted.HandOn();
    StoredSignIn next{reply.tokens.access, reply.tokens.refresh, info.email};
    shared->SaveLocked(next, true);  // the user's own sign-in is the newest there is
    shared->ReplaceLocked(next);
    shared->SetStateLocked(SignInState::SignedIn);
    if (info.status != Identity::UserInfoStatus::Valid)
        shared->ErrorLocked("Signed in, but the account's e-mail could not be read: " +
                            (info.error.empty() ? std::string("the service did not accept the token") : info.error));
}

void SignInManager::RevokeUnkept(const StoredSignIn& tokens)
{
    // Its own requests, which the cancel of the sign-in does not stop, within a bounded time.
    const std::atomic<bool> notCancelled{false};
    const HttpAbortScope ownRequests(&notCancelled);
    const HttpCallDeadline bounded(std::chrono::steady_clock::now() + kRevokeUnkeptTime);
    DebugLog("sign-in: revoking the tokens of a sign-in that was not kept");
    RunRevocation(Job{JobKind::Revoke, tokens}, notCancelled);
}

void SignInManager::RunRevocation(const Job& job, const std::atomic<bool>& cancelled)
{
    std::string why;
    Identity::Endpoints endpoints;
    bool told = Identity::Discover(shared->baseUrl, endpoints, why);
    if (told) {
        // The refresh token first: while it lives, new access tokens can be had. The access token
        // is revoked whatever became of the refresh token, so that neither outlives a sign-out.
        std::string accessWhy;
        const bool refreshRevoked = Identity::Revoke(endpoints, job.revoke.refreshToken, "refresh_token", why);
        const bool accessRevoked = Identity::Revoke(endpoints, job.revoke.accessToken, "access_token", accessWhy);
        if (refreshRevoked) why = accessWhy;
        told = refreshRevoked && accessRevoked;
    }
    Forget(job.revoke);
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (job.kind == JobKind::Revoke) {
        if (!told) DebugLog("sign-in: tokens renewed after the sign-out could not be revoked: " + why);
        return;
    }
    if (cancelled.load()) return;
    if (!told) shared->ErrorLocked("Signed out here, but the sign-in service could not be told: " + why);
    shared->RestLocked();
}
