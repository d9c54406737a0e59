#include "GSRoot.hpp"

namespace GS {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendUtf8(std::string& out, UInt32 cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, UInt32 cp)
{
    if (cp < 0x10000) {
        out += char16_t(cp);
    } else {
        cp -= 0x10000;
        out += char16_t(0xD800 | (cp >> 10));
        out += char16_t(0xDC00 | (cp & 0x3FF));
    }
}

// Lower-case mapping for the scripts the host's users name things in: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic.
char16_t LowerUnit(char16_t u)
{
    if (u >= 'A' && u <= 'Z') return char16_t(u + 32);
    if (u < 0xC0) return u;
    if (u <= 0xDE && u != 0xD7) return char16_t(u + 32);
    if (u >= 0x100 && u <= 0x137 && u % 2 == 0) return char16_t(u + 1);
    if (u >= 0x139 && u <= 0x148 && u % 2 == 1) return char16_t(u + 1);
    if (u >= 0x14A && u <= 0x177 && u % 2 == 0) return char16_t(u + 1);
    if (u == 0x178) return 0xFF;
    if ((u == 0x179 || u == 0x17B || u == 0x17D)) return char16_t(u + 1);
    if (u >= 0x391 && u <= 0x3A9 && u != 0x3A2) return char16_t(u + 32);
    if (u >= 0x410 && u <= 0x42F) return char16_t(u + 32);
    if (u >= 0x400 && u <= 0x40F) return char16_t(u + 80);
    return u;
}

char16_t UpperUnit(char16_t u)
{
    if (u >= 'a' && u <= 'z') return char16_t(u - 32);
    if (u < 0xE0) return u;
    if (u <= 0xFE && u != 0xF7) return char16_t(u - 32);
    if (u == 0xFF) return 0x178;
    if (u >= 0x101 && u <= 0x137 && u % 2 == 1) return char16_t(u - 1);
    if (u >= 0x13A && u <= 0x148 && u % 2 == 0) return char16_t(u - 1);
    if (u >= 0x14B && u <= 0x177 && u % 2 == 1) return char16_t(u - 1);
    if ((u == 0x17A || u == 0x17C || u == 0x17E)) return char16_t(u - 1);
    if (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2) return char16_t(u - 32);
    if (u >= 0x430 && u <= 0x44F) return char16_t(u - 32);
    if (u >= 0x450 && u <= 0x45F) return char16_t(u - 80);
    return u;
}

std::u16string Slice(const std::u16string& s, USize from, USize range)
{
    if (from >= s.size()) return std::u16string();
    return s.substr(from, range == MaxUSize ? std::u16string::npos : size_t(range));
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text)
{
    std::u16string out;
    out.reserve(text.size());
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size(), i = 0;
    while (i < n) {
        unsigned char c = s[i];
        UInt32 cp;
        int extra;
        if (c < 0x80) {
            out += char16_t(c);
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1F;
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            cp = c & 0x07;
            extra = 3;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        bool ok = true;
        int consumed = 0;
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (s[i + k] & 0x3F);
            ++consumed;
        }
        // Reject overlong forms, surrogates and values beyond U+10FFFF.
        if (ok && ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
                   (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            // One replacement for the lead byte and the continuation bytes that followed it.
            out += kReplacement;
            i += size_t(consumed) + 1;
            continue;
        }
        AppendUtf16(out, cp);
        i += size_t(extra) + 1;
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t u = text[i];
        if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((UInt32(u) - 0xD800) << 10) + (UInt32(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

size_t ucslen(const uchar_t* s)
{
    size_t n = 0;
    if (s == nullptr) return 0;
    while (s[n] != 0) ++n;
    return n;
}

uchar_t* ucscpy(uchar_t* dst, const uchar_t* src)
{
    size_t i = 0;
    do {
        dst[i] = src[i];
    } while (src[i++] != 0);
    return dst;
}

size_t ucsncpy(uchar_t* dst, const uchar_t* src, size_t capacity)
{
    if (dst == nullptr || capacity == 0) return 0;
    size_t n = 0;
    if (src != nullptr) {
        while (n + 1 < capacity && src[n] != 0) ++n;
        // A high surrogate whose partner did not fit would leave half a character.
        if (n > 0 && IsHighSurrogate(src[n - 1]) && src[n] != 0) --n;
        for (size_t i = 0; i < n; ++i) dst[i] = src[i];
    }
    dst[n] = 0;
    return n;
}

UniString::UniString(const char* text, GSCharCode) : units_(text ? Utf8ToUtf16(text) : std::u16string()) {}

UniString::UniString(const std::string& text, GSCharCode) : units_(Utf8ToUtf16(text)) {}

UniString::UniString(const uchar_t* text) : units_(text ? std::u16string(text, ucslen(text)) : std::u16string()) {}

UniString::UniString(const uchar_t* text, USize length) : units_(text ? std::u16string(text, length) : std::u16string())
{}

CStrHolder UniString::ToCStr(USize from, USize range, GSCharCode, Int32) const
{
    return CStrHolder(Utf16ToUtf8(Slice(units_, from, range)));
}

UStrHolder UniString::ToUStr(USize from, USize range) const { return UStrHolder(Slice(units_, from, range)); }

std::string UniString::ToStdString() const { return Utf16ToUtf8(units_); }

UniString UniString::ToLowerCase() const
{
    std::u16string out(units_);
    for (char16_t& u : out) u = LowerUnit(u);
    return UniString(std::move(out));
}

UniString UniString::ToUpperCase() const
{
    std::u16string out(units_);
    for (char16_t& u : out) u = UpperUnit(u);
    return UniString(std::move(out));
}

bool UniString::Contains(const UniString& needle) const { return units_.find(needle.units_) != std::u16string::npos; }

bool UniString::BeginsWith(const UniString& prefix) const
{
    return units_.compare(0, prefix.units_.size(), prefix.units_) == 0;
}

bool UniString::EndsWith(const UniString& suffix) const
{
    return units_.size() >= suffix.units_.size() &&
           units_.compare(units_.size() - suffix.units_.size(), suffix.units_.size(), suffix.units_) == 0;
}

UniString UniString::GetSubstring(USize from, USize length) const { return UniString(Slice(units_, from, length)); }

}  // namespace GS
