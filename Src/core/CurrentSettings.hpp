#pragma once

// The settings in force for the whole add-on, held in one place so that a service request
// does not read and parse settings.json again. The palette loads them when it opens and puts
// them here when it saves; the service clients only read them. Until the palette has loaded
// them the first reader loads them. A different settings path (HOME moved) is another file,
// which is read afresh.

#include <string>

#include "core/Settings.hpp"

namespace CurrentSettings {

// A copy of the settings in force.
Settings Get();

// Reads settings.json and makes what it holds current (defaults when it is missing or
// unreadable, as status tells).
Settings Load(Settings::LoadStatus* status = nullptr);

// Writes settings to settings.json; once written they are current. False with a reason in
// error otherwise, and the settings in force stay what they were.
bool Save(const Settings& settings, std::string* error = nullptr);

}  // namespace CurrentSettings
