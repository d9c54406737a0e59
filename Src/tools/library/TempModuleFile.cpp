#include "tools/library/TempModuleFile.hpp"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/FileText.hpp"
#include "core/LocalStorage.hpp"

TempModuleFile::~TempModuleFile()
{
    Remove();
    for (auto folder = madeFolders_.rbegin(); folder != madeFolders_.rend(); ++folder) ::rmdir(folder->c_str());
}

bool TempModuleFile::MakeFolders(const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders) {
        struct stat info {};
        if (::stat(folder.c_str(), &info) == 0) continue;
        if (!LocalStorage::EnsureDir(folder)) return false;
        madeFolders_.push_back(folder);
    }
    return true;
}

void TempModuleFile::Remove()
{
    if (!path_.empty()) std::remove(path_.c_str());
    path_.clear();
}

bool TempModuleFile::Write(const std::string& folder, const std::string& stem, const std::string& bytes)
{
    Remove();
    const std::string pattern = folder + "/" + stem + "XXXXXX.mod";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkstemps creates with O_CREAT | O_EXCL and mode 0600: an existing name (a symbolic link
    // included) is never opened, so nothing outside the new file can be written through it.
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) return false;
    ::close(fd);
    path_ = name.data();
    // The name is ours now; the bytes replace the empty file whole or not at all.
    if (!WriteWholeFileAtomic(path_, bytes, 0600)) {
        Remove();
        return false;
    }
    return true;
}
