#include "project/Project.hpp"

#include <algorithm>
#include <cstring>

#include "gs/GuidSource.hpp"
#include "navigator/Documentation.hpp"
#include "project/ProjectRevision.hpp"

namespace HostInternal {

const Story* StoryList::Find(Int16 index) const
{
    for (const Story& s : stories)
        if (s.index == index) return &s;
    return nullptr;
}

ElementSnapshot::ElementSnapshot(const StoredElement& element)
    : memo_(element.memo), order_(element.order), sheet_(element.sheet)
{
    const char* bytes = reinterpret_cast<const char*>(&element.record);
    size_ = sizeof(API_Element);
    while (size_ > 0 && bytes[size_ - 1] == 0) --size_;
    record_.reset(new char[size_]);
    std::memcpy(record_.get(), bytes, size_);
}

StoredElement ElementSnapshot::Expand() const
{
    StoredElement element;
    std::memset(&element.record, 0, sizeof(API_Element));
    std::memcpy(&element.record, record_.get(), size_);
    element.memo = memo_;
    element.order = order_;
    element.sheet = sheet_;
    return element;
}

Project::Project() = default;

Project& TheProject()
{
    static Project* project = [] {
        Project* p = new Project;  // lives for the whole process
        LoadDefaultProject(*p);
        return p;
    }();
    return *project;
}

// ---- elements

StoredElement* Project::ElementForChange(const API_Guid& guid)
{
    StoredElement* element = elements_.FindMutable(guid);
    if (element == nullptr) return nullptr;
    if (running_ && running_->elementsBefore.count(guid) == 0)
        running_->elementsBefore.emplace(guid, std::make_unique<ElementSnapshot>(*element));
    return element;
}

void Project::SetElementGroup(const API_Guid& guid, const API_Guid& group)
{
    if (ElementForChange(guid) != nullptr) elements_.SetGroup(guid, group);
}

API_Guid Project::SheetForNew(Int32 typeID) const
{
    // 2D drafting goes where the user draws it; model elements always go to the model.
    switch (typeID) {
    case API_DimensionID:
    case API_TextID:
    case API_LabelID:
    case API_HatchID:
    case API_LineID:
    case API_PolyLineID:
    case API_ArcID:
    case API_CircleID:
    case API_SplineID:
    case API_HotspotID: break;
    default: return APINULLGuid;
    }
    const Database* current = Docs().FindDatabase(Docs().currentDatabase);
    return current != nullptr && current->type == APIWind_WorksheetID ? current->id : APINULLGuid;
}

API_Guid Project::InsertElement(const API_Element& record, MemoPtr memo, Placing placing)
{
    StoredElement element;
    element.record = record;
    if (element.record.header.guid == APINULLGuid) element.record.header.guid = NextGuid();
    element.memo = (memo && !memo->IsEmpty()) ? std::move(memo) : nullptr;
    element.order = elements_.NextOrder();
    element.sheet = placing == Placing::OnFloorPlan ? APINULLGuid : SheetForNew(record.header.type.typeID);
    const API_Guid guid = element.record.header.guid;
    if (running_ && running_->elementsBefore.count(guid) == 0) {
        const StoredElement* existing = elements_.Find(guid);
        running_->elementsBefore.emplace(guid, existing ? std::make_unique<ElementSnapshot>(*existing) : nullptr);
    }
    elements_.Insert(element);
    return guid;
}

void Project::EraseElement(const API_Guid& guid)
{
    const StoredElement* element = elements_.Find(guid);
    if (element == nullptr) return;
    if (running_ && running_->elementsBefore.count(guid) == 0)
        running_->elementsBefore.emplace(guid, std::make_unique<ElementSnapshot>(*element));
    elements_.Erase(guid);
    selection_.Remove(guid);
}

// ---- attributes

bool IsAttributeType(Int32 typeID)
{
    switch (typeID) {
    case API_PenID:
    case API_LayerID:
    case API_LinetypeID:
    case API_FilltypeID:
    case API_CompWallID:
    case API_MaterialID:
    case API_BuildingMaterialID: return true;
    default: return false;
    }
}

const StoredAttribute* Project::FindAttribute(Int32 typeID, Int32 index) const
{
    auto table = attributes_.find(typeID);
    if (table == attributes_.end()) return nullptr;
    auto it = table->second.byIndex.find(index);
    return it == table->second.byIndex.end() ? nullptr : &it->second;
}

StoredAttribute* Project::AttributeForChange(Int32 typeID, Int32 index)
{
    auto table = attributes_.find(typeID);
    if (table == attributes_.end()) return nullptr;
    auto it = table->second.byIndex.find(index);
    if (it == table->second.byIndex.end()) return nullptr;
    auto key = std::make_pair(typeID, index);
    if (running_ && running_->attributesBefore.count(key) == 0)
        running_->attributesBefore.emplace(key, std::make_unique<StoredAttribute>(it->second));
    return &it->second;
}

void Project::PutAttribute(const API_Attribute& record, bool deleted)
{
    const Int32 typeID = record.header.typeID, index = record.header.index;
    auto key = std::make_pair(typeID, index);
    if (running_ && running_->attributesBefore.count(key) == 0) {
        const StoredAttribute* existing = FindAttribute(typeID, index);
        running_->attributesBefore.emplace(key, existing ? std::make_unique<StoredAttribute>(*existing) : nullptr);
    }
    StoredAttribute& stored = attributes_[typeID].byIndex[index];
    stored.record = record;
    stored.deleted = deleted;
}

const StoredAttribute* Project::FindAttributeByName(Int32 typeID, const char* name) const
{
    auto table = attributes_.find(typeID);
    if (table == attributes_.end() || name == nullptr) return nullptr;
    for (const auto& entry : table->second.byIndex)
        if (!entry.second.deleted &&
            std::strncmp(entry.second.record.header.name, name, sizeof(entry.second.record.header.name)) == 0)
            return &entry.second;
    return nullptr;
}

bool Project::IsUsableAttribute(Int32 typeID, Int32 index) const
{
    const StoredAttribute* a = FindAttribute(typeID, index);
    return a != nullptr && !a->deleted;
}

// ---- stories

StoryList& Project::StoriesForChange()
{
    if (running_ && !running_->storiesBefore) running_->storiesBefore = std::make_unique<StoryList>(stories_);
    return stories_;
}

const LibraryPartData* Project::FindLibraryPart(Int32 index) const
{
    if (index < 1 || size_t(index) > library_.size()) return nullptr;
    return &library_[size_t(index) - 1];
}

// ---- undo

void Project::BeginStep(const std::string& stepName)
{
    running_ = std::make_unique<UndoStep>();
    running_->name = stepName;
}

void Project::CommitStep()
{
    if (!running_) return;
    steps_.push_back(std::move(running_));
    redoSteps_.clear();
    SetUndoLimit(undoLimit_);
    NoteProjectChange();
}

GSErrCode Project::NoteShownChange(GSErrCode code)
{
    if (code == NoError && !running_) NoteProjectChange();
    return code;
}

void Project::SetUndoLimit(size_t steps)
{
    undoLimit_ = steps;
    if (steps_.size() > steps) steps_.erase(steps_.begin(), steps_.end() - std::ptrdiff_t(steps));
}

void Project::RollBackStep()
{
    if (!running_) return;
    std::unique_ptr<UndoStep> step = std::move(running_);
    Restore(*step);
}

bool Project::UndoLastStep()
{
    if (running_ || steps_.empty()) return false;
    std::unique_ptr<UndoStep> step = std::move(steps_.back());
    steps_.pop_back();
    std::unique_ptr<UndoStep> redo = Restore(*step);
    if (redo)
        redoSteps_.push_back(std::move(redo));
    else
        redoSteps_.clear();
    NoteProjectChange();
    return true;
}

bool Project::RedoLastStep()
{
    if (running_ || redoSteps_.empty()) return false;
    std::unique_ptr<UndoStep> step = std::move(redoSteps_.back());
    redoSteps_.pop_back();
    // A step that could be redone can be undone again: its mirror image always exists.
    steps_.push_back(Restore(*step));
    NoteProjectChange();
    return true;
}

void Project::RecordUndo(std::function<void()> restore, std::function<void()> redo)
{
    if (running_) running_->extraRestores.push_back({std::move(restore), std::move(redo)});
}

std::unique_ptr<UndoStep> Project::Restore(UndoStep& step)
{
    // The mirror image first: the current state of everything the step will put back.
    auto mirror = std::make_unique<UndoStep>();
    mirror->name = step.name;
    bool redoable = true;
    for (auto it = step.extraRestores.rbegin(); it != step.extraRestores.rend(); ++it) {
        redoable = redoable && it->redo != nullptr;
        mirror->extraRestores.push_back({it->redo, it->undo});
    }
    for (const auto& entry : step.elementsBefore) {
        const StoredElement* now = elements_.Find(entry.first);
        mirror->elementsBefore.emplace(entry.first, now ? std::make_unique<ElementSnapshot>(*now) : nullptr);
    }
    for (const auto& entry : step.attributesBefore) {
        const StoredAttribute* now = FindAttribute(entry.first.first, entry.first.second);
        mirror->attributesBefore.emplace(entry.first, now ? std::make_unique<StoredAttribute>(*now) : nullptr);
    }
    if (step.storiesBefore) mirror->storiesBefore = std::make_unique<StoryList>(stories_);

    for (auto it = step.extraRestores.rbegin(); it != step.extraRestores.rend(); ++it)
        if (it->undo) it->undo();
    for (auto& entry : step.elementsBefore) {
        if (entry.second)
            elements_.Insert(entry.second->Expand());
        else {
            elements_.Erase(entry.first);
            selection_.Remove(entry.first);
        }
    }
    for (auto& entry : step.attributesBefore) {
        AttributeTable& table = attributes_[entry.first.first];
        if (entry.second)
            table.byIndex[entry.first.second] = *entry.second;
        else
            table.byIndex.erase(entry.first.second);
    }
    if (step.storiesBefore) stories_ = *step.storiesBefore;
    if (!redoable) mirror.reset();
    return mirror;
}

void Project::Clear()
{
    elements_.Clear();
    selection_.Clear();
    attributes_.clear();
    stories_ = StoryList();
    library_.clear();
    defaults_.clear();
    segmentCounts_.clear();
    running_.reset();
    steps_.clear();
    redoSteps_.clear();
    name.clear();
    untitled = false;
    docs_.reset();
    NoteProjectChange();
}

Documentation& Project::Docs()
{
    if (!docs_) docs_ = std::make_shared<Documentation>();
    return *docs_;
}

const Documentation& Project::Docs() const
{
    if (!docs_) docs_ = std::make_shared<Documentation>();
    return *docs_;
}

}  // namespace HostInternal
