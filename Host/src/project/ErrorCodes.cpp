#include "APIdefs_Errors.h"

namespace {

struct NamedCode {
    GSErrCode code;
    const char* name;
};

constexpr NamedCode kCodes[] = {
    {NoError, "NoError"},
    {APIERR_GENERAL, "APIERR_GENERAL"},
    {APIERR_MEMFULL, "APIERR_MEMFULL"},
    {APIERR_CANCEL, "APIERR_CANCEL"},
    {APIERR_BADID, "APIERR_BADID"},
    {APIERR_BADINDEX, "APIERR_BADINDEX"},
    {APIERR_BADNAME, "APIERR_BADNAME"},
    {APIERR_BADPARS, "APIERR_BADPARS"},
    {APIERR_BADPOLY, "APIERR_BADPOLY"},
    {APIERR_BADDATABASE, "APIERR_BADDATABASE"},
    {APIERR_BADVALUE, "APIERR_BADVALUE"},
    {APIERR_BADELEMENTTYPE, "APIERR_BADELEMENTTYPE"},
    {APIERR_DELETED, "APIERR_DELETED"},
    {APIERR_ATTREXIST, "APIERR_ATTREXIST"},
    {APIERR_NOTSUPPORTED, "APIERR_NOTSUPPORTED"},
    {APIERR_NEEDSUNDOSCOPE, "APIERR_NEEDSUNDOSCOPE"},
    {APIERR_REFUSEDCMD, "APIERR_REFUSEDCMD"},
    {APIERR_COMMANDFAILED, "APIERR_COMMANDFAILED"},
};

}  // namespace

const char* HostErrorName(GSErrCode code)
{
    for (const NamedCode& c : kCodes)
        if (c.code == code) return c.name;
    return "unknown";
}
