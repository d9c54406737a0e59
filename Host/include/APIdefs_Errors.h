#pragma once

// The host's error codes: one table, used by every host function. Codes are negative 32-bit
// numbers (0x8106xxxx); the add-on prints them as signed decimals.

#include "GSRoot.hpp"

constexpr GSErrCode HostErrorCode(UInt32 bits)
{
    return static_cast<GSErrCode>(static_cast<Int64>(bits) - 0x100000000LL);
}

constexpr GSErrCode APIERR_GENERAL = HostErrorCode(0x81060001u);         // unspecified failure
constexpr GSErrCode APIERR_MEMFULL = HostErrorCode(0x81060002u);         // out of memory
constexpr GSErrCode APIERR_CANCEL = HostErrorCode(0x81060003u);          // cancelled
constexpr GSErrCode APIERR_BADID = HostErrorCode(0x81060065u);           // unknown GUID, type or id
constexpr GSErrCode APIERR_BADINDEX = HostErrorCode(0x81060066u);        // index out of range
constexpr GSErrCode APIERR_BADNAME = HostErrorCode(0x81060067u);         // name not found or empty
constexpr GSErrCode APIERR_BADPARS = HostErrorCode(0x81060068u);         // bad parameters
constexpr GSErrCode APIERR_BADPOLY = HostErrorCode(0x81060069u);         // unreadable polygon
constexpr GSErrCode APIERR_BADDATABASE = HostErrorCode(0x8106006Au);     // no such database
constexpr GSErrCode APIERR_BADVALUE = HostErrorCode(0x81060070u);        // value out of range
constexpr GSErrCode APIERR_BADELEMENTTYPE = HostErrorCode(0x81060071u);  // wrong element type
constexpr GSErrCode APIERR_DELETED = HostErrorCode(0x810600D5u);         // attribute deleted
constexpr GSErrCode APIERR_ATTREXIST = HostErrorCode(0x810600D6u);       // attribute name taken
constexpr GSErrCode APIERR_NOTSUPPORTED = HostErrorCode(0x810600E0u);    // not supported here
constexpr GSErrCode APIERR_READONLY = HostErrorCode(0x810600E1u);        // value cannot be edited
constexpr GSErrCode APIERR_BADPROPERTY = HostErrorCode(0x810600E2u);     // property not for the element
constexpr GSErrCode APIERR_NEEDSUNDOSCOPE = HostErrorCode(0x810600EAu);  // change outside a command
constexpr GSErrCode APIERR_REFUSEDCMD = HostErrorCode(0x810600EBu);      // command refused (nested)
constexpr GSErrCode APIERR_COMMANDFAILED = HostErrorCode(0x810600ECu);   // command body threw
