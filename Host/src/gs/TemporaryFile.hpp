#pragma once

// A new file beside a target that is renamed over it once complete: how the host writes the
// files a user asked for (modules, PDFs). The file is created exclusively (never one that was
// there, nor through a link) with mode 0666 less the user's umask, as any file the user saves.

#include <string>

namespace HostInternal {

// Creates "<folder>/<prefix><pid>-<n>.tmp" and returns its descriptor (open for writing), or
// -1 with errno set. path receives the name.
int CreateTemporaryFile(const std::string& folder, const std::string& prefix, std::string& path);

}  // namespace HostInternal
