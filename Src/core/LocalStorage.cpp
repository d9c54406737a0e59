#include "core/LocalStorage.hpp"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
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

std::string MadeBaseDir()
{
    const std::string base = GetBaseDir();
    ::mkdir(base.c_str(), 0700);
    return base;
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

FileLock::FileLock(const std::string& path, std::chrono::steady_clock::time_point until,
                   const std::function<bool()>& giveUp)
{
    // Every copy opens the file anew: the lock belongs to this open file, so that two holders in
    // one process exclude each other as two processes do.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= until ||
            (giveUp && giveUp())) {
            ::close(fd);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    fd_ = fd;
}

FileLock::~FileLock()
{
    if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
}

}  // namespace LocalStorage
