#include "core/DebugLog.hpp"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kDefaultPath = "/tmp/quillmere_debug.log";
const char* const kRedacted = "[redacted]";

std::mutex gMutex;
std::string gPath = kDefaultPath;
std::vector<std::string> gSecrets;  // longest first, so no secret is left half-replaced

bool IsTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '~' || c == '+' || c == '/' || c == '=';
}

// Replaces the token that follows each occurrence of marker (kept) with "[redacted]".
void RedactAfter(std::string& text, const std::string& marker)
{
    std::size_t at = 0;
    while ((at = text.find(marker, at)) != std::string::npos) {
        const std::size_t start = at + marker.size();
        std::size_t end = start;
        while (end < text.size() && IsTokenChar(text[end])) {
            ++end;
        }
        if (end > start) {
            text.replace(start, end - start, kRedacted);
        }
        at = start;
    }
}

// Texts shaped like provider API keys: "sk-" followed by a long run of key characters.
void RedactKeyShapes(std::string& text)
{
    std::size_t at = 0;
    while ((at = text.find("sk-", at)) != std::string::npos) {
        const bool wordStart = at == 0 || !IsTokenChar(text[at - 1]);
        std::size_t end = at + 3;
        while (end < text.size() && IsTokenChar(text[end])) {
            ++end;
        }
        if (wordStart && end - at >= 20) {
            text.replace(at, end - at, kRedacted);
            at += std::string(kRedacted).size();
        } else {
            at = end;
        }
    }
}

std::string WithoutSecrets(const std::string& message, const std::vector<std::string>& secrets)
{
    std::string text = message;
    for (const std::string& secret : secrets) {
        std::size_t at = 0;
        while ((at = text.find(secret, at)) != std::string::npos) {
            text.replace(at, secret.size(), kRedacted);
            at += std::string(kRedacted).size();
        }
    }
    RedactAfter(text, "Bearer ");
    RedactKeyShapes(text);
    return text;
}

std::string CleanLine(const std::string& message, const std::vector<std::string>& secrets)
{
    std::string text = WithoutSecrets(message, secrets);
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

// The log's path is fixed and in a folder every local user can write, so anyone could plant
// something there first. A symbolic link is refused (or we would append to whatever file it
// names that we may write), and so is anything but a regular file: a named pipe would
// otherwise hold the caller until someone read it, and so is a log another account owns (it
// would read what we write). A new log is readable by its owner only.
void AppendToLog(const std::string& path, const std::string& line)
{
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        return;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid()) {
        // O_APPEND: every write lands at the end, whoever else writes to the log.
        for (std::size_t done = 0; done < line.size();) {
            const ssize_t written = write(fd, line.data() + done, line.size() - done);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                break;
            }
            done += static_cast<std::size_t>(written);
        }
    }
    close(fd);
}

}  // namespace

void DebugLog(const std::string& message)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);

    std::lock_guard<std::mutex> lock(gMutex);
    const std::string line = std::string("[") + stamp + "] " + CleanLine(message, gSecrets) + "\n";
    AppendToLog(gPath, line);
}

std::string RedactSecrets(const std::string& text)
{
    std::lock_guard<std::mutex> lock(gMutex);
    return WithoutSecrets(text, gSecrets);
}

void DebugLogRedact(const std::string& secret)
{
    // A very short text would blank out ordinary words; no key or token is that short.
    if (secret.size() < 4) {
        return;
    }
    std::lock_guard<std::mutex> lock(gMutex);
    if (std::find(gSecrets.begin(), gSecrets.end(), secret) == gSecrets.end()) {
        gSecrets.push_back(secret);
        std::stable_sort(gSecrets.begin(), gSecrets.end(),
                         [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    }
}

void SetDebugLogPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gPath = path.empty() ? kDefaultPath : path;
}

std::string GetDebugLogPath()
{
    std::lock_guard<std::mutex> lock(gMutex);
    return gPath;
}
