// The check of identifiers that become path segments.
#include "core/PathSegment.hpp"

bool IsSafePathSegment(const std::string& segment)
{
    return !segment.empty() && segment.size() <= kMaxPathSegmentBytes && segment != "." && segment != ".." &&
           segment.find_first_of("/\\") == std::string::npos;
}

bool IsSafeObjectPath(const std::string& path)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        if (!IsSafePathSegment(path.substr(start, slash - start))) return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}
