#pragma once

#include <cstddef>
#include <string>

// Appends "[HH:MM:SS] message" as one line to the debug log (/tmp/quillmere_debug.log),
// opening and closing the file for each line. Line breaks inside the message become spaces.
// Secrets never reach the file: "Bearer <token>", texts shaped like API keys ("sk-..."), and
// every text given to DebugLogRedact are replaced by "[redacted]". Safe from any thread and at
// any time, also from a static object's destructor after main has returned.
// Nothing is written when the path is a symbolic link, not a regular file or a file another
// account owns; a log this creates has mode 0600.
void DebugLog(const std::string& message);

// Registers a secret (an API key, an access token) that is never written, in any case and
// also as a server may echo it: percent-encoded or JSON-escaped and, from 12 bytes on, also
// as base64 or hex (with or without ' ', ':' or '-' between bytes), either also wrapped in
// lines, with its characters spaced out (' ', ':', '-', tabs or line breaks between them), as
// UTF-16LE bytes, and written with any JSON escapes (\u0041), HTML character references or %XX
// mixed in (for these, 12 bytes besides the ' ', ':' and '-' it holds). Its spellings are worked
// out here, once.
// Texts shorter than four bytes, or longer than kMaxSecretBytes, are not registered (false):
// no key or token is that long, and every registration costs memory and time in every later
// redaction, so a text from outside must be checked against this before it is used as a secret.
// Each call counts: a secret stays registered until DebugLogForget has been called as often.
constexpr std::size_t kMaxSecretBytes = 4096;
bool DebugLogRedact(const std::string& secret);
// Whether secret is of a size DebugLogRedact registers: a secret that is not can never be hidden.
inline bool RedactableSecret(const std::string& secret)
{
    return secret.size() >= 4 && secret.size() <= kMaxSecretBytes;
}

// Undoes one registration of secret (a token that was replaced or signed out), so that the
// secrets held over a long session stay bounded. Unknown texts are ignored.
void DebugLogForget(const std::string& secret);

// For tests: how many secrets are registered now.
std::size_t RegisteredSecretCount();

// text with the same secrets replaced by "[redacted]", line breaks kept: for every text from
// outside that reaches a tool result or the page.
std::string RedactSecrets(const std::string& text);
// The same for prose written for the user (a model's reply): the registered secrets only, in
// every spelling, without the guesses by shape ("Bearer ...", "sk-...") that would take words
// such as "Bearer tokens" for a key.
std::string RedactRegisteredSecrets(const std::string& text);

// For tests: writes to another file; an empty path restores the default.
void SetDebugLogPath(const std::string& path);
