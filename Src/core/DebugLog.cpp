#include "core/DebugLog.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/AsciiText.hpp"
#include "core/Base64.hpp"
#include "core/PercentEncoding.hpp"

namespace {

const char* const kDefaultPath = "/tmp/quillmere_debug.log";
const char* const kRedacted = "[redacted]";

std::mutex gMutex;
std::string gPath = kDefaultPath;
// The spellings of every secret, in lower case, longest first, so that none is left
// half-replaced, worked out once when the secret is registered: all are looked for in the text
// itself; the loose ones (the secret, its base64 and hex forms, each without the characters
// kLooseDropped) in the text decoded and without those characters too (see Decode).
struct SecretSpellings {
    std::vector<std::string> all, loose;
};
// What every text is searched for: the spellings of the registered secrets, merged.
SecretSpellings gSecrets;
// Each registered secret, how many registrations hold it, and its own spellings, from which
// gSecrets is merged again when one comes or goes.
struct Registration {
    int count = 0;
    SecretSpellings spellings;
};
std::map<std::string, Registration> gRegistered;
// Below this many bytes a secret's base64 and hex forms, and its loose forms, are short enough
// to turn up by chance.
constexpr std::size_t kMinEncodedSecretBytes = 12;
// Line breaks wrap base64 and hex, and hex comes with its bytes apart (' ', ':', '-').
const std::string kLooseDropped = " \t\r\n:-";

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

std::string JsonEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\' || c == '/') out += '\\';
        out += c;
    }
    return out;
}

std::string Hex(const std::string& bytes)
{
    const char* const digits = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

// The spellings of secret a server may echo back. Base64 is taken at each of the three offsets
// the secret can have inside a longer encoded text (a Basic header, a token), keeping only the
// characters made of the secret's own bits, in the standard and the URL alphabet; and hex. Each
// form is looked for loosely (see Decode), where that is long enough not to turn up by chance,
// else as it is and JSON-escaped, and also percent-encoded. Matching ignores case, which covers
// an upper-case echo and either case of hex digits.
SecretSpellings Spellings(const std::string& secret)
{
    const bool encoded = secret.size() >= kMinEncodedSecretBytes;
    std::vector<std::string> forms{secret};
    for (std::size_t offset = 0; encoded && offset < 3; ++offset) {
        const std::string base64 = EncodeBase64(std::string(offset, '\0') + secret);
        const std::size_t first = (8 * offset + 5) / 6, end = 8 * (offset + secret.size()) / 6;
        std::string fragment = base64.substr(first, end - first);
        forms.push_back(fragment);
        std::replace(fragment.begin(), fragment.end(), '+', '-');
        std::replace(fragment.begin(), fragment.end(), '/', '_');
        forms.push_back(fragment);
    }
    SecretSpellings spellings;
    for (const std::string& form : forms) {
        std::string loose = LowerAscii(form);
        loose.erase(std::remove_if(loose.begin(), loose.end(),
                                   [](char c) { return kLooseDropped.find(c) != std::string::npos; }),
                    loose.end());
        if (encoded && loose.size() >= kMinEncodedSecretBytes) {
            spellings.loose.push_back(loose);
        } else {
            spellings.all.push_back(LowerAscii(form));
            spellings.all.push_back(LowerAscii(JsonEscaped(form)));
        }
        // The loose search reads JSON escapes, not percent-encoding.
        for (const std::string& percent : {PercentEncoded(form, false), PercentEncoded(form, true)})
            if (percent != form) spellings.all.push_back(LowerAscii(percent));
    }
    if (encoded) spellings.loose.push_back(Hex(secret));
    return spellings;
}

// lower (a lower-case text) as a server may have encoded what it echoes: JSON escapes
// (a backslash and "u0041", an escaped '/') and HTML character references ("&#65;", "&#x41;",
// "&amp;") read, and the characters kLooseDropped, written or escaped, taken out. Byte i of
// text came from lower's length[i] bytes from from[i] on.
struct Decoded {
    std::string text;
    std::vector<std::uint32_t> from;
    std::vector<std::uint8_t> length;
};

int HexDigit(char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; }

// The character digits (hex or decimal) stand for, lower-cased, or -1. Keys are ASCII: escapes
// of other characters are left as they are.
int AsciiCharacter(const std::string& digits, int base)
{
    if (digits.empty() || digits.size() > 6) return -1;
    long value = 0;
    for (char c : digits) {
        const int digit = base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0 || (value = value * base + digit) >= 0x80) return -1;
    }
    return LowerAscii(static_cast<char>(value));
}

// The bytes of the escape or character reference at lower[at] in out, and its length; 0 when
// none starts there.
std::size_t ReadEscape(const std::string& lower, std::size_t at, std::string& out)
{
    const char next = at + 1 < lower.size() ? lower[at + 1] : '\0';
    if (lower[at] == '\\') {
        switch (next) {
        case 'n': out = "\n"; return 2;
        case 'r': out = "\r"; return 2;
        case 't': out = "\t"; return 2;
        case '/':
        case '\\':
        case '"': out.assign(1, next); return 2;
        case 'u': {
            const int character = at + 6 <= lower.size() ? AsciiCharacter(lower.substr(at + 2, 4), 16) : -1;
            if (character < 0) return 0;
            out.assign(1, static_cast<char>(character));
            return 6;
        }
        default: return 0;
        }
    }
    if (lower[at] != '&') return 0;
    // A reference is short: a ';' further on ends something else.
    const std::size_t semicolon = lower.substr(at, 12).find(';') + at;
    if (semicolon < at + 3 || semicolon > at + 11) return 0;
    const std::string name = lower.substr(at + 1, semicolon - at - 1);
    const int character = name.rfind("#x", 0) == 0  ? AsciiCharacter(name.substr(2), 16)
                          : name.rfind('#', 0) == 0 ? AsciiCharacter(name.substr(1), 10)
                          : name == "amp"           ? '&'
                          : name == "lt"            ? '<'
                          : name == "gt"            ? '>'
                          : name == "quot"          ? '"'
                          : name == "apos"          ? '\''
                                                    : -1;
    if (character < 0) return 0;
    out.assign(1, static_cast<char>(character));
    return semicolon - at + 1;
}

Decoded Decode(const std::string& lower)
{
    // 1: dropped; 2: may start an escape or a reference.
    static const std::array<std::uint8_t, 256> kind = [] {
        std::array<std::uint8_t, 256> table{};
        for (char c : kLooseDropped) table[static_cast<unsigned char>(c)] = 1;
        table['\\'] = table['&'] = 2;
        return table;
    }();
    Decoded decoded;
    decoded.text.reserve(lower.size());
    decoded.from.reserve(lower.size());
    decoded.length.reserve(lower.size());
    const auto keep = [&decoded](char byte, std::size_t at, std::size_t length) {
        decoded.text += byte;
        decoded.from.push_back(static_cast<std::uint32_t>(at));
        decoded.length.push_back(static_cast<std::uint8_t>(length));
    };
    std::string bytes;
    for (std::size_t at = 0; at < lower.size();) {
        const std::uint8_t what = kind[static_cast<unsigned char>(lower[at])];
        const std::size_t length = what == 2 ? ReadEscape(lower, at, bytes) : 0;
        if (length == 0) {
            if (what != 1) keep(lower[at], at, 1);
            ++at;
            continue;
        }
        for (char byte : bytes)
            if (kind[static_cast<unsigned char>(byte)] != 1) keep(byte, at, length);
        at += length;
    }
    return decoded;
}

// Replaces in text, and in lower, its lower-case twin, what spells a secret loosely once decoded.
void RedactLoose(std::string& text, std::string& lower, const std::vector<std::string>& patterns)
{
    if (patterns.empty() || lower.size() > UINT32_MAX) return;
    const Decoded decoded = Decode(lower);
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (const std::string& pattern : patterns) {
        const std::boyer_moore_horspool_searcher searcher(pattern.begin(), pattern.end());
        for (auto found = std::search(decoded.text.cbegin(), decoded.text.cend(), searcher);
             found != decoded.text.cend();
             found = std::search(found + static_cast<std::ptrdiff_t>(pattern.size()), decoded.text.cend(), searcher)) {
            const std::size_t first = static_cast<std::size_t>(found - decoded.text.cbegin());
            const std::size_t last = first + pattern.size() - 1;
            spans.emplace_back(decoded.from[first], decoded.from[last] + decoded.length[last]);
        }
    }
    if (spans.empty()) return;
    std::sort(spans.begin(), spans.end());
    std::string out;
    std::size_t done = 0;
    for (const auto& [start, end] : spans) {
        if (end <= done) continue;
        out.append(text, done, start > done ? start - done : 0);
        if (start >= done) out += kRedacted;
        done = end;
    }
    text = out.append(text, done);
    lower = LowerAscii(text);
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

std::string WithoutSecrets(const std::string& message, const SecretSpellings& secrets)
{
    std::string text = message;
    std::string lower = LowerAscii(text);
    const bool percent = lower.find('%') != std::string::npos;
    for (const std::string& secret : secrets.all)
        if (percent || secret.find('%') == std::string::npos) ReplaceAll(text, lower, secret);
    RedactLoose(text, lower, secrets.loose);
    RedactAfter(text, "Bearer ");
    RedactKeyShapes(text);
    return text;
}

std::string CleanLine(const std::string& message, const SecretSpellings& secrets)
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

// Merges the spellings of every registered secret, without repeats, longest first.
void MergeSpellingsLocked()
{
    SecretSpellings merged;
    const auto add = [](const std::vector<std::string>& more, std::vector<std::string>& kept) {
        kept.insert(kept.end(), more.begin(), more.end());
    };
    for (const auto& [secret, registration] : gRegistered) {
        add(registration.spellings.all, merged.all);
        add(registration.spellings.loose, merged.loose);
    }
    for (std::vector<std::string>* kept : {&merged.all, &merged.loose}) {
        std::sort(kept->begin(), kept->end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() > b.size() : a < b;
        });
        kept->erase(std::unique(kept->begin(), kept->end()), kept->end());
    }
    gSecrets = std::move(merged);
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

bool DebugLogRedact(const std::string& secret)
{
    // A very short text would blank out ordinary words; no key or token is that short, nor
    // as long as the cap.
    if (secret.size() < 4 || secret.size() > kMaxSecretBytes) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(gMutex);
        const auto known = gRegistered.find(secret);
        if (known != gRegistered.end()) {
            ++known->second.count;
            return true;
        }
    }
    // Worked out outside the lock: log lines go on meanwhile.
    SecretSpellings spellings = Spellings(secret);
    std::lock_guard<std::mutex> lock(gMutex);
    Registration& registration = gRegistered[secret];
    if (registration.count++ == 0) {
        registration.spellings = std::move(spellings);
        MergeSpellingsLocked();
    }
    return true;
}

void DebugLogForget(const std::string& secret)
{
    std::lock_guard<std::mutex> lock(gMutex);
    const auto known = gRegistered.find(secret);
    if (known == gRegistered.end() || --known->second.count > 0) {
        return;
    }
    gRegistered.erase(known);
    MergeSpellingsLocked();
}

std::size_t RegisteredSecretCount()
{
    std::lock_guard<std::mutex> lock(gMutex);
    return gRegistered.size();
}

void SetDebugLogPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gPath = path.empty() ? kDefaultPath : path;
}
