#pragma once

// Signing in to the product's service (see services/IdentityClient.hpp for the protocol): the
// state the palette shows, the sign-in with a code confirmed in the browser, the check of a
// stored sign-in, its silent renewal, and sign-out.
//
// The network work runs on one thread the manager owns. Stop (and the destructor) ends it
// within a second or two whatever it is doing: a request, a pause between polls, or a wait for
// a renewal the engine runs. The public functions are for the main thread, except the renewal
// and the ending the engine calls from its worker. Callbacks may be called from any thread (the
// palette posts them to the main thread), one at a time, in order; none is called once Stop
// has begun. What the manager still came to keep meanwhile (a renewal the engine finished as
// the palette closed) is read through Stored afterwards.
//
// One renewal runs at a time, whoever asks for it (the check here, the engine's worker): a
// rotated refresh token is good only once, so whoever comes second takes the first one's
// result. Whoever waits for it gives up once its own requests are cancelled. A renewal already
// asked of the service when quitting begins is given a moment to be answered and kept.
//
// Copies of the add-on on one home share the sign-in in settings.json (core/CurrentSettings):
// the manager writes each change of its sign-in there itself, as the next generation, and one
// copy renews at a time (a lock file beside the settings), holding the lock until the renewed
// sign-in is written. Before renewing, before giving up on a refused renewal and before
// checking, a newer sign-in the file holds (another copy renewed, signed in or out) is taken
// instead, so that no refresh token is used twice. A renewal, an e-mail or an ending never
// writes over a newer sign-in in the file; a sign-in or sign-out the user makes here does, and
// a sign-out also revokes the newer sign-in it replaced there.
//
// Tokens and the device code are registered with the debug log's redaction while they are
// held: the manager takes over the identity client's registration of each value it keeps and
// lets it go once the value is replaced, signed out (after its revocation), or its sign-in has
// ended, so that a long session holds a bounded list of secrets.
//
// The state the page gets is JSON text without any token:
//   {"state": "signed_out" | "checking" | "waiting" | "signed_in",
//    "email": ... (signed_in only),
//    "user_code", "verification_uri", "verification_uri_complete": ... (waiting only)}

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/TokenRenewal.hpp"

class SignInManager {
public:
    // What is kept in the settings between runs.
    struct StoredSignIn {
        std::string accessToken;
        std::string refreshToken;
        std::string email;
        long long generation = 0;  // as settings.json has it (Settings::signInGeneration)
    };
    using StateCallback = std::function<void(const std::string& stateJson)>;
    using ErrorCallback = std::function<void(const std::string& message)>;
    using OpenPageCallback = std::function<void(const std::string& url)>;
    using StoredCallback = std::function<void(const StoredSignIn& stored)>;

    // Whether the log's redaction can take each of stored's tokens. Earlier versions kept
    // longer tokens than it takes; such a sign-in is never used, for a reply echoing one of
    // them would show it whole: the manager ends it at the first check as an expired one.
    static bool Usable(const StoredSignIn& stored);

    // serviceBaseUrl: where discovery is asked, without a trailing slash (as
    // ProductService::BaseUrl gives it); stored: the sign-in the settings hold.
    SignInManager(std::string serviceBaseUrl, StoredSignIn stored);
    ~SignInManager();
    SignInManager(const SignInManager&) = delete;
    SignInManager& operator=(const SignInManager&) = delete;

    // state: every change of the page's state; error: a message for the user; openPage: the
    // verification page to open in the browser; stored: the sign-in to keep (empty tokens:
    // forget it).
    void SetCallbacks(StateCallback onState, ErrorCallback onError, OpenPageCallback onOpenPage,
                      StoredCallback onStored);

    // The state now. With a stored token and nothing else under way, also starts checking it
    // (state "checking" meanwhile; an expired token is renewed when it can be); signed out, it
    // first takes a sign-in another copy saved since.
    std::string CheckAuth();
    std::string StateJson() const;
    // Starts a sign-in; one already waiting is cancelled first. False when signed in already.
    bool SignIn();
    // Stops a sign-in that waits; the state goes back to what it was.
    bool CancelSignIn();
    // Forgets the sign-in at once (the stored callback runs before this returns) and revokes
    // both its tokens in the background, the access token even when the service refuses to
    // revoke the refresh token; a sign-in that waits is cancelled.
    bool SignOut();

    // For the engine (engine/TokenRenewal.hpp). A renewal finding the user signed out
    // meanwhile revokes the tokens it brought.
    TokenRenewal MakeRenewal() const;
    SignInEnding MakeEnding() const;

    // Ends the manager's work and its reports (see above) and waits for it to end, or, with
    // wait false, only asks it to end, so that the engine's can be ended alongside. Idempotent.
    void Stop(bool wait = true);
    // The sign-in as the manager holds it now.
    StoredSignIn Stored() const;

    // Seconds of the protocol (poll interval, slow-down step, code lifetime) last this long:
    // one second, shorter in tests.
    static void SetSecondForTesting(std::chrono::milliseconds second);

private:
    struct Shared;
    enum class JobKind { Check, SignIn, SignOut, Revoke };
    struct Job {
        JobKind kind = JobKind::Check;
        StoredSignIn revoke;  // SignOut, Revoke: the tokens to revoke
    };

    // Cancels the running job and drops waiting ones, unless they revoke tokens.
    void CancelPending();
    void WorkerLoop();
    void RunCheck(const std::atomic<bool>& cancelled);
    void RunSignIn(const std::atomic<bool>& cancelled);
    // Revokes both tokens; a sign-out the user asked for then tells the page.
    void RunRevocation(const Job& job, const std::atomic<bool>& cancelled);
    // Revokes tokens a sign-in was granted but did not keep, on this thread, whether or not its
    // work was cancelled, within about a second.
    void RevokeUnkept(const StoredSignIn& tokens);
    // Sleeps for the protocol's seconds, or until deadline if sooner; false when cancelled
    // meanwhile.
    bool Pause(int seconds, std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancelled);
    // Renews the refused access token with the refresh token, on the calling thread.
    static RenewedToken Renew(Shared& shared, const std::string& refused);

    std::shared_ptr<Shared> shared;
    std::condition_variable wake;
    std::deque<Job> jobs;
    std::shared_ptr<std::atomic<bool>> runningCancel;  // the running job's flag
    JobKind runningKind = JobKind::Check;
    bool stopping = false;
    std::thread worker;
};
