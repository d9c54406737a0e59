#include "core/FileText.hpp"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kTemporaryPrefix = ".quillmere-";
const char* const kTemporarySuffix = ".tmp";

bool Fail(std::string* error, const std::string& what, int code)
{
    if (error != nullptr) *error = what + ": " + std::strerror(code);
    return false;
}

// This machine's name as a file name may hold it: a process id names a process on one machine
// only, and a folder in a network home is shared between machines.
const std::string& ThisHost()
{
    static const std::string name = [] {
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return std::string("host");
        std::string kept;
        for (const char* c = host; *c != '\0'; ++c)
            kept += std::isalnum(static_cast<unsigned char>(*c)) || *c == '.' || *c == '_' ? *c : '_';
        return kept;
    }();
    return name;
}

}  // namespace

bool WriteAll(int fd, const std::string& bytes)
{
    for (std::size_t written = 0; written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

int CreateTemporary(const std::string& path, int mode, std::string& temporary)
{
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const mode_t createMode = mode == kModeFromUmask ? 0666 : 0600;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + kTemporaryPrefix + ThisHost() + "-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter++) + kTemporarySuffix;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

void RemoveStaleTemporaries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    // Ours: the prefix, this host's name, a process id, a number and the suffix.
    const std::string prefix = kTemporaryPrefix + ThisHost() + "-", suffix = kTemporarySuffix;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string file = entry->d_name;
        if (file.size() <= prefix.size() + suffix.size() || file.compare(0, prefix.size(), prefix) != 0 ||
            file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        // The process that made it is gone (it was killed during a write): nobody will rename it.
        char* end = nullptr;
        const long pid = std::strtol(file.c_str() + prefix.size(), &end, 10);
        if (pid > 0 && *end == '-' && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(dir), file.c_str(), 0);
    }
    ::closedir(dir);
}

std::string TemporaryFolder()
{
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    return ec ? "/tmp" : folder.string();
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    std::string content;
    if (ok) content.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (ok) bytes = std::move(content);
    return ok;
}

bool WriteWholeFileAtomic(const std::string& path, const std::string& bytes, int mode, std::string* error)
{
    std::string temporary;
    const int fd = CreateTemporary(path, mode, temporary);
    if (fd < 0) return Fail(error, "cannot write beside " + path, errno);
    // An exact mode is set on the open file, whatever the umask.
    int code = 0;
    if ((mode != kModeFromUmask && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) || !WriteAll(fd, bytes) ||
        ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0) code = errno;
    std::string what = "cannot write " + path;
    if (code == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) {
        code = errno;
        what = "cannot replace " + path;
    }
    if (code == 0) return true;
    ::unlink(temporary.c_str());
    return Fail(error, what, code);
}
