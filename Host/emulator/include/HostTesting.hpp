#pragma once

// The emulated host's test interface: reset and seed the project, set defaults, inject host
// failures and read back what happened. Tests and the emulated host application use it; the
// add-on never includes it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ACAPinc.h"

namespace HostTesting {

// ---- Project ------------------------------------------------------------------------------

// Back to the embedded default project: stories, attributes and defaults, no elements, empty
// undo history, no failures, empty call log. The GUIDs of new elements follow from a fixed
// seed, so that test runs repeat exactly, or from a random source, as the host application
// starts: a GUID kept from an earlier run (in a restored conversation) names no element then.
enum class GuidSeed { Fixed, Random };
void ResetProject(GuidSeed guids = GuidSeed::Fixed);

struct StoryFixture {
    Int16 index;
    double level;
    std::string name;  // UTF-8
};
// Replaces the story list (indices ascending; the first may be negative).
void SetStories(const std::vector<StoryFixture>& stories);
std::vector<StoryFixture> GetStories();
Int16 CurrentStory();
// The project name 'PROJ' reports; no value makes the project untitled.
void SetProjectName(const std::optional<std::string>& name);

// ---- Elements -------------------------------------------------------------------------------

// A valid record of the type, ready to store: the type's defaults plus geometry that the host
// accepts (a 5 m wall, a 4 x 3 m slab, ...). memo, when given, receives matching memo data
// (the caller disposes it).
API_Element MakeElement(API_ElemTypeID typeID, API_ElementMemo* memo = nullptr);

// Stores an element as it is, bypassing the host's checks, undo and the call log. A null
// header GUID gets a fresh one. Returns the element's GUID.
API_Guid AddElement(const API_Element& elem, const API_ElementMemo* memo = nullptr);
// MakeElement + AddElement; doors and windows need owner (a wall).
API_Guid AddFixture(API_ElemTypeID typeID, Int16 floorInd = 0, const API_Guid& owner = APINULLGuid);
API_Guid AddWall(double x1, double y1, double x2, double y2, Int16 floorInd = 0);

// Reads back a stored element without logging or failures. False when there is none.
bool GetElement(const API_Guid& guid, API_Element* elem);
// Copies the stored memo into new handles (dispose with ACAPI_DisposeElemMemoHdls).
bool GetElementMemo(const API_Guid& guid, API_ElementMemo* memo);
// The stored polygon, coordinates 1..n (slot 0 left out).
std::vector<API_Coord> GetPolygon(const API_Guid& guid);
bool ElementExists(const API_Guid& guid);
size_t ElementCount();
size_t ElementCount(API_ElemTypeID typeID);
// Every GUID in creation order.
std::vector<API_Guid> AllElements();

// ---- Defaults ---------------------------------------------------------------------------------

// Replaces the defaults of elem.header.type.typeID. memo (deep-copied), when given, is what
// ACAPI_Element_GetDefaults hands out with the record; null leaves the type's default memo.
void SetDefaults(const API_Element& elem, const API_ElementMemo* memo = nullptr);
API_Element GetDefaults(API_ElemTypeID typeID);
// The number of column or beam segments the defaults give (0, 1 or more).
void SetDefaultSegmentCount(API_ElemTypeID typeID, Int32 count);

// ---- Attributes ---------------------------------------------------------------------------

// Stores the attribute at header.index (which may leave gaps), replacing what is there.
void SetAttribute(const API_Attribute& attribute);
// Marks an index as deleted: Get answers APIERR_DELETED, the count keeps counting it.
void DeleteAttribute(API_AttrTypeID typeID, Int32 index);
bool GetAttribute(API_AttrTypeID typeID, Int32 index, API_Attribute* attribute);
// A named record of any attribute type, index 0 (ready for ACAPI_Attribute_Create, or set
// header.index and store it with SetAttribute).
API_Attribute MakeAttribute(API_AttrTypeID typeID, const std::string& name);
API_Attribute MakeLayer(const std::string& name, Int16 flags = 0);
API_Attribute MakePen(Int32 index, double red, double green, double blue, double width = 0.25);

// ---- Library ----------------------------------------------------------------------------------

// Loads a library part (type API_LibTypeID, default sizes a x b) and returns its index.
Int32 AddLibraryPart(Int32 typeID, const std::string& name, double a, double b);

// ---- Failure injection ----------------------------------------------------------------------

// A rule makes matching calls of a function return code without doing anything. Unset
// selectors match every call.
struct FailureRule {
    std::string function;  // e.g. "ACAPI_Element_Create"
    GSErrCode code = APIERR_GENERAL;
    int skip = 0;                     // matching calls that pass before the first failure
    int times = -1;                   // failures before the rule retires; -1 never retires
    std::optional<API_Guid> guid;     // element the call names
    std::optional<Int32> typeID;      // element or attribute type
    std::optional<Int32> index;       // attribute, library-part or story index
    std::optional<std::string> name;  // attribute or library-part name (UTF-8)
};
void InjectFailure(const FailureRule& rule);
// The next call of function (after skip passing calls) fails with code.
void FailNextCall(const std::string& function, GSErrCode code, int skip = 0);
// The nth next handle or pointer allocation (1 = the next) returns null; count in a row.
void FailAllocation(int nth = 1, int count = 1);
void ClearFailures();

// ---- Observation ----------------------------------------------------------------------------

struct CallRecord {
    std::string function;
    std::string detail;  // key arguments, e.g. "type=1" or a GUID
    GSErrCode result;
};
std::vector<CallRecord> CallLog();
int CallCount(const std::string& function);
void ClearCallLog();

// Names of the recorded undo steps, oldest first.
std::vector<std::string> UndoStepNames();
// Undoes the last step; APIERR_GENERAL when there is none or a command is running.
GSErrCode Undo();
// How many steps the history keeps, the oldest dropped first (ResetProject restores the
// default, 20).
void SetUndoLimit(size_t steps);
// How many bytes of step records it keeps, the oldest dropped first but the newest always kept
// (ResetProject restores the default, 1 GiB), and how many it holds now.
void SetUndoBudget(size_t bytes);
size_t UndoHistoryBytes();
bool InUndoableCommand();

// Host calls belong on the host's main thread: the thread that last reset the project, or the
// one named with SetMainThread (call it on the thread that drains the main queue). Calls from
// any other thread are counted, across resets of the project and of the call log, until
// ClearOffThreadCallCount: a count cleared mid-test would hide a call made before.
void SetMainThread();
Int64 OffThreadCallCount();
void ClearOffThreadCallCount();

// Live memory handles and pointers, and live IO::Location objects.
Int64 LiveHandleCount();
Int64 LiveLocationCount();
// Kills of handles or pointers the host never handed out (or already freed).
Int64 BadFreeCount();

// ---- Edit menu, project revision and working extent ----------------------------------------

// Makes the last undone step again; APIERR_GENERAL when there is none or a command is running.
// A new step ends what can be redone.
GSErrCode Redo();
// Names of the steps Redo would make again, the next one last.
std::vector<std::string> RedoStepNames();

// Moves on whenever the project changes as a whole (a committed command, an undo, a redo, a
// reset). Any thread.
std::uint64_t ProjectRevision();
// Waits until the revision differs from seen or timeoutMs pass; returns the revision. Any thread.
std::uint64_t WaitForProjectChange(std::uint64_t seen, int timeoutMs);

// How far from the origin (metres, along either axis) the host keeps points and sizes.
double WorkingExtent();
// ---- Story settings as a damaged host might hand them out --------------------------------

// How 'GSTO' fills the story list: every record (the default), no handle at all, or one
// record fewer than first..last holds. ResetProject goes back to Full.
enum class StoryListShape { Full, Null, Short };
void SetStoryListShape(StoryListShape shape);

}  // namespace HostTesting
