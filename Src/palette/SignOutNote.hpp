#pragma once

// A sign-out that settings.json could not take (its folder not writable, the disk full, until
// past quitting) leaves the sign-in there for the next start, which would sign the user in
// again or, its tokens revoked, call the sign-in expired. The note tells that start what
// happened: it names the signed-out sign-in by a fingerprint of its tokens (never the tokens),
// so that it counts only while the settings still hold that sign-in. It is kept beside the
// settings, else in the temporary folder (named for this user and this home), where an
// unwritable settings folder leaves room.

#include <string>

namespace SignOutNote {

// Notes that the sign-in with these tokens was signed out; false when no place took the note.
bool Write(const std::string& accessToken, const std::string& refreshToken);
// Whether a note names the sign-in with these tokens.
bool Names(const std::string& accessToken, const std::string& refreshToken);
// Removes every note of this home.
void Remove();

}  // namespace SignOutNote
