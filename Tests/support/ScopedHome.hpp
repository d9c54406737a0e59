#pragma once

// A private, empty home folder for the lifetime of the scope: HOME points at it (so the
// add-on's ~/.quillmere lands inside), and both are undone afterwards.

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

class ScopedHome {
public:
    ScopedHome()
    {
        char pattern[] = "/tmp/quillmere-home-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        path_ = made != nullptr ? made : "";
        const char* old = std::getenv("HOME");
        hadHome_ = old != nullptr;
        savedHome_ = hadHome_ ? old : "";
        ::setenv("HOME", path_.c_str(), 1);
    }
    ~ScopedHome()
    {
        if (hadHome_)
            ::setenv("HOME", savedHome_.c_str(), 1);
        else
            ::unsetenv("HOME");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_, savedHome_;
    bool hadHome_ = false;
};
