#pragma once

#include <string>

#include <nlohmann/json.hpp>

// The user's settings, kept in ~/.quillmere/settings.json with snake_case keys.
struct Settings {
    std::string provider = "anthropic";
    std::string model = "claude-sonnet-4-20250514";
    std::string anthropicApiKey;
    std::string openaiApiKey;
    std::string proxyUrl;
    int windowWidth = 420;
    int windowHeight = 680;
    bool darkMode = false;
    // Sign-in to the product's service: the bearer token and the account's e-mail (the token
    // that renews the bearer token is below). Secrets like the keys.
    std::string accessToken;
    std::string userEmail;
    // Object storage of templates and typologies (the deployment's own; never in the repo).
    // Kept here so that saving the page's settings does not drop them; the environment may
    // override each (services/StorageClient.hpp).
    std::string storageUrl;
    std::string storageAnonKey;
    std::string storageServiceKey;
    // Base address of the product's service (plan recognition, render); empty when not set
    // here, so that QUILLMERE_SERVICE_URL decides. Written to the file only when set.
    std::string serviceUrl;
    // Renews the access token when it has expired; kept last so that older aggregate
    // initialisers keep their meaning.
    std::string refreshToken;
    // Orders the sign-ins that copies of the add-on sharing this file write: each change of the
    // sign-in written (signed in, renewed, signed out) takes a higher one than the file held.
    // 0 for a file that never had one. Written only when set.
    long long signInGeneration = 0;

    // Whether other's sign-in (as the file holds it) is newer than this one: written since by
    // another copy. A file written without generations (by an earlier version) that holds other
    // tokens at the same generation is newer too.
    bool SignInOlderThan(const Settings& other) const;
    // The tokens, the e-mail and their generation, taken from other.
    void TakeSignInFrom(const Settings& other);

    enum class LoadStatus { Loaded, Missing, Unreadable };

    nlohmann::json ToJson() const;
    // Members that are missing or of the wrong type keep their defaults.
    static Settings FromJson(const nlohmann::json& json);

    // ~/.quillmere/settings.json (the storage layer's base folder).
    static std::string FilePath();
    static Settings Load(LoadStatus* status = nullptr);
    bool Save(std::string* error = nullptr) const;

    // A missing file, or one that is not a JSON object, gives the defaults.
    static Settings LoadFrom(const std::string& path, LoadStatus* status = nullptr);
    // Writes atomically (a temporary file renamed over the old one), readable by the user
    // only, indented by two spaces. A file already there that cannot be read as settings is
    // first kept beside it as path + ".corrupt" (".corrupt.1", ... when that exists), so a
    // hand-edited file with one typo is never silently lost.
    bool SaveTo(const std::string& path, std::string* error = nullptr) const;
};
