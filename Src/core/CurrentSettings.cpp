#include "core/CurrentSettings.hpp"

#include <chrono>
#include <mutex>

#include "core/DebugLog.hpp"
#include "core/LocalStorage.hpp"

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
    return Update(
        [&](Settings& onDisk, Settings::LoadStatus read) {
            Settings next = settings;
            if (read == Settings::LoadStatus::Loaded && settings.SignInOlderThan(onDisk)) next.TakeSignInFrom(onDisk);
            onDisk = next;
            return true;
        },
        error);
}

bool Update(const std::function<bool(Settings& onDisk, Settings::LoadStatus read)>& change, std::string* error)
{
    const std::string path = Settings::FilePath();
    // Another copy holds the lock only while it reads and writes the file. A folder that cannot
    // be made, or a lock not had in time, leaves the write to go on without it and fail or
    // succeed as it would.
    LocalStorage::MadeBaseDir();
    const LocalStorage::FileLock lock(path + ".lock", std::chrono::steady_clock::now() + std::chrono::seconds(2));
    if (!lock.Held()) DebugLog("Writing the settings without their lock");
    Settings::LoadStatus read = Settings::LoadStatus::Missing;
    Settings onDisk = Settings::LoadFrom(path, &read);
    if (!change(onDisk, read)) return true;
    if (!onDisk.SaveTo(path, error)) return false;
    MakeCurrent(path, onDisk);
    return true;
}

}  // namespace CurrentSettings
