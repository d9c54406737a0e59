#pragma once

#include <chrono>
#include <functional>
#include <string>

// The add-on's folder in the user's home and the file names kept in it.
namespace LocalStorage {

// $HOME (when unset or empty: the user's home from the password database, else "/tmp")
// followed by "/.quillmere". Does not create the folder.
std::string GetBaseDir();

// A file name made from any text: ASCII letters and digits, '-', '.' and '_' stay, every other
// byte becomes '_' (one for one, so the length is kept). An empty name gives "default".
std::string SanitiseName(const std::string& name);

// The add-on's folder, made private (mode 0700, as the settings are) when it is not there yet:
// for the files that copies of the add-on on one home share.
std::string MadeBaseDir();

// One mkdir with mode 0755, not recursive; true when created or already there as a folder.
bool EnsureDir(const std::string& path);

// An exclusive lock (flock) on a file, for work that copies of the add-on sharing one home
// must not do at once, held while the object lives. It is waited for until it is had, until
// passes, or giveUp (asked every few milliseconds) says so; Held tells which. The file is
// made (mode 0600) in a folder that must exist.
class FileLock {
public:
    FileLock(const std::string& path, std::chrono::steady_clock::time_point until,
             const std::function<bool()>& giveUp = nullptr);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace LocalStorage
