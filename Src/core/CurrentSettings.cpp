#include "core/CurrentSettings.hpp"

#include <mutex>

namespace {

std::mutex gMutex;
std::string gPath;  // the file the settings in force came from; empty before the first load
Settings gSettings;

void MakeCurrent(const std::string& path, const Settings& settings)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gPath = path;
    gSettings = settings;
}

}  // namespace

namespace CurrentSettings {

Settings Get()
{
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (gPath == Settings::FilePath()) return gSettings;
    }
    return Load();
}

Settings Load(Settings::LoadStatus* status)
{
    const std::string path = Settings::FilePath();
    const Settings loaded = Settings::LoadFrom(path, status);
    MakeCurrent(path, loaded);
    return loaded;
}

bool Save(const Settings& settings, std::string* error)
{
    const std::string path = Settings::FilePath();
    if (!settings.SaveTo(path, error)) return false;
    MakeCurrent(path, settings);
    return true;
}

}  // namespace CurrentSettings
