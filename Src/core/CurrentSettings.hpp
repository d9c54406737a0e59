#pragma once

// The settings in force for the whole add-on, held in one place so that a service request
// does not read and parse settings.json again. The palette loads them when it opens and puts
// them here when it saves; the service clients only read them. Until the palette has loaded
// them the first reader loads them. A different settings path (HOME moved) is another file,
// which is read afresh.
//
// Copies of the add-on on one home share settings.json: every write reads the file afresh
// under a lock they all take for it, and keeps a sign-in it holds that is newer than the one
// being written (Settings::SignInOlderThan), so that no copy writes its older sign-in over
// another's renewal, sign-in or sign-out.

#include <functional>
#include <string>

#include "core/Settings.hpp"

namespace CurrentSettings {

// A copy of the settings in force.
Settings Get();

// Reads settings.json and makes what it holds current (defaults when it is missing or
// unreadable, as status tells).
Settings Load(Settings::LoadStatus* status = nullptr);

// Writes settings to settings.json, with the file's sign-in in place of theirs when it is
// newer; once written they are current. False with a reason in error otherwise, and the
// settings in force stay what they were.
bool Save(const Settings& settings, std::string* error = nullptr);

// Reads settings.json afresh (defaults when it is missing or unreadable, as read says) and,
// under the same lock, writes what change makes of it and makes that current; change returns
// false to write nothing (Update then returns true). False with a reason in error when the
// write failed.
bool Update(const std::function<bool(Settings& onDisk, Settings::LoadStatus read)>& change,
            std::string* error = nullptr);

}  // namespace CurrentSettings
