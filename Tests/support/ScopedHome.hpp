#pragma once

// A private, empty home folder for the lifetime of the scope: HOME points at it (so the
// add-on's ~/.quillmere lands inside), and both are undone afterwards.

#include <string>

#include "TempFolder.hpp"

class ScopedHome {
public:
    const std::string& Path() const { return folder_.Dir(); }

private:
    TempFolder folder_{"quillmere-home"};
    ScopedEnv home_{"HOME", folder_.Dir()};
};
