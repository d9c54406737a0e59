// GS::Guid: the host's GUIDs, their canonical text both ways, and the generator that gives
// new elements theirs.

#include <chrono>
#include <cstring>
#include <exception>
#include <random>
#include <type_traits>

#include "GSRoot.hpp"
#include "gs/GuidSource.hpp"

namespace {

// 64 bits from the system's random source; the clock should there be none.
UInt64 RandomSeed()
{
    try {
        std::random_device source;
        return (UInt64(source()) << 32) ^ UInt64(source());
    } catch (const std::exception&) {
        return UInt64(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    }
}

// Set on first use, whichever static initialiser asks first.
UInt64& GuidState()
{
    static UInt64 state = RandomSeed();
    return state;
}

// splitmix64: a small, well-mixed sequence; version and variant bits make the text look like
// a random (version 4) GUID.
UInt64 NextRandom()
{
    UInt64 z = (GuidState() += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
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

void ResetGuidSource(UInt64 seed) { GuidState() = seed; }

void SeedGuidSourceAtRandom() { GuidState() = RandomSeed(); }

}  // namespace HostInternal

namespace GS {

Guid::Guid() { std::memset(bytes, 0, sizeof bytes); }

namespace {

// Where each byte's two digits stand in the 8-4-4-4-12 text.
constexpr size_t kDigitAt[16] = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};

// Tables instead of printf and per-character tests: GUID text is made and read for every
// element a tool reports or is given, so both ways are a few table reads per byte.
struct HexTables {
    char pairs[256][2] = {};      // the two upper-case digits of each byte value
    signed char value[256] = {};  // each character's digit value, -1 for a non-digit
    constexpr HexTables()
    {
        constexpr char digits[] = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            pairs[b][0] = digits[b >> 4];
            pairs[b][1] = digits[b & 15];
            value[b] = -1;
        }
        for (int d = 0; d < 16; ++d) {
            value[static_cast<unsigned char>(digits[d])] = static_cast<signed char>(d);
            if (d >= 10) value[digits[d] - 'A' + 'a'] = static_cast<signed char>(d);
        }
    }
};
constexpr HexTables kHex;

template <typename Text>
Text FormatCanonical(const UInt8 (&bytes)[16])
{
    API_Guid g;
    std::memcpy(&g, bytes, 16);
    UInt8 b[16];
    ToCanonicalBytes(g, b);
    Text text(36, '-');
    for (size_t i = 0; i < 16; ++i) {
        text[kDigitAt[i]] = static_cast<typename Text::value_type>(kHex.pairs[b[i]][0]);
        text[kDigitAt[i] + 1] = static_cast<typename Text::value_type>(kHex.pairs[b[i]][1]);
    }
    return text;
}

// The canonical 8-4-4-4-12 form, any case, and nothing else: a text is parsed whole, so one
// with anything after its 36 characters (a NUL included) is no GUID.
template <typename Unit>
bool ParseCanonical(const Unit* text, size_t length, UInt8 parsed[16])
{
    if (text == nullptr || length != 36) return false;
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
    for (size_t i = 0; i < 16; ++i) {
        const unsigned hi = static_cast<std::make_unsigned_t<Unit>>(text[kDigitAt[i]]);
        const unsigned lo = static_cast<std::make_unsigned_t<Unit>>(text[kDigitAt[i] + 1]);
        if (hi > 255 || lo > 255) return false;
        const int high = kHex.value[hi], low = kHex.value[lo];
        if ((high | low) < 0) return false;
        parsed[i] = UInt8((high << 4) | low);
    }
    return true;
}

// The GUID the text names, or the null GUID.
template <typename Unit>
void ParseText(const Unit* text, size_t length, UInt8 (&bytes)[16])
{
    std::memset(bytes, 0, 16);
    UInt8 parsed[16];
    if (!ParseCanonical(text, length, parsed)) return;
    const API_Guid g = FromCanonicalBytes(parsed);
    std::memcpy(bytes, &g, 16);
}

}  // namespace

Guid::Guid(const char* text) { ParseText(text, text == nullptr ? 0 : std::strlen(text), bytes); }

Guid::Guid(const std::string& text) { ParseText(text.data(), text.size(), bytes); }

Guid::Guid(const UniString& text) { ParseText(text.Units().data(), text.Units().size(), bytes); }

Guid::Guid(const API_Guid& guid) { std::memcpy(bytes, &guid, 16); }

std::string Guid::ToString() const { return FormatCanonical<std::string>(bytes); }

UniString Guid::ToUniString() const { return UniString(FormatCanonical<std::u16string>(bytes)); }

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
