#include "gs/Location.hpp"

#include <atomic>

#include "APIdefs_Errors.h"
#include "InputOutput.hpp"

namespace {
std::atomic<Int64> g_liveLocations{0};
}

namespace HostInternal {
Int64 LiveLocationCount() { return g_liveLocations.load(); }
}  // namespace HostInternal

namespace IO {

Location::Location() { ++g_liveLocations; }
Location::Location(const char* path) : path_(path ? path : "") { ++g_liveLocations; }
Location::Location(const std::string& path) : path_(path) { ++g_liveLocations; }
Location::Location(const GS::UniString& path) : path_(path.ToStdString()) { ++g_liveLocations; }
Location::Location(const Location& other) : path_(other.path_) { ++g_liveLocations; }
Location& Location::operator=(const Location& other)
{
    path_ = other.path_;
    return *this;
}
Location::~Location() { --g_liveLocations; }

GSErrCode Location::ToPath(GS::UniString* path) const
{
    if (path == nullptr) return APIERR_BADPARS;
    *path = GS::UniString(path_);
    return NoError;
}

GS::UniString Location::ToDisplayText() const { return GS::UniString(path_); }

}  // namespace IO
