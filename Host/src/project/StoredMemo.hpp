#pragma once

// The host's own copy of an element's memo: every handle or pointer of API_ElementMemo as a
// byte block (absent when the memo's member was null). Immutable once stored, so undo steps
// and copies of elements can share it.

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "ACAPinc.h"

namespace HostInternal {

enum MemoPart {
    MemoCoords,
    MemoPends,
    MemoParcs,
    MemoTextContent,
    MemoParams,
    MemoColumnSegments,
    MemoBeamSegments,
    MemoDimElems,
    MemoBezierDirs,
    MemoPivotCoords,
    MemoPivotPends,
    MemoPartCount
};

struct StoredMemo {
    std::array<std::optional<std::vector<char>>, MemoPartCount> parts;

    bool Has(MemoPart part) const { return parts[part].has_value(); }
    bool IsEmpty() const;
    // The memory it holds, itself included.
    size_t Bytes() const;

    // The part as records of T (trailing bytes that do not fill a record are ignored).
    template <typename T>
    std::vector<T> Records(MemoPart part) const
    {
        std::vector<T> out;
        if (!parts[part]) return out;
        const std::vector<char>& bytes = *parts[part];
        out.resize(bytes.size() / sizeof(T));
        if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
        return out;
    }
    template <typename T>
    size_t Count(MemoPart part) const
    {
        return parts[part] ? parts[part]->size() / sizeof(T) : 0;
    }
    template <typename T>
    void SetRecords(MemoPart part, const std::vector<T>& records)
    {
        std::vector<char> bytes(records.size() * sizeof(T));
        if (!bytes.empty()) std::memcpy(bytes.data(), records.data(), bytes.size());
        parts[part] = std::move(bytes);
    }
};

typedef std::shared_ptr<const StoredMemo> MemoPtr;

// Bit of ACAPI_Element_GetMemo's mask that selects a part.
UInt64 MemoPartMaskBit(MemoPart part);

// Deep copy of every non-null handle and pointer of memo (null memo: empty).
StoredMemo CopyFromMemo(const API_ElementMemo* memo);

// Puts fresh handles and pointers for the parts selected by mask into memo; members of parts
// not selected or absent are left as they are. APIERR_MEMFULL when an allocation fails
// (whatever was allocated stays in the memo for the caller to dispose).
GSErrCode CopyToMemo(const StoredMemo& stored, UInt64 mask, API_ElementMemo* memo);

// Frees every handle and pointer of memo and nulls them.
void DisposeMemo(API_ElementMemo* memo);

}  // namespace HostInternal
