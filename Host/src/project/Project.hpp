#pragma once

// The open project of the emulated host: elements, attributes, stories, element defaults and
// the undo history. Everything behind the ACAPI functions works on this one object.
//
// Changing the project: inside an undoable command every change must go through the
// *ForChange / Insert / Erase functions below, which record the previous state of what they
// touch in the running undo step (copy on write: one copy per touched element or attribute,
// never the whole project). State that lives outside this model (added by other parts of the
// host) records its own restore (and redo) functions with RecordUndo. Every committed step,
// undo, redo and reset moves the project's revision on (ProjectRevision.hpp).
//
// Typical uses elsewhere in the host:
// - a new element: run CheckHeader and CheckElement (ElementChecks.hpp), then InsertElement
//   with a null header GUID (a copy of an element is the same with its record copied);
// - a changed element: ElementForChange(guid), then edit ->record, or ->EditMemo() for memo
//   data (never write through the shared memo pointer: an undo step may hold it);
// - doors and windows hang on their wall through their owner field: Elements().DependentsOf
//   finds them, and ACAPI_Element_Delete deletes them with the wall;
// - a stored element changes group only through SetElementGroup (Elements().MembersOf
//   indexes the groups).

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ACAPinc.h"
#include "project/ElementStore.hpp"
#include "project/Selection.hpp"
#include "project/StoredMemo.hpp"

namespace HostInternal {

class Documentation;  // navigator/Documentation.hpp

struct StoredAttribute {
    API_Attribute record;
    bool deleted = false;
};

// Attributes of one type by index; the count is the highest index. Every reader of a table walks
// the indices up to the count, so no index passes kMaxIndex.
struct AttributeTable {
    static constexpr Int32 kMaxIndex = 1 << 20;
    std::map<Int32, StoredAttribute> byIndex;
    Int32 Count() const { return byIndex.empty() ? 0 : byIndex.rbegin()->first; }
};

// Pens, layers, line types, fills, composites, surfaces and building materials.
bool IsAttributeType(Int32 typeID);

struct Story {
    Int16 index;
    double level;
    double height;
    std::u16string name;
};

struct StoryList {
    std::vector<Story> stories;  // ascending index
    Int16 current = 0;
    const Story* Find(Int16 index) const;
};

// A loaded library part. Index = position + 1.
struct LibraryPartData {
    Int32 typeID;  // API_LibTypeID
    std::u16string name;
    std::string ownUnID;
    std::string parentUnID;
    double a;  // default size along x
    double b;  // default size along y
    std::vector<API_AddParType> params;
    bool placeable = true;
    bool missing = false;  // a reference made by Search(createIfMissing)
};

// The defaults ACAPI_Element_GetDefaults hands out for one element type.
struct ElementDefaults {
    API_Element record;
    MemoPtr memo;  // may be null
};

// State kept outside the project model: how to take a change back and how to make it again
// (no redo: a step holding it cannot be redone).
struct ExtraRestore {
    std::function<void()> undo;
    std::function<void()> redo;
};

// An element as an undo step keeps it: its record up to the last byte that is not zero (the
// rest of the union is zero for all but the largest types, so a wall keeps a fifth of it), its
// memo shared and its order. A whole-project step holds one per element.
class ElementSnapshot {
public:
    explicit ElementSnapshot(const StoredElement& element);
    StoredElement Expand() const;
    // The memory it keeps alive beyond the project: itself, its record and its memo unless the
    // element as it is now (null: absent) still shares that memo.
    size_t Bytes(const StoredElement* now) const;

private:
    std::unique_ptr<char[]> record_;
    size_t size_ = 0;
    MemoPtr memo_;
    UInt64 order_ = 0;
    API_Guid sheet_ = APINULLGuid;
};

// What a step changed, as the state before it. Undoing a step gives its mirror image (the
// state the undo replaced), which is what redo restores.
struct UndoStep {
    std::string name;
    std::unordered_map<API_Guid, std::unique_ptr<ElementSnapshot>> elementsBefore;  // null: absent
    std::map<std::pair<Int32, Int32>, std::unique_ptr<StoredAttribute>> attributesBefore;
    std::unique_ptr<StoryList> storiesBefore;
    std::vector<ExtraRestore> extraRestores;  // run last to first
    size_t bytes = 0;                         // the memory it holds, reckoned when it joins the history
};

class Project {
public:
    Project();

    // ---- elements
    ElementStore& Elements() { return elements_; }
    const ElementStore& Elements() const { return elements_; }
    const StoredElement* FindElement(const API_Guid& guid) const { return elements_.Find(guid); }
    // The stored element, its previous state recorded in the running step; null if absent.
    StoredElement* ElementForChange(const API_Guid& guid);
    // Stores a new element; a null header GUID gets a fresh one. Returns the GUID. Drafting is
    // drawn in the worksheet shown (SheetForNew), or on the floor plan when placed there (the
    // content of a module, which holds a plan).
    enum class Placing { WhereShown, OnFloorPlan };
    API_Guid InsertElement(const API_Element& record, MemoPtr memo, Placing placing = Placing::WhereShown);
    // Removes the element (recorded in the running step).
    void EraseElement(const API_Guid& guid);
    // The user's selection; EraseElement and undo take erased elements out of it.
    Selection& Selected() { return selection_; }
    const Selection& Selected() const { return selection_; }
    // Puts a stored element into a group, or into none with the null GUID (recorded).
    void SetElementGroup(const API_Guid& guid, const API_Guid& group);

    // ---- attributes
    AttributeTable& Attributes(Int32 typeID) { return attributes_[typeID]; }
    const StoredAttribute* FindAttribute(Int32 typeID, Int32 index) const;
    StoredAttribute* AttributeForChange(Int32 typeID, Int32 index);
    void PutAttribute(const API_Attribute& record, bool deleted = false);  // at record.header.index
    const StoredAttribute* FindAttributeByName(Int32 typeID, const char* name) const;
    bool IsUsableAttribute(Int32 typeID, Int32 index) const;  // exists and not deleted

    // ---- stories
    const StoryList& Stories() const { return stories_; }
    StoryList& StoriesForChange();

    // ---- library (the library functions add to it)
    std::vector<LibraryPartData>& Library() { return library_; }
    const LibraryPartData* FindLibraryPart(Int32 index) const;

    // ---- element defaults
    std::map<Int32, ElementDefaults>& Defaults() { return defaults_; }
    std::map<Int32, Int32>& DefaultSegmentCounts() { return segmentCounts_; }

    // ---- project information
    std::string name = "Quillmere Demo House";
    bool untitled = false;

    // ---- undo
    bool InCommand() const { return running_ != nullptr; }
    // The worksheet a new element of this type is drawn in (StoredElement::sheet): only 2D
    // drafting is ever drawn in one.
    API_Guid SheetForNew(Int32 typeID) const;
    static bool IsDrafting(Int32 typeID);
    // A change of what the host window shows, made outside an undoable command (a layer shown
    // or hidden, a pen recoloured, another story, view or database): it moves the revision at
    // once, as the end of a command does for the changes made inside it. Returns code.
    GSErrCode NoteShownChange(GSErrCode code);
    void BeginStep(const std::string& name);
    void CommitStep();    // the running step becomes the last undo step
    void RollBackStep();  // the running step's changes are undone and forgotten
    bool UndoLastStep();
    // Makes the last undone step again; a new step ends what can be redone.
    bool RedoLastStep();
    const std::vector<std::unique_ptr<UndoStep>>& Steps() const { return steps_; }
    const std::vector<std::unique_ptr<UndoStep>>& RedoSteps() const { return redoSteps_; }
    // Inside a command: restore runs when the step is rolled back or undone, redo when the
    // undone step is made again (without one the step cannot be redone).
    void RecordUndo(std::function<void()> restore, std::function<void()> redo = nullptr);
    // The history keeps this many steps, dropping the oldest first (the redo steps are fewer
    // still); 0 keeps none. A lower limit drops the oldest steps at once.
    static constexpr size_t kDefaultUndoLimit = 20;
    void SetUndoLimit(size_t steps);
    // It also keeps its steps (undo and redo together) within this many bytes, dropping the
    // oldest undo steps first; the newest undo step stays whatever its size, its memory having
    // been taken while it ran. Twenty moves of a million elements would otherwise hold 9 GB.
    static constexpr size_t kDefaultUndoBudget = size_t(1) << 30;
    void SetUndoBudget(size_t bytes);
    size_t HistoryBytes() const;

    void Clear();  // an empty project: nothing at all

    // ---- navigator maps, databases, views, publisher sets, override combinations
    Documentation& Docs();
    const Documentation& Docs() const;

private:
    // Puts back the state the step holds; returns the state it replaced (null when the step
    // cannot be made again).
    std::unique_ptr<UndoStep> Restore(UndoStep& step);
    // The memory a step holds beyond the project as it is now.
    size_t StepBytes(const UndoStep& step) const;
    // Drops the oldest steps past the limit and the budget.
    void TrimHistory();

    ElementStore elements_;
    Selection selection_;
    std::map<Int32, AttributeTable> attributes_;
    StoryList stories_;
    std::vector<LibraryPartData> library_;
    std::map<Int32, ElementDefaults> defaults_;
    std::map<Int32, Int32> segmentCounts_;
    std::unique_ptr<UndoStep> running_;
    std::vector<std::unique_ptr<UndoStep>> steps_;
    std::vector<std::unique_ptr<UndoStep>> redoSteps_;  // the last undone step last
    size_t undoLimit_ = kDefaultUndoLimit;
    size_t undoBudget_ = kDefaultUndoBudget;
    mutable std::shared_ptr<Documentation> docs_;  // made on first use
};

Project& TheProject();

// Fills the project with the embedded default project (stories, attributes, defaults).
void LoadDefaultProject(Project& project);

}  // namespace HostInternal
