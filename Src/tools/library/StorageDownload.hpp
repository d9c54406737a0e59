#pragma once

// The public download of one object of the template bucket, under the two names its callers
// know it by: the body on a 2xx status, the empty string for every kind of failure (a missing
// object, a refusal, no storage configured or reachable, an empty object). A reply past
// maxBytes is such a failure too: JSON objects keep the default cap, module files ask for the
// larger one.

#include <cstddef>
#include <string>

#include "core/HttpClient.hpp"

std::string SupabaseDownloadPublic(const std::string& objectPath,
                                   std::size_t maxBytes = Quillmere::kMaxServiceReplyBytes);

inline std::string TypologyDownloadPublic(const std::string& objectPath,
                                          std::size_t maxBytes = Quillmere::kMaxServiceReplyBytes)
{
    return SupabaseDownloadPublic(objectPath, maxBytes);
}
