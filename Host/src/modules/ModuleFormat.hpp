#pragma once

// What the module writer and reader share: the magic bytes, the record sizes the layout stamp
// covers, the checksum and the set of attributes an element refers to.
//
// The file, little-endian, every count before what it counts:
//   magic (8 bytes) | version UInt32 | layout stamp UInt64 | project name: UInt32 n, n bytes UTF-8
//   stories:    UInt32 n, then n x (index Int16, level double, height double, UInt32 u, u UTF-16 units)
//   attributes: UInt32 n, then n x API_Attribute (the whole record)
//   elements:   UInt64 n, then n x (typeID Int32, UInt32 size, the first size bytes of the
//               record, UInt16 memo parts present (bit = MemoPart), per present part in
//               MemoPart order: UInt64 n, n bytes)
//   trailer:    checksum of everything before it (UInt64, see BodyChecksum) | "QEND"

#include <set>
#include <utility>

#include "ACAPinc.h"
#include "project/ElementStore.hpp"

namespace HostInternal {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "module files are written in little-endian byte order"
#endif

// A binary signature that text tools and wrong line-end conversions visibly break.
constexpr unsigned char kModuleMagic[8] = {'Q', 'M', 'O', 'D', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr unsigned char kModuleEnd[4] = {'Q', 'E', 'N', 'D'};

// Bytes of an element's record that the file carries: the record of its type (the rest of the
// union is zero), the whole union for a type without a record of its own.
size_t ElementRecordSize(Int32 typeID);

// A stamp over every record size the file depends on: a reader built with other records
// refuses the file instead of misreading it.
UInt64 ModuleLayoutStamp();

// 64-bit FNV-1a, continued from state.
constexpr UInt64 kChecksumStart = 0xCBF29CE484222325ull;
UInt64 Checksum(UInt64 state, const void* data, size_t size);

// The checksum in a file's trailer. Version 1 files carry FNV-1a, which goes a byte at a time
// and was half the time of a save or a read; later versions carry zlib's CRC-32 (several bytes
// per step), zero-extended. Older files are still checked with what they were written with.
class BodyChecksum {
public:
    explicit BodyChecksum(UInt32 version);
    void Add(const void* data, size_t size);
    UInt64 Value() const { return state_; }

private:
    bool fnv_;
    UInt64 state_;
};

typedef std::pair<Int32, Int32> AttributeKey;  // type, index
// Adds the attributes the element refers to (index > 0); building materials are not followed.
void CollectUsedAttributes(const StoredElement& element, std::set<AttributeKey>& used);

}  // namespace HostInternal
