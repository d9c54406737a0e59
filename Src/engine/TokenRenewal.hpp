#pragma once

// What the engine asks of the sign-in when the chat proxy refuses its access token, and what
// the answer can be. The sign-in (palette/SignInManager) renews; the engine only sends again.

#include <functional>
#include <string>

struct RenewedToken {
    enum class Outcome {
        Renewed,    // token is the one to send with now
        NotNow,     // the service could not be asked: the sign-in and its token stay; why says why
        Ended,      // the service ended the sign-in: the user signs in again
        SignedOut,  // the user signed out meanwhile: there is nothing to renew or to mention
    };
    Outcome outcome = Outcome::NotNow;
    std::string token;
    std::string why;
};

// Renews refusedToken on the calling thread, which it may hold while the service is asked; it
// gives up (NotNow) once the calling thread's requests are cancelled.
using TokenRenewal = std::function<RenewedToken(const std::string& refusedToken)>;
// The proxy refused a token just renewed as well: the sign-in that issued it is over, unless it
// moved on meanwhile (renewed again, or taken from another copy), which gives false.
using SignInEnding = std::function<bool(const std::string& refusedToken)>;
