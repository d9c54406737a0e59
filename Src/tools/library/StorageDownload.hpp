#pragma once

// The public download of one object of the template bucket, under the two names its callers
// know it by: the body on a 2xx status, the empty string for every kind of failure (a missing
// object, a refusal, no storage configured or reachable, an empty object).

#include <string>

std::string SupabaseDownloadPublic(const std::string& objectPath);

inline std::string TypologyDownloadPublic(const std::string& objectPath) { return SupabaseDownloadPublic(objectPath); }
