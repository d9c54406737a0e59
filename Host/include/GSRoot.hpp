#pragma once

// The host's foundation types: fixed-width integers, GUIDs, UTF-16 strings, arrays
// and relocatable memory handles.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

typedef int8_t Int8;
typedef uint8_t UInt8;
typedef int16_t Int16;
typedef uint16_t UInt16;
typedef int32_t Int32;
typedef uint32_t UInt32;
typedef int64_t Int64;
typedef uint64_t UInt64;
typedef UInt32 USize;
typedef Int64 GSSize;

typedef Int32 GSErrCode;
constexpr GSErrCode NoError = 0;

typedef char* GSPtr;
typedef const char* GSConstPtr;
typedef char** GSHandle;
typedef const char* const* GSConstHandle;

// Character codes of 8-bit text. The default code is UTF-8 in this host.
typedef Int32 GSCharCode;
constexpr GSCharCode CC_Default = 0;
constexpr GSCharCode CC_UTF8 = 0;

constexpr USize MaxUSize = 0xFFFFFFFFu;

inline void BNZeroMemory(void* p, size_t n) { std::memset(p, 0, n); }
template <typename T>
inline void BNClear(T& record)
{
    std::memset(static_cast<void*>(&record), 0, sizeof(T));
}

// ---------------------------------------------------------------------------------------------
// GUIDs

// The element, attribute and view identifier as the add-on interface carries it: 16 plain bytes.
struct API_Guid {
    UInt32 time_low;
    UInt16 time_mid;
    UInt16 time_hi_and_version;
    UInt8 clock_seq_hi_and_reserved;
    UInt8 clock_seq_low;
    UInt8 node[6];
};
static_assert(sizeof(API_Guid) == 16, "API_Guid is 16 bytes");

constexpr API_Guid APINULLGuid = {0, 0, 0, 0, 0, {0, 0, 0, 0, 0, 0}};

inline bool operator==(const API_Guid& a, const API_Guid& b) { return std::memcmp(&a, &b, sizeof(API_Guid)) == 0; }
inline bool operator!=(const API_Guid& a, const API_Guid& b) { return !(a == b); }
inline bool operator<(const API_Guid& a, const API_Guid& b) { return std::memcmp(&a, &b, sizeof(API_Guid)) < 0; }

namespace std {
template <>
struct hash<API_Guid> {
    size_t operator()(const API_Guid& g) const noexcept
    {
        UInt64 a, b;
        std::memcpy(&a, &g, 8);
        std::memcpy(&b, reinterpret_cast<const char*>(&g) + 8, 8);
        return static_cast<size_t>(a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E019ull + (a << 6) + (a >> 2)));
    }
};
}  // namespace std

namespace GS {

typedef char16_t uchar_t;

class UniString;

class Guid {
public:
    Guid();                                  // the null GUID
    explicit Guid(const char* text);         // canonical 8-4-4-4-12 hex, any case; anything else: null
    explicit Guid(const std::string& text);  // the whole text, NULs included
    explicit Guid(const UniString& text);
    explicit Guid(const API_Guid& guid);

    UniString ToUniString() const;  // canonical upper-case text
    std::string ToString() const;
    bool IsNull() const;
    void Generate();  // a fresh random GUID

    API_Guid ToAPIGuid() const;
    bool operator==(const Guid& other) const { return std::memcmp(bytes, other.bytes, 16) == 0; }
    bool operator!=(const Guid& other) const { return !(*this == other); }
    bool operator<(const Guid& other) const { return std::memcmp(bytes, other.bytes, 16) < 0; }

    UInt8 bytes[16];
};

// ---------------------------------------------------------------------------------------------
// Strings

size_t ucslen(const uchar_t* s);
// Unbounded copy, including the terminator. The caller guarantees the room.
uchar_t* ucscpy(uchar_t* dst, const uchar_t* src);
// Copies at most capacity - 1 units and always terminates (capacity > 0); never splits a
// surrogate pair. Returns the number of units copied, terminator excluded.
size_t ucsncpy(uchar_t* dst, const uchar_t* src, size_t capacity);

// A byte string handed back by UniString::ToCStr; Get() stays valid while the holder lives.
class CStrHolder {
public:
    explicit CStrHolder(std::string text) : text_(std::move(text)) {}
    const char* Get() const { return text_.c_str(); }
    operator const char*() const { return text_.c_str(); }

private:
    std::string text_;
};

// A UTF-16 string handed back by UniString::ToUStr.
class UStrHolder {
public:
    explicit UStrHolder(std::u16string text) : text_(std::move(text)) {}
    const uchar_t* Get() const { return text_.c_str(); }
    operator const uchar_t*() const { return text_.c_str(); }

private:
    std::u16string text_;
};

// The host's string: UTF-16 inside; 8-bit text in character code 0 is UTF-8.
class UniString {
public:
    UniString() = default;
    UniString(const char* text, GSCharCode code = CC_Default);
    UniString(const std::string& text, GSCharCode code = CC_Default);
    UniString(const uchar_t* text);
    UniString(const uchar_t* text, USize length);
    explicit UniString(std::u16string text) : units_(std::move(text)) {}

    CStrHolder ToCStr(USize from = 0, USize range = MaxUSize, GSCharCode code = CC_Default, Int32 errMode = 0) const;
    UStrHolder ToUStr(USize from = 0, USize range = MaxUSize) const;
    std::string ToStdString() const;  // UTF-8

    UniString ToLowerCase() const;
    UniString ToUpperCase() const;
    bool Contains(const UniString& needle) const;
    bool BeginsWith(const UniString& prefix) const;
    bool EndsWith(const UniString& suffix) const;
    UniString GetSubstring(USize from, USize length) const;

    USize GetLength() const { return static_cast<USize>(units_.size()); }
    bool IsEmpty() const { return units_.empty(); }
    void Clear() { units_.clear(); }
    uchar_t operator[](USize index) const { return units_[index]; }
    const std::u16string& Units() const { return units_; }

    UniString& Append(const UniString& other)
    {
        units_ += other.units_;
        return *this;
    }
    UniString& operator+=(const UniString& other) { return Append(other); }
    UniString operator+(const UniString& other) const
    {
        UniString r(*this);
        r += other;
        return r;
    }
    bool operator==(const UniString& other) const { return units_ == other.units_; }
    bool operator!=(const UniString& other) const { return units_ != other.units_; }
    bool operator<(const UniString& other) const { return units_ < other.units_; }

private:
    std::u16string units_;
};

// UTF-8 <-> UTF-16. Malformed UTF-8 bytes and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

// ---------------------------------------------------------------------------------------------
// Containers

template <typename T>
class Array {
public:
    Array() = default;
    Array(std::initializer_list<T> items) : items_(items) {}

    void Push(const T& item) { items_.push_back(item); }
    void Push(T&& item) { items_.push_back(std::move(item)); }
    void Insert(USize index, const T& item) { items_.insert(items_.begin() + index, item); }
    void Delete(USize index) { items_.erase(items_.begin() + index); }
    void DeleteLast() { items_.pop_back(); }
    void Clear() { items_.clear(); }
    void SetSize(USize size) { items_.resize(size); }
    void EnsureCapacity(USize capacity) { items_.reserve(capacity); }

    USize GetSize() const { return static_cast<USize>(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    T& operator[](USize index) { return items_[index]; }
    const T& operator[](USize index) const { return items_[index]; }
    T& GetFirst() { return items_.front(); }
    T& GetLast() { return items_.back(); }
    const T& GetFirst() const { return items_.front(); }
    const T& GetLast() const { return items_.back(); }
    bool Contains(const T& item) const
    {
        for (const T& x : items_)
            if (x == item) return true;
        return false;
    }

    typename std::vector<T>::iterator begin() { return items_.begin(); }
    typename std::vector<T>::iterator end() { return items_.end(); }
    typename std::vector<T>::const_iterator begin() const { return items_.begin(); }
    typename std::vector<T>::const_iterator end() const { return items_.end(); }

    bool operator==(const Array& other) const { return items_ == other.items_; }

private:
    std::vector<T> items_;
};

template <typename A, typename B>
struct Pair {
    A first;
    B second;
    Pair() = default;
    Pair(const A& a, const B& b) : first(a), second(b) {}
};

}  // namespace GS

// GUID conversions between the two GUID types.
API_Guid GSGuid2APIGuid(const GS::Guid& guid);
GS::Guid APIGuid2GSGuid(const API_Guid& guid);

// ---------------------------------------------------------------------------------------------
// Memory handles and pointers. A handle is a pointer to a master pointer that the host may
// move when the block is resized. Every live handle and pointer is counted.

constexpr Int32 ALLOCATE_CLEAR = 2;  // zero-fill the new block

GSHandle BMAllocateHandle(GSSize size, Int32 flags, Int32 reserved);
GSHandle BMReallocHandle(GSHandle handle, GSSize newSize, Int32 flags, Int32 reserved);
GSErrCode BMKillHandle(GSHandle* handle);      // tolerates null; sets the handle to null
GSSize BMGetHandleSize(GSConstHandle handle);  // 0 for a null handle
GSErrCode BMHandleToHandle(GSConstHandle source, GSHandle* copy);

GSPtr BMAllocatePtr(GSSize size, Int32 flags, Int32 reserved);
GSErrCode BMKillPtr(GSPtr* ptr);  // tolerates null; sets the pointer to null
GSSize BMGetPtrSize(GSConstPtr ptr);

// Typed conveniences: BMKillHandle(reinterpret_cast<GSHandle*>(&memo.coords)) spelled shorter.
template <typename T>
inline GSErrCode BMKillHandle(T*** handle)
{
    return BMKillHandle(reinterpret_cast<GSHandle*>(handle));
}
template <typename T>
inline GSSize BMGetHandleSize(T** handle)
{
    return BMGetHandleSize(reinterpret_cast<GSConstHandle>(handle));
}
template <typename T>
inline GSErrCode BMKillPtr(T** ptr)
{
    return BMKillPtr(reinterpret_cast<GSPtr*>(ptr));
}
