// The conversation files of the storage layer.
#include "core/ConversationFiles.hpp"

#include <cstdio>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <sys/stat.h>

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

bool SaveConversation(const std::string& name, const std::string& text, std::string* error)
{
    std::string why;
    EnsureDir(GetBaseDir());
    if (!EnsureDir(HistoryDir())) why = "cannot make the folder " + HistoryDir();
    if (why.empty() && WriteWholeFileAtomic(ConversationPath(name), text, 0600, &why)) return true;
    if (error != nullptr) *error = why;
    return false;
}

std::optional<StoredConversation> LatestConversation()
{
    DIR* dir = ::opendir(HistoryDir().c_str());
    if (dir == nullptr) return std::nullopt;
    std::string newest;
    struct timespec newestTime {};
    while (const dirent* entry = ::readdir(dir)) {
        const std::string file = entry->d_name;
        const std::size_t stem = file.size() - std::strlen(kExtension);
        if (file.size() <= std::strlen(kExtension) || file.compare(stem, std::string::npos, kExtension) != 0) continue;
        struct stat info {};
        if (::lstat((HistoryDir() + "/" + file).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        const bool later = info.st_mtim.tv_sec != newestTime.tv_sec ? info.st_mtim.tv_sec > newestTime.tv_sec
                                                                    : info.st_mtim.tv_nsec > newestTime.tv_nsec;
        if (newest.empty() || later ||
            (info.st_mtim.tv_sec == newestTime.tv_sec && info.st_mtim.tv_nsec == newestTime.tv_nsec && file > newest)) {
            newest = file;
            newestTime = info.st_mtim;
        }
    }
    ::closedir(dir);
    if (newest.empty()) return std::nullopt;
    StoredConversation stored{newest.substr(0, newest.size() - std::strlen(kExtension)), ""};
    if (!ReadWholeFile(HistoryDir() + "/" + newest, stored.text)) return std::nullopt;
    return stored;
}

bool SetConversationAside(const std::string& name)
{
    const std::string path = ConversationPath(name);
    std::string aside = path + ".damaged";
    for (int n = 1; Exists(aside) && n <= 1000; ++n) aside = path + ".damaged." + std::to_string(n);
    return std::rename(path.c_str(), aside.c_str()) == 0;
}

}  // namespace LocalStorage
