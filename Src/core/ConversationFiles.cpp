// The conversation files of the storage layer.
#include "core/ConversationFiles.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/FileText.hpp"
#include "core/LocalStorage.hpp"

namespace LocalStorage {

namespace {

const char* const kExtension = ".json";

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool Fail(std::string* error, const std::string& what, int code)
{
    if (error != nullptr) *error = what + ": " + std::strerror(code);
    return false;
}

// path names the file held (not another put in its place).
bool SameFile(const std::string& path, const struct stat& held)
{
    struct stat there {};
    return ::lstat(path.c_str(), &there) == 0 && there.st_dev == held.st_dev && there.st_ino == held.st_ino;
}

// text in a new temporary file in the history folder, on the disk and locked before it takes a
// conversation's name, so that no other host can take it up in between. Its descriptor, or -1.
int WriteLockedTemporary(const std::string& text, std::string& temporary, std::string* error)
{
    EnsureDir(GetBaseDir());
    if (!EnsureDir(HistoryDir())) {
        if (error != nullptr) *error = "cannot make the folder " + HistoryDir();
        return -1;
    }
    const int fd = CreateTemporary(HistoryDir() + "/conversation", 0600, temporary);
    if (fd < 0) {
        Fail(error, "cannot write in " + HistoryDir(), errno);
        return -1;
    }
    int code = 0;
    if (::fchmod(fd, 0600) != 0 || !WriteAll(fd, text) || ::fsync(fd) != 0) code = errno;
    if (code == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) code = EWOULDBLOCK;
    if (code == 0) return fd;
    ::close(fd);
    ::unlink(temporary.c_str());
    Fail(error, "cannot write in " + HistoryDir(), code);
    return -1;
}

}  // namespace

std::string HistoryDir() { return GetBaseDir() + "/history"; }

std::string NewConversationName()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string base = std::string("conversation-") + stamp;
    std::string name = base;
    for (int n = 2; Exists(ConversationPath(name)); ++n) name = base + "-" + std::to_string(n);
    return name;
}

std::string ConversationPath(const std::string& name) { return HistoryDir() + "/" + SanitiseName(name) + kExtension; }

std::vector<std::string> ConversationsNewestFirst()
{
    struct Found {
        std::string name;
        struct timespec modified;
    };
    std::vector<Found> found;
    DIR* dir = ::opendir(HistoryDir().c_str());
    if (dir == nullptr) return {};
    const std::size_t extension = std::strlen(kExtension);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string file = entry->d_name;
        if (file.size() <= extension || file.compare(file.size() - extension, extension, kExtension) != 0) continue;
        const std::string name = file.substr(0, file.size() - extension);
        struct stat info {};
        // Only a name that leads back to this file is one of ours to read and set aside.
        if (SanitiseName(name) != name || ::lstat((HistoryDir() + "/" + file).c_str(), &info) != 0 ||
            !S_ISREG(info.st_mode))
            continue;
        found.push_back({name, info.st_mtim});
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        if (a.modified.tv_sec != b.modified.tv_sec) return a.modified.tv_sec > b.modified.tv_sec;
        if (a.modified.tv_nsec != b.modified.tv_nsec) return a.modified.tv_nsec > b.modified.tv_nsec;
        return a.name > b.name;
    });
    std::vector<std::string> names;
    for (Found& one : found) names.push_back(std::move(one.name));
    return names;
}

HeldConversation::Taken HeldConversation::TakeUp(const std::string& conversation)
{
    Release();
    const std::string path = ConversationPath(conversation);
    for (int attempt = 0; attempt < 3; ++attempt) {
        // A file we may only read is still restored; writing it then goes through a new file.
        int opened = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (opened < 0 && errno == EACCES)
            opened = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (opened < 0) return Taken::CannotOpen;
        // A file system without locks leaves the file unlocked: the appends' checks still hold.
        if (::flock(opened, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ::close(opened);
            return Taken::HeldElsewhere;
        }
        struct stat held {};
        if (::fstat(opened, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(opened);
            return Taken::CannotOpen;
        }
        // Another host may have put a new file in its place between the open and the lock.
        if (SameFile(path, held)) {
            fd = opened;
            name = conversation;
            return Taken::Held;
        }
        ::close(opened);
    }
    return Taken::CannotOpen;
}

bool HeldConversation::Read(std::string& text)
{
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) return false;
    std::string content;
    content.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
    text = std::move(content);
    return true;
}

bool HeldConversation::Create(std::string& conversation, const std::string& text, std::string* error)
{
    std::string temporary;
    const int made = WriteLockedTemporary(text, temporary, error);
    if (made < 0) return false;
    // link() gives the file its name only when no other writer took the name first.
    for (int attempt = 0; attempt < 100; ++attempt, conversation = NewConversationName()) {
        const std::string path = ConversationPath(conversation);
        int code = ::link(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
        if (code == EPERM || code == EOPNOTSUPP)  // a file system without hard links
            code = Exists(path) ? EEXIST : std::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
        if (code == EEXIST) continue;
        ::unlink(temporary.c_str());
        if (code != 0) {
            ::close(made);
            return Fail(error, "cannot write " + path, code);
        }
        Release();
        fd = made;
        name = conversation;
        return true;
    }
    ::unlink(temporary.c_str());
    ::close(made);
    return Fail(error, "cannot write a new conversation in " + HistoryDir(), EEXIST);
}

bool HeldConversation::Replace(const std::string& text, std::string* error)
{
    std::string temporary;
    const int made = WriteLockedTemporary(text, temporary, error);
    if (made < 0) return false;
    const std::string path = ConversationPath(name);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        ::close(made);
        return Fail(error, "cannot replace " + path, code);
    }
    ::close(fd);
    fd = made;
    return true;
}

bool HeldConversation::Append(const std::string& text, std::uint64_t keptSize, std::uint64_t knownSize,
                              std::uint64_t& fileSize, std::string* error)
{
    const std::string path = ConversationPath(name);
    struct stat there {};
    if (ChangedSince(knownSize) || knownSize < keptSize || fd < 0 || ::lstat(path.c_str(), &there) != 0 ||
        !S_ISREG(there.st_mode)) {
        if (error != nullptr) *error = "cannot append to " + path + ": it is not the file written before";
        return false;
    }
    const off_t kept = static_cast<off_t>(keptSize);
    int code = knownSize > keptSize && ::ftruncate(fd, kept) != 0 ? errno : 0;
    if (code == 0 && (::lseek(fd, kept, SEEK_SET) < 0 || !WriteAll(fd, text) || ::fsync(fd) != 0)) {
        code = errno;
        // What did reach the file is no record: the file goes back to what it held.
        if (::ftruncate(fd, kept) == 0) ::fsync(fd);
    }
    struct stat held {};
    if (::fstat(fd, &held) == 0) fileSize = static_cast<std::uint64_t>(held.st_size);
    return code == 0 || Fail(error, "cannot append to " + path, code);
}

bool HeldConversation::ChangedSince(std::uint64_t knownSize) const
{
    struct stat held {
    }, there{};
    const std::string path = ConversationPath(name);
    if (fd < 0 || ::fstat(fd, &held) != 0) return false;
    const bool named = ::lstat(path.c_str(), &there) == 0 && S_ISREG(there.st_mode);
    return (named && !SameFile(path, held)) || static_cast<std::uint64_t>(held.st_size) != knownSize;
}

std::string HeldConversation::SetAside(bool keepHere, const std::string& text)
{
    const std::string path = ConversationPath(name);
    std::string aside = path + ".damaged";
    for (int n = 1; Exists(aside) && n <= 1000; ++n) aside = path + ".damaged." + std::to_string(n);
    bool done = false;
    if (keepHere)  // a second name for the same bytes, or a copy of them
        done = ::link(path.c_str(), aside.c_str()) == 0 || WriteWholeFileAtomic(aside, text, 0600);
    else if ((done = std::rename(path.c_str(), aside.c_str()) == 0))
        Release();
    return done ? aside.substr(aside.find_last_of('/') + 1) : std::string();
}

void HeldConversation::Release()
{
    if (fd >= 0) ::close(fd);  // closing it drops the lock
    fd = -1;
    name.clear();
}

}  // namespace LocalStorage
