#include "core/LocalStorage.hpp"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LocalStorage {

namespace {

std::string HomeFromPasswordDatabase()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr) {
        return "";
    }
    return found->pw_dir;
}

// The C locale's letters and digits; bytes above 0x7F are never kept, whatever the locale.
bool IsAsciiLetterOrDigit(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

std::string GetBaseDir()
{
    std::string home;
    if (const char* fromEnvironment = std::getenv("HOME")) {
        home = fromEnvironment;
    }
    // An empty HOME would put the folder at the file-system root.
    if (home.empty()) {
        home = HomeFromPasswordDatabase();
    }
    if (home.empty()) {
        home = "/tmp";
    }
    return home + "/.quillmere";
}

std::string SanitiseName(const std::string& name)
{
    if (name.empty()) {
        return "default";
    }
    std::string out = name;
    for (char& c : out) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (!IsAsciiLetterOrDigit(byte) && c != '-' && c != '.' && c != '_') {
            c = '_';
        }
    }
    return out;
}

bool EnsureDir(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) == 0) {
        return true;
    }
    if (errno != EEXIST) {
        return false;
    }
    // A file of that name is no folder to write into.
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace LocalStorage
