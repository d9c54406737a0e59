#include "project/StoredMemo.hpp"

namespace HostInternal {

namespace {

// Where each part lives in API_ElementMemo and whether it is a handle or a plain pointer.
struct PartPlace {
    size_t offset;
    bool isHandle;
    UInt64 maskBit;
};

const PartPlace kPlaces[MemoPartCount] = {
    {offsetof(API_ElementMemo, coords), true, APIMemoMask_Polygon},
    {offsetof(API_ElementMemo, pends), true, APIMemoMask_Polygon},
    {offsetof(API_ElementMemo, parcs), true, APIMemoMask_Polygon},
    {offsetof(API_ElementMemo, textContent), true, APIMemoMask_TextContent},
    {offsetof(API_ElementMemo, params), true, APIMemoMask_AddPars},
    {offsetof(API_ElementMemo, columnSegments), false, APIMemoMask_ColumnSegment},
    {offsetof(API_ElementMemo, beamSegments), false, APIMemoMask_BeamSegment},
    {offsetof(API_ElementMemo, dimElems), true, APIMemoMask_DimElems},
    {offsetof(API_ElementMemo, bezierDirs), true, APIMemoMask_BezierDirs},
    {offsetof(API_ElementMemo, pivotPolyCoords), true, APIMemoMask_RoofPivot},
    {offsetof(API_ElementMemo, pivotPolyPends), true, APIMemoMask_RoofPivot},
};

void** Slot(API_ElementMemo* memo, MemoPart part)
{
    return reinterpret_cast<void**>(reinterpret_cast<char*>(memo) + kPlaces[part].offset);
}

void* const* Slot(const API_ElementMemo* memo, MemoPart part)
{
    return reinterpret_cast<void* const*>(reinterpret_cast<const char*>(memo) + kPlaces[part].offset);
}

}  // namespace

size_t StoredMemo::Bytes() const
{
    size_t bytes = sizeof(StoredMemo);
    for (const auto& part : parts)
        if (part) bytes += part->capacity();
    return bytes;
}

bool StoredMemo::IsEmpty() const
{
    for (const auto& p : parts)
        if (p) return false;
    return true;
}

UInt64 MemoPartMaskBit(MemoPart part) { return kPlaces[part].maskBit; }

StoredMemo CopyFromMemo(const API_ElementMemo* memo)
{
    StoredMemo stored;
    if (memo == nullptr) return stored;
    for (int i = 0; i < MemoPartCount; ++i) {
        MemoPart part = MemoPart(i);
        void* member = *Slot(memo, part);
        if (member == nullptr) continue;
        const char* data;
        GSSize size;
        if (kPlaces[part].isHandle) {
            GSConstHandle h = reinterpret_cast<GSConstHandle>(member);
            size = BMGetHandleSize(h);
            data = size > 0 ? *h : nullptr;
        } else {
            data = static_cast<const char*>(member);
            size = BMGetPtrSize(data);
        }
        std::vector<char> bytes(size_t(size > 0 ? size : 0));
        if (!bytes.empty() && data != nullptr) std::memcpy(bytes.data(), data, bytes.size());
        stored.parts[part] = std::move(bytes);
    }
    return stored;
}

GSErrCode CopyToMemo(const StoredMemo& stored, UInt64 mask, API_ElementMemo* memo)
{
    if (memo == nullptr) return NoError;
    for (int i = 0; i < MemoPartCount; ++i) {
        MemoPart part = MemoPart(i);
        if (!stored.parts[part] || (mask & kPlaces[part].maskBit) == 0) continue;
        const std::vector<char>& bytes = *stored.parts[part];
        void** slot = Slot(memo, part);
        if (kPlaces[part].isHandle) {
            GSHandle h = BMAllocateHandle(GSSize(bytes.size()), ALLOCATE_CLEAR, 0);
            if (h == nullptr) return APIERR_MEMFULL;
            if (!bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
            *slot = h;
        } else {
            GSPtr p = BMAllocatePtr(GSSize(bytes.size()), ALLOCATE_CLEAR, 0);
            if (p == nullptr) return APIERR_MEMFULL;
            if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
            *slot = p;
        }
    }
    return NoError;
}

void DisposeMemo(API_ElementMemo* memo)
{
    if (memo == nullptr) return;
    for (int i = 0; i < MemoPartCount; ++i) {
        MemoPart part = MemoPart(i);
        void** slot = Slot(memo, part);
        if (*slot == nullptr) continue;
        if (kPlaces[part].isHandle) {
            GSHandle h = reinterpret_cast<GSHandle>(*slot);
            BMKillHandle(&h);
        } else {
            GSPtr p = static_cast<GSPtr>(*slot);
            BMKillPtr(&p);
        }
        *slot = nullptr;
    }
}

}  // namespace HostInternal
