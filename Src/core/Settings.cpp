#include "core/Settings.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/FileText.hpp"
#include "core/JsonDepth.hpp"
#include "core/LocalStorage.hpp"

using nlohmann::json;

namespace {

const int kMinWindowSide = 100;
const int kMaxWindowSide = 20000;
// The settings hold keys: readable by the user alone.
const int kPrivateMode = 0600;

void ReadString(const json& source, const char* key, std::string& target)
{
    const auto found = source.find(key);
    if (found != source.end() && found->is_string()) {
        target = found->get<std::string>();
    }
}

void ReadWindowSide(const json& source, const char* key, int& target)
{
    const auto found = source.find(key);
    if (found == source.end() || !found->is_number()) {
        return;
    }
    const double value = found->get<double>();
    if (value >= kMinWindowSide && value <= kMaxWindowSide) {
        target = static_cast<int>(value);
    }
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string ParentDir(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool KeepCorruptCopy(const std::string& path, std::string& error)
{
    std::string backup = path + ".corrupt";
    for (int n = 1; FileExists(backup); ++n) {
        if (n > 1000) {
            error = "too many corrupt settings backups beside " + path;
            return false;
        }
        backup = path + ".corrupt." + std::to_string(n);
    }
    if (std::rename(path.c_str(), backup.c_str()) != 0) {
        error = "cannot keep the unreadable settings file as " + backup + ": " + std::strerror(errno);
        return false;
    }
    // The copy may hold keys: it becomes private whatever mode the file had. Only a regular
    // file is changed, never what a link points to.
    const int fd = ::open(backup.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) ::fchmod(fd, kPrivateMode);
        ::close(fd);
    }
    return true;
}

}  // namespace

json Settings::ToJson() const
{
    json out{{"provider", provider},           {"model", model},         {"anthropic_api_key", anthropicApiKey},
             {"openai_api_key", openaiApiKey}, {"proxy_url", proxyUrl},  {"window_width", windowWidth},
             {"window_height", windowHeight},  {"dark_mode", darkMode},  {"access_token", accessToken},
             {"refresh_token", refreshToken},  {"user_email", userEmail}};
    // Written only when set, so that a file without storage keeps none.
    if (!storageUrl.empty()) out["storage_url"] = storageUrl;
    if (!storageAnonKey.empty()) out["storage_anon_key"] = storageAnonKey;
    if (!storageServiceKey.empty()) out["storage_service_key"] = storageServiceKey;
    if (!serviceUrl.empty()) {
        out["service_url"] = serviceUrl;
    }
    if (signInGeneration > 0) out["sign_in_generation"] = signInGeneration;
    return out;
}

Settings Settings::FromJson(const json& source)
{
    Settings settings;
    if (!source.is_object()) {
        return settings;
    }
    ReadString(source, "provider", settings.provider);
    ReadString(source, "model", settings.model);
    ReadString(source, "anthropic_api_key", settings.anthropicApiKey);
    ReadString(source, "openai_api_key", settings.openaiApiKey);
    ReadString(source, "proxy_url", settings.proxyUrl);
    ReadWindowSide(source, "window_width", settings.windowWidth);
    ReadWindowSide(source, "window_height", settings.windowHeight);
    const auto dark = source.find("dark_mode");
    if (dark != source.end() && dark->is_boolean()) {
        settings.darkMode = dark->get<bool>();
    }
    ReadString(source, "access_token", settings.accessToken);
    ReadString(source, "refresh_token", settings.refreshToken);
    ReadString(source, "user_email", settings.userEmail);
    ReadString(source, "storage_url", settings.storageUrl);
    ReadString(source, "storage_anon_key", settings.storageAnonKey);
    ReadString(source, "storage_service_key", settings.storageServiceKey);
    ReadString(source, "service_url", settings.serviceUrl);
    const auto generation = source.find("sign_in_generation");
    if (generation != source.end() && generation->is_number_integer() && generation->get<long long>() > 0) {
        settings.signInGeneration = generation->get<long long>();
    }
    return settings;
}

bool Settings::SignInOlderThan(const Settings& other) const
{
    if (other.signInGeneration != signInGeneration) return other.signInGeneration > signInGeneration;
    return other.accessToken != accessToken || other.refreshToken != refreshToken;
}

void Settings::TakeSignInFrom(const Settings& other)
{
    accessToken = other.accessToken;
    refreshToken = other.refreshToken;
    userEmail = other.userEmail;
    signInGeneration = other.signInGeneration;
}

std::string Settings::FilePath() { return LocalStorage::GetBaseDir() + "/settings.json"; }

Settings Settings::Load(LoadStatus* status) { return LoadFrom(FilePath(), status); }

bool Settings::Save(std::string* error) const { return SaveTo(FilePath(), error); }

Settings Settings::LoadFrom(const std::string& path, LoadStatus* status)
{
    std::string text;
    if (!ReadWholeFile(path, text)) {
        if (status != nullptr) {
            *status = FileExists(path) ? LoadStatus::Unreadable : LoadStatus::Missing;
        }
        return Settings{};
    }
    const json parsed = ParseOutsideJson(text);
    if (!parsed.is_object()) {
        if (status != nullptr) {
            *status = LoadStatus::Unreadable;
        }
        return Settings{};
    }
    if (status != nullptr) {
        *status = LoadStatus::Loaded;
    }
    return FromJson(parsed);
}

bool Settings::SaveTo(const std::string& path, std::string* error) const
{
    std::string why;
    const auto fail = [&](const std::string& message) {
        if (error != nullptr) {
            *error = message;
        }
        return false;
    };

    const std::string dir = ParentDir(path);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return fail("cannot create " + dir + ": " + std::strerror(errno));
    }
    if (FileExists(path)) {
        LoadStatus status = LoadStatus::Loaded;
        LoadFrom(path, &status);
        if (status == LoadStatus::Unreadable && !KeepCorruptCopy(path, why)) {
            return fail(why);
        }
    }

    const std::string text = ToJson().dump(2, ' ', false, json::error_handler_t::replace) + "\n";
    if (!WriteWholeFileAtomic(path, text, kPrivateMode, &why)) {
        return fail(why);
    }
    return true;
}
