#pragma once

// Signing in to the product's service (see services/IdentityClient.hpp for the protocol): the
// state the palette shows, the sign-in with a code confirmed in the browser, the check of a
// stored sign-in, its silent renewal, and sign-out.
//
// The network work runs on one thread the manager owns: destroying the manager (the palette
// closing, the add-on quitting) or cancelling stops a sign-in that waits within a second or
// two, and nothing of it outlives the manager. The public functions are for the main thread,
// except the renewal the engine calls from its worker. Callbacks may be called from any thread
// (the palette posts them to the main thread), one at a time, in order; none is called once
// the destructor has begun, except through a renewal the engine is running.
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

class SignInManager {
public:
    // What is kept in the settings between runs.
    struct StoredSignIn {
        std::string accessToken;
        std::string refreshToken;
        std::string email;
    };
    using StateCallback = std::function<void(const std::string& stateJson)>;
    using ErrorCallback = std::function<void(const std::string& message)>;
    using OpenPageCallback = std::function<void(const std::string& url)>;
    using StoredCallback = std::function<void(const StoredSignIn& stored)>;
    // For the engine: given the access token the proxy refused, the token to use now (the
    // refused one, with why set, when the service could not be asked), or "" when the sign-in
    // is gone. Runs the renewal on the calling thread.
    using Renewal = std::function<std::string(const std::string& refusedToken, std::string& why)>;
    // For the engine: the proxy refused this token though it was just renewed; the sign-in
    // is over when it still holds it.
    using Ending = std::function<void(const std::string& refusedToken)>;

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
    // (state "checking" meanwhile; an expired token is renewed when it can be).
    std::string CheckAuth();
    std::string StateJson() const;
    // Starts a sign-in; one already waiting is cancelled first. False when signed in already.
    bool SignIn();
    // Stops a sign-in that waits; the state goes back to what it was.
    bool CancelSignIn();
    // Forgets the sign-in at once (the stored callback runs before this returns) and revokes
    // its tokens in the background; a sign-in that waits is cancelled.
    bool SignOut();

    Renewal MakeRenewal() const;
    Ending MakeEnding() const;

    // Seconds of the protocol (poll interval, slow-down step, code lifetime) last this long:
    // one second, shorter in tests.
    static void SetSecondForTesting(std::chrono::milliseconds second);

private:
    struct Shared;
    enum class JobKind { Check, SignIn, SignOut };
    struct Job {
        JobKind kind = JobKind::Check;
        StoredSignIn revoke;  // SignOut: the tokens to revoke
    };

    // Cancels the running job and drops waiting ones, unless they are sign-outs.
    void CancelPending();
    void WorkerLoop();
    void RunCheck(const std::atomic<bool>& cancelled);
    void RunSignIn(const std::atomic<bool>& cancelled);
    void RunSignOut(const StoredSignIn& revoke, const std::atomic<bool>& cancelled);
    // Sleeps for the protocol's seconds, or until deadline if sooner; false when cancelled
    // meanwhile.
    bool Pause(int seconds, std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& cancelled);
    // Renews the refused access token with the refresh token, on the calling thread. Returns
    // the access token to use now, or "" with gone set when the sign-in is over (no refresh
    // token, or one the service refused), or "" with why set when the service could not be
    // asked: then the stored sign-in stays as it was.
    static std::string Renew(Shared& shared, const std::string& refused, bool& gone, std::string& why);

    std::shared_ptr<Shared> shared;
    std::condition_variable wake;
    std::deque<Job> jobs;
    std::shared_ptr<std::atomic<bool>> runningCancel;  // the running job's flag
    JobKind runningKind = JobKind::Check;
    bool stopping = false;
    std::thread worker;
};
