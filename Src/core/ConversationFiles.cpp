// The conversation files of the storage layer.
#include "core/ConversationFiles.hpp"

#include <algorithm>
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

bool AppendToConversation(const std::string& name, const std::string& text, std::uint64_t keptSize, std::string* error)
{
    return AppendToFile(ConversationPath(name), text, keptSize, error);
}

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

bool ReadConversation(const std::string& name, std::string& text)
{
    return ReadWholeFile(ConversationPath(name), text);
}

bool SetConversationAside(const std::string& name)
{
    const std::string path = ConversationPath(name);
    std::string aside = path + ".damaged";
    for (int n = 1; Exists(aside) && n <= 1000; ++n) aside = path + ".damaged." + std::to_string(n);
    return std::rename(path.c_str(), aside.c_str()) == 0;
}

}  // namespace LocalStorage
