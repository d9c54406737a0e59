#pragma once

// A module file that exists only while one placement runs: a new file of its own in the
// given folder (never one that was there before, so a template whose name happens to match
// cannot be overwritten or removed, and two hosts never share one), readable by the user
// alone, removed when the object goes out of scope whatever happened in between, together
// with the folders it made for it (so a failed placement leaves no trace in the user's home).

#include <string>
#include <vector>

class TempModuleFile {
public:
    TempModuleFile() = default;
    ~TempModuleFile();
    TempModuleFile(const TempModuleFile&) = delete;
    TempModuleFile& operator=(const TempModuleFile&) = delete;

    // Makes each missing folder of the list in turn (mode 0755); the ones made here are removed
    // again, when empty, with the file. False when one cannot be made.
    bool MakeFolders(const std::vector<std::string>& folders);

    // Creates "<folder>/<stem>XXXXXX.mod" exclusively (mode 0600) and writes bytes whole.
    // False when the file cannot be made, written or closed; nothing is left behind then.
    bool Write(const std::string& folder, const std::string& stem, const std::string& bytes);

    const std::string& Path() const { return path_; }

private:
    void Remove();
    std::string path_;
    std::vector<std::string> madeFolders_;
};
