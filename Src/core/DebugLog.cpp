// The debug log and the redaction of secrets from every text that leaves through it, a tool
// result or the page: the spellings of each secret are worked out when it is registered, and
// each text is searched for all of them at once.
#include "core/DebugLog.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/AsciiText.hpp"
#include "core/Base64.hpp"
#include "core/LooseText.hpp"
#include "core/PatternSet.hpp"
#include "core/PercentEncoding.hpp"

namespace {

const char* const kDefaultPath = "/tmp/quillmere_debug.log";
const char* const kRedacted = "[redacted]";

// The spellings of a secret, in lower case, worked out once when it is registered. exact: looked
// for in the text as it is. loose: the secret and its base64 and hex forms, without the
// separators (IsLooseSeparator), looked for in the stretches of the text that could spell one
// loosely, decoded (LooseText.hpp); written: the same forms as they are written and without their
// separators, looked for in the text as it is wherever no decoded stretch covers it.
struct SecretSpellings {
    std::vector<std::string> exact, written, loose;
    LooseShape shape;
};
// What every text is searched for: the spellings of the registered secrets, merged. Percent-
// encoded ones are looked for only in a text that holds a '%'.
struct SecretSearch {
    PatternSet exact, percent, written, loose;
    LooseShape shape;
};
// Each registered secret, how many registrations hold it, and its own spellings, from which
// the search is merged again when one comes or goes.
struct Registration {
    int count = 0;
    SecretSpellings spellings;
};
struct LogState {
    std::mutex mutex;
    std::string path = kDefaultPath;
    SecretSearch secrets;
    std::map<std::string, Registration> registered;
};

// Built on first use and never destroyed: an object that lives as long as the program (an engine
// kept in a static) forgets its tokens and logs from its destructor, which may run after every
// static of this file would have been destroyed.
LogState& State()
{
    static LogState* const state = new LogState;
    return *state;
}

// Below this many bytes a secret's base64 and hex forms, and its loose forms, are short enough
// to turn up by chance.
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
// form is looked for loosely, where that is long enough not to turn up by chance, else as it is,
// JSON-escaped and percent-encoded. Matching ignores case, which covers an upper-case echo and
// either case of hex digits.
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
    if (encoded) forms.push_back(Hex(secret));
    SecretSpellings spellings;
    for (std::size_t i = 0; i < forms.size(); ++i) {
        const std::string& form = forms[i];
        const std::string lower = LowerAscii(form);
        std::string loose = lower;
        loose.erase(std::remove_if(loose.begin(), loose.end(), IsLooseSeparator), loose.end());
        if (encoded && loose.size() >= kMinEncodedSecretBytes) {
            spellings.loose.push_back(loose);
            spellings.shape.Include(loose, i + 1 == forms.size());  // hex comes last
            // Where the text is not decoded, the form is looked for as it is written and without
            // its separators; one that reads as something else once decoded (a secret holding
            // "%41" or "&lt;") is looked for so everywhere.
            for (const std::string& spelling : {lower, loose}) {
                const bool readsAsItself = DecodeStretches(spelling, {{0, spelling.size()}}).text == loose;
                (readsAsItself ? spellings.written : spellings.exact).push_back(spelling);
            }
            continue;
        }
        spellings.exact.push_back(lower);
        spellings.exact.push_back(LowerAscii(JsonEscaped(form)));
        for (const std::string& percent : {PercentEncoded(form, false), PercentEncoded(form, true)})
            if (percent != form) spellings.exact.push_back(LowerAscii(percent));
    }
    return spellings;
}

// text with each span [start, end) replaced by "[redacted]"; spans that overlap are one.
std::string Redacted(const std::string& text, std::vector<Stretch>& spans)
{
    if (spans.empty()) return text;
    std::sort(spans.begin(), spans.end());
    std::string out;
    std::size_t done = 0;
    for (const auto& [start, end] : spans) {
        if (end <= done) continue;
        out.append(text, done, start > done ? start - done : 0);
        if (start >= done) out += kRedacted;
        done = end;
    }
    return out.append(text, done);
}

std::string WithoutRegistered(const std::string& message, const SecretSearch& secrets)
{
    const std::string lower = LowerAscii(message);
    std::vector<Stretch> spans;
    secrets.exact.Find(lower, spans);
    if (lower.find('%') != std::string::npos) secrets.percent.Find(lower, spans);
    const std::vector<Stretch> stretches =
        lower.size() <= UINT32_MAX ? LooseStretches(lower, secrets.shape) : std::vector<Stretch>{};
    if (stretches.size() != 1 || stretches[0] != Stretch{0, lower.size()}) secrets.written.Find(lower, spans);
    if (!stretches.empty()) {
        const Decoded decoded = DecodeStretches(lower, stretches);
        std::vector<Stretch> matches;
        secrets.loose.Find(decoded.text, matches);
        for (const auto& [first, end] : matches)
            spans.emplace_back(decoded.from[first], EndOfEscapeOrByte(lower, decoded.from[end - 1]));
    }
    return Redacted(message, spans);
}

std::string WithoutSecrets(const std::string& message, const SecretSearch& secrets)
{
    std::string text = WithoutRegistered(message, secrets);
    RedactAfter(text, "Bearer ");
    RedactKeyShapes(text);
    return text;
}

std::string CleanLine(const std::string& message, const SecretSearch& secrets)
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

// Merges the spellings of every registered secret.
void MergeSpellingsLocked(LogState& state)
{
    std::vector<std::string> exact, percent, written, loose;
    SecretSearch merged;
    for (const auto& [secret, registration] : state.registered) {
        const SecretSpellings& spellings = registration.spellings;
        for (const std::string& spelling : spellings.exact)
            (spelling.find('%') == std::string::npos ? exact : percent).push_back(spelling);
        written.insert(written.end(), spellings.written.begin(), spellings.written.end());
        loose.insert(loose.end(), spellings.loose.begin(), spellings.loose.end());
        merged.shape.Include(spellings.shape);
    }
    for (std::vector<std::string>* kept : {&exact, &percent, &written, &loose}) {
        std::sort(kept->begin(), kept->end());
        kept->erase(std::unique(kept->begin(), kept->end()), kept->end());
    }
    merged.exact = PatternSet(std::move(exact));
    merged.percent = PatternSet(std::move(percent));
    merged.written = PatternSet(std::move(written));
    merged.loose = PatternSet(std::move(loose));
    state.secrets = std::move(merged);
}

}  // namespace

void DebugLog(const std::string& message)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);

    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const std::string line = std::string("[") + stamp + "] " + CleanLine(message, state.secrets) + "\n";
    AppendToLog(state.path, line);
}

std::string RedactSecrets(const std::string& text)
{
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return WithoutSecrets(text, state.secrets);
}

std::string RedactRegisteredSecrets(const std::string& text)
{
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return WithoutRegistered(text, state.secrets);
}

bool DebugLogRedact(const std::string& secret)
{
    // A very short text would blank out ordinary words; no key or token is that short, nor
    // as long as the cap.
    if (!RedactableSecret(secret)) return false;
    LogState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        const auto known = state.registered.find(secret);
        if (known != state.registered.end()) {
            ++known->second.count;
            return true;
        }
    }
    // Worked out outside the lock: log lines go on meanwhile.
    SecretSpellings spellings = Spellings(secret);
    std::lock_guard<std::mutex> lock(state.mutex);
    Registration& registration = state.registered[secret];
    if (registration.count++ == 0) {
        registration.spellings = std::move(spellings);
        MergeSpellingsLocked(state);
    }
    return true;
}

void DebugLogForget(const std::string& secret)
{
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const auto known = state.registered.find(secret);
    if (known == state.registered.end() || --known->second.count > 0) {
        return;
    }
    state.registered.erase(known);
    MergeSpellingsLocked(state);
}

std::size_t RegisteredSecretCount()
{
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.registered.size();
}

void SetDebugLogPath(const std::string& path)
{
    LogState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.path = path.empty() ? kDefaultPath : path;
}
