// The library functions of the host: count, read and search the loaded library parts and
// hand out their default parameters, plus the marker part of each kind of opening.
#include "library/Library.hpp"

#include <cstring>

#include "HostTestingLibrary.hpp"
#include "navigator/NameFields.hpp"
#include "testing/HostCalls.hpp"

namespace HostInternal {

std::map<Int32, MarkerSetup>& MarkerSetups()
{
    static std::map<Int32, MarkerSetup>* setups = new std::map<Int32, MarkerSetup>;
    return *setups;
}

std::map<API_Guid, StoredMarker>& Markers()
{
    static std::map<API_Guid, StoredMarker>* markers = new std::map<API_Guid, StoredMarker>;
    return *markers;
}

namespace {

constexpr size_t kNameUnits = sizeof(API_LibPart::docu_UName) / sizeof(GS::uchar_t);

// Fills the caller's record from a stored part, with a fresh location the caller owns.
void FillRecord(const LibraryPartData& part, Int32 index, API_LibPart* record)
{
    record->typeID = part.typeID;
    record->index = index;
    GS::ucsncpy(record->docu_UName, part.name.c_str(), kNameUnits);
    const std::u16string fileName = part.name + u".gsm";
    GS::ucsncpy(record->file_UName, fileName.c_str(), kNameUnits);
    std::strncpy(record->ownUnID, part.ownUnID.c_str(), sizeof(record->ownUnID) - 1);
    std::strncpy(record->parentUnID, part.parentUnID.c_str(), sizeof(record->parentUnID) - 1);
    record->isPlaceable = part.placeable;
    record->missingDef = part.missing;
    record->location = new IO::Location("/Library/Quillmere Default Library/" + GS::Utf16ToUtf8(fileName));
}

}  // namespace

}  // namespace HostInternal

using namespace HostInternal;

GSErrCode ACAPI_LibPart_GetNum(Int32* count)
{
    ApiCall call("ACAPI_LibPart_GetNum", "");
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (count == nullptr) return call.Return(APIERR_BADPARS);
    *count = static_cast<Int32>(TheProject().Library().size());
    return call.Return(NoError);
}

GSErrCode ACAPI_LibPart_Get(API_LibPart* libPart)
{
    const Int32 index = libPart != nullptr ? libPart->index : 0;
    ApiCall call("ACAPI_LibPart_Get", "index=" + std::to_string(index), CallContext{{}, {}, index, {}});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (libPart == nullptr) return call.Return(APIERR_BADPARS);
    const LibraryPartData* part = TheProject().FindLibraryPart(index);
    if (part == nullptr) return call.Return(APIERR_BADINDEX);
    FillRecord(*part, index, libPart);
    return call.Return(NoError);
}

GSErrCode ACAPI_LibPart_Search(API_LibPart* libPart, bool createIfMissing, bool onlyPlaceable)
{
    if (libPart == nullptr) {
        ApiCall call("ACAPI_LibPart_Search", "null record");
        return call.Return(APIERR_BADPARS);
    }
    const std::string unID = NameField(libPart->ownUnID);
    const std::u16string name = NameField(libPart->docu_UName);
    const std::string nameText = GS::Utf16ToUtf8(name);
    ApiCall call("ACAPI_LibPart_Search",
                 (unID.empty() ? "name=" + nameText : "unID=" + unID) + (createIfMissing ? " create" : "") +
                     (onlyPlaceable ? " placeable" : ""),
                 CallContext{{}, {}, {}, unID.empty() ? nameText : unID});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);

    std::vector<LibraryPartData>& library = TheProject().Library();
    for (size_t i = 0; i < library.size(); ++i) {
        const LibraryPartData& part = library[i];
        const bool same = unID.empty() ? (!name.empty() && part.name == name) : part.ownUnID == unID;
        if (!same || (onlyPlaceable && !part.placeable)) continue;
        FillRecord(part, static_cast<Int32>(i + 1), libPart);
        return call.Return(NoError);
    }
    if (!createIfMissing || name.empty()) return call.Return(unID.empty() ? APIERR_BADNAME : APIERR_BADID);

    // As the real host does: an unknown name becomes a reference to a missing part, with no
    // sizes and no parameters, that objects can be placed with.
    LibraryPartData missing;
    missing.typeID = APILib_ObjectID;
    missing.name = name;
    missing.a = 0.0;
    missing.b = 0.0;
    missing.missing = true;
    library.push_back(missing);
    const size_t sizeWithReference = library.size();
    // Made inside a command, the reference goes when the command is rolled back or undone
    // (unless parts were loaded after it: their indices must not shift).
    TheProject().RecordUndo(
        [sizeWithReference] {
            std::vector<LibraryPartData>& parts = TheProject().Library();
            if (parts.size() == sizeWithReference && parts.back().missing) parts.pop_back();
        },
        [sizeWithReference, missing] {
            std::vector<LibraryPartData>& parts = TheProject().Library();
            if (parts.size() + 1 == sizeWithReference) parts.push_back(missing);
        });
    FillRecord(library.back(), static_cast<Int32>(library.size()), libPart);
    return call.Return(NoError);
}

GSErrCode ACAPI_LibPart_GetParams(Int32 libInd, double* a, double* b, Int32* addParNum, API_AddParType*** addPars)
{
    ApiCall call("ACAPI_LibPart_GetParams", "index=" + std::to_string(libInd), CallContext{{}, {}, libInd, {}});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    if (a == nullptr || b == nullptr || addParNum == nullptr || addPars == nullptr) return call.Return(APIERR_BADPARS);
    const LibraryPartData* part = TheProject().FindLibraryPart(libInd);
    if (part == nullptr) return call.Return(APIERR_BADINDEX);
    if (part->missing) return call.Return(APIERR_BADID);  // nothing to read for a part the library lacks

    const size_t count = part->params.size();
    GSHandle handle = BMAllocateHandle(static_cast<GSSize>(count * sizeof(API_AddParType)), ALLOCATE_CLEAR, 0);
    if (handle == nullptr) return call.Return(APIERR_MEMFULL);
    if (count > 0) std::memcpy(*handle, part->params.data(), count * sizeof(API_AddParType));
    *a = part->a;
    *b = part->b;
    *addParNum = static_cast<Int32>(count);
    *addPars = reinterpret_cast<API_AddParType**>(handle);
    return call.Return(NoError);
}

GSErrCode ACAPI_Goodies_GetMarkerParent(const API_ElemType& openingType, API_LibPart& markerPart)
{
    ApiCall call("ACAPI_Goodies_GetMarkerParent", "type=" + std::to_string(openingType.typeID),
                 CallContext{{}, openingType.typeID, {}, {}});
    if (GSErrCode injected = call.Injected()) return call.Return(injected);
    auto setup = MarkerSetups().find(openingType.typeID);
    if (setup == MarkerSetups().end() || setup->second.markerUnID.empty()) return call.Return(APIERR_BADID);
    BNClear(markerPart);
    std::strncpy(markerPart.ownUnID, setup->second.markerUnID.c_str(), sizeof(markerPart.ownUnID) - 1);
    return call.Return(NoError);
}

// ---- test interface

namespace HostTesting {

Int32 AddLibraryPart(const LibraryPartFixture& fixture)
{
    LibraryPartData part;
    part.typeID = fixture.typeID;
    part.name = GS::Utf8ToUtf16(fixture.name);
    part.ownUnID = fixture.unID;
    part.a = fixture.a;
    part.b = fixture.b;
    part.placeable = fixture.placeable;
    for (const auto& p : fixture.params) {
        part.params.push_back(MakeParameter(p.first.c_str(), APIParT_RealNum, p.second));
        part.params.back().index = static_cast<Int16>(part.params.size());
    }
    TheProject().Library().push_back(part);
    return static_cast<Int32>(TheProject().Library().size());
}

void ClearLibrary() { TheProject().Library().clear(); }

Int32 LibraryPartCount() { return static_cast<Int32>(TheProject().Library().size()); }

Int32 FindLibraryPart(const std::string& name)
{
    const std::u16string wanted = GS::Utf8ToUtf16(name);
    const std::vector<LibraryPartData>& library = TheProject().Library();
    for (size_t i = 0; i < library.size(); ++i)
        if (library[i].name == wanted) return static_cast<Int32>(i + 1);
    return 0;
}

std::vector<API_AddParType> LibraryPartParams(Int32 index)
{
    const LibraryPartData* part = TheProject().FindLibraryPart(index);
    return part != nullptr ? part->params : std::vector<API_AddParType>();
}

void SetMarkerPart(API_ElemTypeID openingType, const std::string& unID)
{
    MarkerSetups()[openingType].markerUnID = unID;
}

void SetMarkerDefaultsCarryParams(API_ElemTypeID openingType, bool carry)
{
    MarkerSetups()[openingType].defaultsCarryParams = carry;
}

std::vector<API_AddParType> MarkerDefaultParams(API_ElemTypeID openingType)
{
    return MarkerSetups()[openingType].defaultParams;
}

bool GetMarker(const API_Guid& opening, Int32* libInd, std::vector<API_AddParType>* params)
{
    if (!TheProject().FindElement(opening)) return false;
    auto it = Markers().find(opening);
    if (it == Markers().end()) return false;
    if (libInd != nullptr) *libInd = it->second.libInd;
    if (params != nullptr) *params = it->second.params;
    return true;
}

}  // namespace HostTesting
