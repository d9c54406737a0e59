// Doors and windows with their markers: the defaults that come with a marker sub-element and
// the creation of an opening in its owner wall.
#include <cstring>
#include <memory>

#include "library/Library.hpp"
#include "project/ElementChecks.hpp"
#include "testing/HostCalls.hpp"

using namespace HostInternal;

namespace {

bool IsOpeningType(Int32 typeID) { return typeID == API_DoorID || typeID == API_WindowID; }

API_SubElement* FindMarker(UInt32 nSubElems, API_SubElement* subElems)
{
    for (UInt32 i = 0; subElems != nullptr && i < nSubElems; ++i)
        if (subElems[i].subType == APISubElement_MainMarker) return &subElems[i];
    return nullptr;
}

Int32 MarkerPartIndex(Int32 openingType)
{
    auto setup = MarkerSetups().find(openingType);
    if (setup == MarkerSetups().end()) return 0;
    const std::vector<LibraryPartData>& library = TheProject().Library();
    for (size_t i = 0; i < library.size(); ++i)
        if (!setup->second.markerUnID.empty() && library[i].ownUnID == setup->second.markerUnID)
            return static_cast<Int32>(i + 1);
    return 0;
}

// The marker's defaults: an object record on the marker part and, when so set up, the
// marker's default parameter list in a handle the caller owns.
GSErrCode FillMarkerDefaults(Int32 openingType, Int16 floorInd, API_SubElement& marker)
{
    BNClear(marker.subElem);
    marker.subElem.header.type = MakeElemType(API_ObjectID);
    marker.subElem.header.floorInd = floorInd;
    marker.subElem.object.libInd = MarkerPartIndex(openingType);
    const MarkerSetup& setup = MarkerSetups()[openingType];
    if (!setup.defaultsCarryParams) return NoError;
    const size_t count = setup.defaultParams.size();
    GSHandle handle = BMAllocateHandle(static_cast<GSSize>(count * sizeof(API_AddParType)), ALLOCATE_CLEAR, 0);
    if (handle == nullptr) return APIERR_MEMFULL;
    if (count > 0) std::memcpy(*handle, setup.defaultParams.data(), count * sizeof(API_AddParType));
    marker.memo.params = reinterpret_cast<API_AddParType**>(handle);
    return NoError;
}

}  // namespace

GSErrCode ACAPI_Element_GetDefaultsExt(API_Element* elem, API_ElementMemo* memo, UInt32 nSubElems,
                                       API_SubElement* subElems)
{
    const Int32 typeID = elem != nullptr ? elem->header.type.typeID : 0;
    ApiCall call("ACAPI_Element_GetDefaultsExt", "type=" + std::to_string(typeID), CallContext{{}, typeID, {}, {}});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (elem == nullptr || !IsOpeningType(typeID)) return call.Return(APIERR_BADID);
    auto defaults = TheProject().Defaults().find(typeID);
    if (defaults == TheProject().Defaults().end()) return call.Return(APIERR_BADID);

    API_Element record = defaults->second.record;
    record.header.type = elem->header.type;
    record.header.guid = APINULLGuid;
    *elem = record;
    if (memo != nullptr && defaults->second.memo) {
        if (GSErrCode err = CopyToMemo(*defaults->second.memo, APIMemoMask_All, memo)) return call.Return(err);
    }
    if (API_SubElement* marker = FindMarker(nSubElems, subElems)) {
        if (GSErrCode err = FillMarkerDefaults(typeID, elem->header.floorInd, *marker)) return call.Return(err);
    }
    return call.Return(NoError);
}

GSErrCode ACAPI_Element_CreateExt(API_Element* elem, API_ElementMemo* memo, UInt32 nSubElems, API_SubElement* subElems)
{
    const Int32 typeID = elem != nullptr ? elem->header.type.typeID : 0;
    API_Guid owner = APINULLGuid;
    if (elem != nullptr && typeID == API_DoorID)
        owner = elem->door.owner;
    else if (elem != nullptr && typeID == API_WindowID)
        owner = elem->window.owner;
    ApiCall call("ACAPI_Element_CreateExt", "type=" + std::to_string(typeID) + " owner=" + GuidText(owner),
                 CallContext{owner, typeID, {}, {}});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    Project& project = TheProject();
    if (!project.InCommand()) return call.Return(APIERR_NEEDSUNDOSCOPE);
    if (elem == nullptr || !IsOpeningType(typeID)) return call.Return(APIERR_BADID);

    API_Element record = *elem;
    record.header.guid = APINULLGuid;
    record.header.groupGuid = APINULLGuid;
    // An opening stands on its wall's story.
    if (const StoredElement* wall = project.FindElement(owner)) record.header.floorInd = wall->record.header.floorInd;
    auto stored = std::make_shared<StoredMemo>(CopyFromMemo(memo));
    if (GSErrCode code = CheckElement(project, record, *stored)) return call.Return(code);
    if (GSErrCode code = CheckHeader(project, record)) return call.Return(code);
    const API_Guid guid = project.InsertElement(record, std::move(stored));

    if (API_SubElement* marker = FindMarker(nSubElems, subElems)) {
        StoredMarker kept;
        kept.libInd = marker->subElem.object.libInd;
        if (marker->memo.params != nullptr) {
            kept.hadParams = true;
            const size_t count = static_cast<size_t>(BMGetHandleSize(marker->memo.params)) / sizeof(API_AddParType);
            kept.params.assign(*marker->memo.params, *marker->memo.params + count);
        }
        Markers()[guid] = kept;
        project.RecordUndo([guid] { Markers().erase(guid); }, [guid, kept] { Markers()[guid] = kept; });
    }
    elem->header.guid = guid;
    elem->header.floorInd = record.header.floorInd;
    return call.Return(NoError);
}
