#pragma once

// Identifiers from outside (a plan id the model passes on, a name in a storage listing) that
// become one segment of a request's path. The HTTP client collapses "." and ".." segments
// even when the rest of the segment is percent-encoded, so such an id would reach another
// resource of the server (its root, or an object outside the bucket); a "/" would add
// segments of its own, and a huge id makes a huge request.

#include <cstddef>
#include <string>

constexpr std::size_t kMaxPathSegmentBytes = 255;

// Not empty, not "." or "..", no '/' or '\\', at most kMaxPathSegmentBytes bytes.
bool IsSafePathSegment(const std::string& segment);

// Every '/'-separated segment of path is safe.
bool IsSafeObjectPath(const std::string& path);
