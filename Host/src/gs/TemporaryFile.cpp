#include "gs/TemporaryFile.hpp"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace HostInternal {

int CreateTemporaryFile(const std::string& folder, const std::string& prefix, std::string& path)
{
    static std::atomic<unsigned> counter{0};
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = base + prefix + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace HostInternal
