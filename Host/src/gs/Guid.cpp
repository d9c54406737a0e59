#include <cstdio>
#include <cstring>
#include <type_traits>

#include "GSRoot.hpp"
#include "gs/GuidSource.hpp"

namespace {

// splitmix64: a small, well-mixed sequence; version and variant bits make the text look like
// a random (version 4) GUID.
UInt64 g_guidState = 0x5EED5EED12345678ull;

UInt64 NextRandom()
{
    UInt64 z = (g_guidState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The byte order of the text form: the first three groups are the little-endian fields of
// API_Guid written most significant digit first, as the host prints them.
API_Guid FromCanonicalBytes(const UInt8 b[16])
{
    API_Guid g;
    g.time_low = (UInt32(b[0]) << 24) | (UInt32(b[1]) << 16) | (UInt32(b[2]) << 8) | UInt32(b[3]);
    g.time_mid = UInt16((b[4] << 8) | b[5]);
    g.time_hi_and_version = UInt16((b[6] << 8) | b[7]);
    g.clock_seq_hi_and_reserved = b[8];
    g.clock_seq_low = b[9];
    for (int i = 0; i < 6; ++i) g.node[i] = b[10 + i];
    return g;
}

void ToCanonicalBytes(const API_Guid& g, UInt8 b[16])
{
    b[0] = UInt8(g.time_low >> 24);
    b[1] = UInt8(g.time_low >> 16);
    b[2] = UInt8(g.time_low >> 8);
    b[3] = UInt8(g.time_low);
    b[4] = UInt8(g.time_mid >> 8);
    b[5] = UInt8(g.time_mid);
    b[6] = UInt8(g.time_hi_and_version >> 8);
    b[7] = UInt8(g.time_hi_and_version);
    b[8] = g.clock_seq_hi_and_reserved;
    b[9] = g.clock_seq_low;
    for (int i = 0; i < 6; ++i) b[10 + i] = g.node[i];
}

}  // namespace

namespace HostInternal {

API_Guid NextGuid()
{
    UInt8 b[16];
    UInt64 hi = NextRandom(), lo = NextRandom();
    for (int i = 0; i < 8; ++i) {
        b[i] = UInt8(hi >> (56 - 8 * i));
        b[8 + i] = UInt8(lo >> (56 - 8 * i));
    }
    b[6] = UInt8((b[6] & 0x0F) | 0x40);
    b[8] = UInt8((b[8] & 0x3F) | 0x80);
    return FromCanonicalBytes(b);
}

void ResetGuidSource(UInt64 seed) { g_guidState = seed; }

}  // namespace HostInternal

namespace GS {

Guid::Guid() { std::memset(bytes, 0, sizeof bytes); }

namespace {

// The canonical 8-4-4-4-12 form, any case, and nothing else: a text is parsed whole, so one
// with anything after its 36 characters (a NUL included) is no GUID.
template <typename Unit>
bool ParseCanonical(const Unit* text, size_t length, UInt8 parsed[16])
{
    if (text == nullptr || length != 36) return false;
    int nibble = 0;
    for (size_t pos = 0; pos < 36; ++pos) {
        const unsigned c = static_cast<std::make_unsigned_t<Unit>>(text[pos]);
        if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
            if (c != '-') return false;
            continue;
        }
        int v = c < 128 ? HexValue(char(c)) : -1;
        if (v < 0) return false;
        if (nibble % 2 == 0)
            parsed[nibble / 2] = UInt8(v << 4);
        else
            parsed[nibble / 2] = UInt8(parsed[nibble / 2] | v);
        ++nibble;
    }
    return true;
}

}  // namespace

Guid::Guid(const char* text)
{
    std::memset(bytes, 0, sizeof bytes);
    UInt8 parsed[16];
    if (text == nullptr || !ParseCanonical(text, std::strlen(text), parsed)) return;
    API_Guid g = FromCanonicalBytes(parsed);
    std::memcpy(bytes, &g, 16);
}

Guid::Guid(const UniString& text)
{
    std::memset(bytes, 0, sizeof bytes);
    UInt8 parsed[16];
    if (!ParseCanonical(text.Units().data(), text.Units().size(), parsed)) return;
    API_Guid g = FromCanonicalBytes(parsed);
    std::memcpy(bytes, &g, 16);
}

Guid::Guid(const API_Guid& guid) { std::memcpy(bytes, &guid, 16); }

std::string Guid::ToString() const
{
    API_Guid g;
    std::memcpy(&g, bytes, 16);
    UInt8 b[16];
    ToCanonicalBytes(g, b);
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

UniString Guid::ToUniString() const { return UniString(ToString()); }

bool Guid::IsNull() const
{
    for (UInt8 b : bytes)
        if (b != 0) return false;
    return true;
}

void Guid::Generate()
{
    API_Guid g = HostInternal::NextGuid();
    std::memcpy(bytes, &g, 16);
}

API_Guid Guid::ToAPIGuid() const
{
    API_Guid g;
    std::memcpy(&g, bytes, 16);
    return g;
}

}  // namespace GS

API_Guid GSGuid2APIGuid(const GS::Guid& guid) { return guid.ToAPIGuid(); }
GS::Guid APIGuid2GSGuid(const API_Guid& guid) { return GS::Guid(guid); }
