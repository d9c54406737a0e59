#pragma once

// A fresh folder under /tmp for one test, removed with everything in it when the test ends, and
// environment variables set for a scope (the add-on finds its home, temporary folder and
// services through them).

#include <optional>
#include <string>
#include <vector>

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "quillmere");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    // Names in the folder (or one of its sub-folders), sorted.
    std::vector<std::string> Files(const std::string& sub = std::string()) const;
    // The whole content of a file (empty when it cannot be read).
    static std::string Read(const std::string& path);
    static void Write(const std::string& path, const std::string& bytes);

private:
    std::string dir_;
};

// Sets an environment variable (or unsets it, for no value) for the scope's lifetime, then
// restores what was there.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// The add-on's temporary files (TMPDIR) go into a fresh folder of their own for the scope.
class TempDirScope {
public:
    explicit TempDirScope(const std::string& prefix = "quillmere-tmp") : folder_(prefix) {}

    const std::string& Dir() const { return folder_.Dir(); }
    bool Empty() const { return folder_.Files().empty(); }

private:
    TempFolder folder_;
    ScopedEnv tmpdir_{"TMPDIR", folder_.Dir()};
};

// A private, empty home folder for the scope: HOME points at it (so the add-on's ~/.quillmere
// lands inside), and both are undone afterwards.
class ScopedHome {
public:
    const std::string& Path() const { return folder_.Dir(); }

private:
    TempFolder folder_{"quillmere-home"};
    ScopedEnv home_{"HOME", folder_.Dir()};
};
