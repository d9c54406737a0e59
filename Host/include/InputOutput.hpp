#pragma once

// The host's file locations: a path held as given. The host counts live locations so that
// tests can see one that the add-on forgot to delete.

#include <string>

#include "GSRoot.hpp"

namespace IO {

class Location {
public:
    Location();
    explicit Location(const char* path);
    explicit Location(const std::string& path);
    explicit Location(const GS::UniString& path);
    Location(const Location& other);
    Location& operator=(const Location& other);
    ~Location();

    const std::string& GetPath() const { return path_; }  // UTF-8, as given
    GSErrCode ToPath(GS::UniString* path) const;
    GS::UniString ToDisplayText() const;
    bool IsEmpty() const { return path_.empty(); }
    void Set(const std::string& path) { path_ = path; }

private:
    std::string path_;
};

}  // namespace IO
