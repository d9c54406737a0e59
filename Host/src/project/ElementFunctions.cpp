// Reading, creating and deleting elements; element defaults; memo disposal.

#include <set>

#include "project/ElementChecks.hpp"
#include "project/Project.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

// A wall's opening flags as the host keeps them: true while a door (window) stands in it,
// whatever added or removed the opening (a tool, an undo, a deletion of the opening).
void ReadOpeningFlags(const Project& project, API_Element& wall)
{
    wall.wall.hasDoor = false;
    wall.wall.hasWindow = false;
    for (const API_Guid& guid : project.Elements().DependentsOf(wall.header.guid)) {
        const StoredElement* opening = project.FindElement(guid);
        if (opening == nullptr) continue;
        if (opening->record.header.type.typeID == API_DoorID) wall.wall.hasDoor = true;
        if (opening->record.header.type.typeID == API_WindowID) wall.wall.hasWindow = true;
    }
}

std::string TypeDetail(Int32 typeID) { return "type=" + std::to_string(typeID); }

CallContext TypeContext(Int32 typeID)
{
    CallContext c;
    c.typeID = typeID;
    return c;
}

CallContext GuidContext(const API_Guid& guid)
{
    CallContext c;
    c.guid = guid;
    return c;
}

// The part becomes count copies of its first segment (a zeroed one when there is none); no part
// at all for a count of 0.
template <typename Segment>
void RepeatFirstSegment(StoredMemo& memo, MemoPart part, Int32 count)
{
    std::vector<Segment> segments = memo.Records<Segment>(part);
    Segment first;
    BNClear(first);
    if (!segments.empty()) first = segments[0];
    if (count > 0)
        memo.SetRecords(part, std::vector<Segment>(size_t(count), first));
    else
        memo.parts[part].reset();
}

// Column and beam defaults hand out as many copies of the first default segment as the
// configured segment count asks for.
void ApplySegmentCount(Project& project, Int32 typeID, API_Element& record, StoredMemo& memo)
{
    if (typeID != API_ColumnID && typeID != API_BeamID) return;
    auto it = project.DefaultSegmentCounts().find(typeID);
    Int32 count = it == project.DefaultSegmentCounts().end() ? 1 : it->second;
    if (typeID == API_ColumnID) {
        RepeatFirstSegment<API_ColumnSegmentType>(memo, MemoColumnSegments, count);
        record.column.nSegments = count;
    } else {
        RepeatFirstSegment<API_BeamSegmentType>(memo, MemoBeamSegments, count);
        record.beam.nSegments = count;
    }
}

}  // namespace

GSErrCode ACAPI_Element_GetDefaults(API_Element* elem, API_ElementMemo* memo)
{
    const Int32 typeID = elem ? elem->header.type.typeID : 0;
    ApiCall call("ACAPI_Element_GetDefaults", TypeDetail(typeID), TypeContext(typeID));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (elem == nullptr) return call.Return(APIERR_BADPARS);
    Project& project = TheProject();
    auto it = project.Defaults().find(typeID);
    if (!IsSupportedElementType(typeID) || it == project.Defaults().end()) return call.Return(APIERR_BADID);

    API_Element record = it->second.record;
    StoredMemo defaultMemo = it->second.memo ? *it->second.memo : StoredMemo();
    ApplySegmentCount(project, typeID, record, defaultMemo);
    // The caller's type descriptor stays, and so does a story it set beforehand.
    record.header.type = elem->header.type;
    if (elem->header.floorInd != 0) record.header.floorInd = elem->header.floorInd;
    record.header.guid = APINULLGuid;
    *elem = record;
    if (memo != nullptr) {
        GSErrCode code = CopyToMemo(defaultMemo, APIMemoMask_All, memo);
        if (code != NoError) {
            DisposeMemo(memo);
            return call.Return(code);
        }
    }
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_Create(API_Element* elem, API_ElementMemo* memo)
{
    const Int32 typeID = elem ? elem->header.type.typeID : 0;
    ApiCall call("ACAPI_Element_Create", TypeDetail(typeID), TypeContext(typeID));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (elem == nullptr) return call.Return(APIERR_BADPARS);
    Project& project = TheProject();
    if (!project.InCommand()) return call.Return(APIERR_NEEDSUNDOSCOPE);
    if (!IsSupportedElementType(typeID)) return call.Return(APIERR_BADID);

    API_Element record = *elem;
    record.header.guid = APINULLGuid;
    record.header.groupGuid = APINULLGuid;
    // An opening stands on its wall's story.
    const API_Guid owner = OwnerOf(record);
    if (owner != APINULLGuid) {
        if (const StoredElement* wall = project.FindElement(owner))
            record.header.floorInd = wall->record.header.floorInd;
    }
    auto stored = std::make_shared<StoredMemo>(CopyFromMemo(memo));
    if (GSErrCode code = CheckHeader(project, record)) return call.Return(code);
    if (GSErrCode code = CheckElement(project, record, *stored)) return call.Return(code);

    API_Guid guid = project.InsertElement(record, std::move(stored));
    elem->header.guid = guid;
    elem->header.floorInd = record.header.floorInd;
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_Get(API_Element* elem, UInt32)
{
    const API_Guid guid = elem ? elem->header.guid : APINULLGuid;
    ApiCall call("ACAPI_Element_Get", "", GuidContext(guid));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (elem == nullptr) return call.Return(APIERR_BADPARS);
    const StoredElement* stored = TheProject().FindElement(guid);
    if (stored == nullptr) return call.Return(APIERR_BADID);
    *elem = stored->record;
    if (elem->header.type.typeID == API_WallID) ReadOpeningFlags(TheProject(), *elem);
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_GetMemo(const API_Guid& guid, API_ElementMemo* memo, UInt64 mask)
{
    ApiCall call("ACAPI_Element_GetMemo", "", GuidContext(guid));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (memo == nullptr) return call.Return(APIERR_BADPARS);
    const StoredElement* stored = TheProject().FindElement(guid);
    if (stored == nullptr) return call.Return(APIERR_BADID);
    GSErrCode code = CopyToMemo(stored->Memo(), mask == 0 ? APIMemoMask_All : mask, memo);
    if (code != NoError) DisposeMemo(memo);
    return call.Return(code);
}

GSErrCode ACAPI_Element_Delete(const GS::Array<API_Guid>& guids)
{
    ApiCall call("ACAPI_Element_Delete", "count=" + std::to_string(guids.GetSize()));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    for (const API_Guid& guid : guids)
        if (GSErrCode injected = call.InjectedFor(GuidContext(guid))) return call.Return(injected);
    Project& project = TheProject();
    if (!project.InCommand()) return call.Return(APIERR_NEEDSUNDOSCOPE);
    // All or nothing: every GUID must name an element before anything goes.
    for (const API_Guid& guid : guids)
        if (project.FindElement(guid) == nullptr) return call.Return(APIERR_BADID);

    std::set<API_Guid> done;
    for (const API_Guid& guid : guids) {
        if (!done.insert(guid).second) continue;
        for (const API_Guid& opening : project.Elements().DependentsOf(guid))
            if (done.insert(opening).second) project.EraseElement(opening);
        project.EraseElement(guid);
    }
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_GetElemList(const API_ElemType& type, GS::Array<API_Guid>* guids, API_ElemFilterFlags,
                                    const API_Guid&)
{
    ApiCall call("ACAPI_Element_GetElemList", TypeDetail(type.typeID), TypeContext(type.typeID));
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (guids == nullptr) return call.Return(APIERR_BADPARS);
    if (type.typeID <= API_ZombieElemID || type.typeID > API_LastElemTypeID) return call.Return(APIERR_BADID);
    TheProject().Elements().AppendGuidsOfType(type.typeID, guids);
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_GetElemList(API_ElemTypeID typeID, GS::Array<API_Guid>* guids, API_ElemFilterFlags filterBits,
                                    const API_Guid& criterionGuid)
{
    return ACAPI_Element_GetElemList(MakeElemType(typeID), guids, filterBits, criterionGuid);
}

GSErrCode ACAPI_DisposeElemMemoHdls(API_ElementMemo* memo)
{
    ApiCall call("ACAPI_DisposeElemMemoHdls", "");
    DisposeMemo(memo);
    return call.Return(NoError);
}
