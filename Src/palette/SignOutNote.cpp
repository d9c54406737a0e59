// Where the note of an unsaved sign-out is kept, and what it holds.
#include "palette/SignOutNote.hpp"

#include <cstdint>
#include <cstdio>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/FileText.hpp"
#include "core/LocalStorage.hpp"

namespace {

// FNV-1a: a fingerprint that tells tokens apart and gives nothing of them away.
std::uint64_t Fnv1a(const std::string& text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string Hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string Fingerprint(const std::string& accessToken, const std::string& refreshToken)
{
    return "quillmere sign-out " + Hex(Fnv1a(accessToken + '\n' + refreshToken)) + "\n";
}

// Beside the settings first; then the temporary folder, under a name of this user and home.
std::vector<std::string> Places()
{
    const std::string base = LocalStorage::GetBaseDir();
    return {base + "/sign-out-not-saved", TemporaryFolder() + "/quillmere-" + std::to_string(::getuid()) + "-" +
                                              Hex(Fnv1a(base)) + "-sign-out-not-saved"};
}

// A note of ours: a regular file this user owns, not a link someone else planted.
bool ReadNote(const std::string& path, std::string& text)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) return false;
    return ReadWholeFile(path, text);
}

}  // namespace

namespace SignOutNote {

bool Write(const std::string& accessToken, const std::string& refreshToken)
{
    for (const std::string& path : Places())
        if (WriteWholeFileAtomic(path, Fingerprint(accessToken, refreshToken), 0600)) return true;
    return false;
}

bool Names(const std::string& accessToken, const std::string& refreshToken)
{
    const std::string expected = Fingerprint(accessToken, refreshToken);
    for (const std::string& path : Places()) {
        std::string text;
        if (ReadNote(path, text) && text == expected) return true;
    }
    return false;
}

void Remove()
{
    for (const std::string& path : Places()) {
        std::string text;
        if (ReadNote(path, text)) std::remove(path.c_str());
    }
}

}  // namespace SignOutNote
