#pragma once

#include <string>

// The add-on's folder in the user's home and the file names kept in it.
namespace LocalStorage {

// $HOME (when unset or empty: the user's home from the password database, else "/tmp")
// followed by "/.quillmere". Does not create the folder.
std::string GetBaseDir();

// A file name made from any text: ASCII letters and digits, '-', '.' and '_' stay, every other
// byte becomes '_' (one for one, so the length is kept). An empty name gives "default".
std::string SanitiseName(const std::string& name);

// One mkdir with mode 0755, not recursive; true when created or already there as a folder.
bool EnsureDir(const std::string& path);

}  // namespace LocalStorage
