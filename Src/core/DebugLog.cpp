#include "core/DebugLog.hpp"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <functional>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/Base64.hpp"
#include "core/PercentEncoding.hpp"

namespace {

const char* const kDefaultPath = "/tmp/quillmere_debug.log";
const char* const kRedacted = "[redacted]";

std::mutex gMutex;
std::string gPath = kDefaultPath;
// Every spelling of every secret, in lower case, longest first, so that none is left
// half-replaced.
std::vector<std::string> gSecrets;
// Below this many bytes a secret's base64 fragments are short enough to turn up by chance.
constexpr std::size_t kMinEncodedSecretBytes = 12;

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

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string JsonEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\' || c == '/') out += '\\';
        out += c;
    }
    return out;
}

// The spellings of secret a server may echo back. Base64 is taken at each of the three offsets
// the secret can have inside a longer encoded text (a Basic header, a token), keeping only the
// characters made of the secret's own bits, in the standard and the URL alphabet. Each form is
// also taken JSON-escaped and percent-encoded. Matching ignores case, which covers an upper-case
// echo and either case of the hex digits.
std::vector<std::string> Spellings(const std::string& secret)
{
    std::vector<std::string> forms{secret};
    if (secret.size() >= kMinEncodedSecretBytes) {
        for (std::size_t offset = 0; offset < 3; ++offset) {
            const std::string encoded = EncodeBase64(std::string(offset, '\0') + secret);
            const std::size_t first = (8 * offset + 5) / 6, end = 8 * (offset + secret.size()) / 6;
            std::string fragment = encoded.substr(first, end - first);
            forms.push_back(fragment);
            std::replace(fragment.begin(), fragment.end(), '+', '-');
            std::replace(fragment.begin(), fragment.end(), '/', '_');
            forms.push_back(fragment);
        }
    }
    std::vector<std::string> spellings;
    for (const std::string& form : forms)
        for (const std::string& spelling :
             {form, JsonEscaped(form), PercentEncoded(form, false), PercentEncoded(form, true)})
            spellings.push_back(LowerAscii(spelling));
    return spellings;
}

// Replaces every match of pattern in lower, text's lower-case twin, in both.
void ReplaceAll(std::string& text, std::string& lower, const std::string& pattern)
{
    const std::boyer_moore_horspool_searcher searcher(pattern.begin(), pattern.end());
    auto found = std::search(lower.cbegin(), lower.cend(), searcher);
    if (found == lower.cend()) return;
    std::string newText, newLower;
    std::size_t from = 0;
    while (found != lower.cend()) {
        const std::size_t at = static_cast<std::size_t>(found - lower.cbegin());
        newText.append(text, from, at - from).append(kRedacted);
        newLower.append(lower, from, at - from).append(kRedacted);
        from = at + pattern.size();
        found = std::search(lower.cbegin() + static_cast<std::ptrdiff_t>(from), lower.cend(), searcher);
    }
    text.swap(newText.append(text, from));
    lower.swap(newLower.append(lower, from));
}

std::string WithoutSecrets(const std::string& message, const std::vector<std::string>& secrets)
{
    std::string text = message;
    std::string lower = LowerAscii(text);
    for (const std::string& secret : secrets) ReplaceAll(text, lower, secret);
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
    // A line that would cross the file-size limit is not written: in a host that does not ignore
    // SIGXFSZ the write would end the process, and the log is never worth that.
    struct rlimit limit {};
    const auto fits = [&] {
        return getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
               static_cast<rlim_t>(info.st_size) + line.size() <= limit.rlim_cur;
    };
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() && fits()) {
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
    const std::vector<std::string> spellings = Spellings(secret);
    std::lock_guard<std::mutex> lock(gMutex);
    for (const std::string& spelling : spellings)
        if (std::find(gSecrets.begin(), gSecrets.end(), spelling) == gSecrets.end()) gSecrets.push_back(spelling);
    std::stable_sort(gSecrets.begin(), gSecrets.end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

void SetDebugLogPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gPath = path.empty() ? kDefaultPath : path;
}
