#pragma once

// The public download of one object of the template bucket, under the two names its callers
// know it by: the object's bytes, or why there are none. An object that is not there (404) is
// only absent; every other failure (no storage configured, no answer, a deadline, a refusal, a
// reply past maxBytes) keeps its cause, so that a tool reports a download that failed as such
// and never as a missing template. JSON objects keep the default cap, module files ask for the
// larger one.

#include <cstddef>
#include <string>

#include "core/HttpClient.hpp"

struct StoredObject {
    std::string bytes;    // the body of a 2xx reply; may be empty
    std::string failure;  // why nothing came: "" after a 2xx or a 404, else the cause, quoted

    // Bytes to use: an empty object counts as none.
    bool Found() const { return !bytes.empty(); }
    bool Failed() const { return !failure.empty(); }
};

StoredObject SupabaseDownloadPublic(const std::string& objectPath,
                                    std::size_t maxBytes = Quillmere::kMaxServiceReplyBytes);

inline StoredObject TypologyDownloadPublic(const std::string& objectPath,
                                           std::size_t maxBytes = Quillmere::kMaxServiceReplyBytes)
{
    return SupabaseDownloadPublic(objectPath, maxBytes);
}
