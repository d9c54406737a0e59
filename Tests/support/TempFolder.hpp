#pragma once

// A fresh folder under /tmp for one test, removed with everything in it when the test ends.

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
