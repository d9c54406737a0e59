#pragma once

// Reading and writing whole files, the one way the add-on does it. Reading never waits on
// what sits at a path (a named pipe would hold the main thread until someone wrote to it) and
// takes only regular files. Writing never leaves a half-written file: the bytes go to a new
// temporary file beside the target, every write and the close are checked, and only then is
// it renamed over the target. (A conversation's file, which grows by appends, is kept by
// core/ConversationFiles.)

#include <string>

// The mode a written file gets from the user's umask (0666 & ~umask), as most files should.
constexpr int kModeFromUmask = -1;

// The whole content of the regular file at path. False when there is none, it is something
// else (a folder, a pipe, a device) or reading fails; bytes is then left as it was.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// The system's temporary folder (TMPDIR), or /tmp when it names none that can be used.
std::string TemporaryFolder();

// Replaces the file at path with bytes, whole or not at all. mode is the new file's exact
// permission bits whatever the old file's were, or kModeFromUmask. False with a reason in
// error (when given) if anything failed; the old file is then untouched and no temporary
// file is left.
bool WriteWholeFileAtomic(const std::string& path, const std::string& bytes, int mode = kModeFromUmask,
                          std::string* error = nullptr);

// Writes bytes whole to fd, going on after interrupted and partial writes; false (errno set)
// when a write fails.
bool WriteAll(int fd, const std::string& bytes);

// A new file of our own in path's folder, never one that was there (a planted link included),
// open for writing; its name, which holds this machine's name and the process id, goes to
// temporary. The name is short whatever path's, so a target named near the length limit still
// fits. -1 (errno set) when none could be made.
int CreateTemporary(const std::string& path, int mode, std::string& temporary);

// Removes the temporary files in folder that a process of ours on this machine made and can no
// longer rename (it was killed during a write); those of a process still running, and those of
// other machines sharing the folder, are left alone.
void RemoveStaleTemporaries(const std::string& folder);
