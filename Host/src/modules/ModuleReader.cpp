// Reads a module file back, checking every length against what is left of the file, so that a
// file cut short, damaged or of another kind is refused and never misread, and every record
// before it is handed on, so that nothing of a module the host cannot take in is placed.

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "modules/ModuleFile.hpp"
#include "modules/ModuleFormat.hpp"

namespace HostInternal {

namespace {

// The smallest element entry: type, record size, memo parts.
constexpr size_t kMinElementBytes = sizeof(Int32) + sizeof(UInt32) + sizeof(UInt16);
constexpr size_t kStoryFixedBytes = sizeof(Int16) + 2 * sizeof(double) + sizeof(UInt32);

class Cursor {
public:
    Cursor(const char* data, size_t size) : p_(data), left_(size) {}

    bool Bytes(void* out, size_t size)
    {
        if (size > left_) return false;
        if (size == 0) return true;  // an empty part has no buffer to copy into
        std::memcpy(out, p_, size);
        p_ += size;
        left_ -= size;
        return true;
    }
    template <typename T>
    bool Value(T* out)
    {
        return Bytes(out, sizeof(T));
    }
    bool Text(std::string* out)
    {
        UInt32 size = 0;
        if (!Value(&size) || size > left_) return false;
        out->assign(p_, size);
        p_ += size;
        left_ -= size;
        return true;
    }
    size_t Left() const { return left_; }

private:
    const char* p_;
    size_t left_;
};

bool ReadFile(const std::string& path, std::vector<char>* data)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    ok = ok && size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        data->resize(size_t(size));
        ok = size == 0 || std::fread(data->data(), 1, size_t(size), file) == size_t(size);
    }
    std::fclose(file);
    return ok;
}

GSErrCode Refuse(std::string* why, const char* reason, GSErrCode code = APIERR_BADPARS)
{
    if (why != nullptr) *why = reason;
    return code;
}

bool ReadStories(Cursor& in, std::vector<Story>* stories)
{
    UInt32 count = 0;
    if (!in.Value(&count) || count > in.Left() / kStoryFixedBytes) return false;
    stories->reserve(count);
    for (UInt32 i = 0; i < count; ++i) {
        Story s;
        UInt32 units = 0;
        if (!in.Value(&s.index) || !in.Value(&s.level) || !in.Value(&s.height) || !in.Value(&units)) return false;
        if (units > in.Left() / sizeof(char16_t)) return false;
        s.name.resize(units);
        if (!in.Bytes(&s.name[0], units * sizeof(char16_t))) return false;
        stories->push_back(std::move(s));
    }
    return true;
}

bool ReadAttributes(Cursor& in, std::vector<API_Attribute>* attributes)
{
    UInt32 count = 0;
    if (!in.Value(&count) || count > in.Left() / sizeof(API_Attribute)) return false;
    attributes->resize(count);
    for (API_Attribute& a : *attributes)
        if (!in.Value(&a)) return false;
    return true;
}

// A bool stored as any byte but 0 or 1 is undefined behaviour the moment it is read: such a
// record is damage. Bytes are compared without reading any field as a bool.
bool IsBoolByte(const bool& field)
{
    unsigned char byte = 0;
    std::memcpy(&byte, &field, 1);
    return byte <= 1;
}

bool BoolsAreValid(const API_Element& e)
{
    const auto all = [](std::initializer_list<const bool*> fields) {
        for (const bool* field : fields)
            if (!IsBoolByte(*field)) return false;
        return true;
    };
    switch (e.header.type.typeID) {
    case API_WallID: return all({&e.wall.flipped, &e.wall.hasWindow, &e.wall.hasDoor});
    case API_ColumnID: return all({&e.column.isSlanted, &e.column.isFlipped});
    case API_BeamID: return all({&e.beam.isSlanted, &e.beam.isFlipped});
    case API_WindowID: return all({&e.window.openingBase.reflected, &e.window.openingBase.oSide});
    case API_DoorID: return all({&e.door.openingBase.reflected, &e.door.openingBase.oSide});
    case API_ObjectID: return all({&e.object.reflected});
    case API_SlabID: return all({&e.slab.useFloorFill});
    case API_RoofID: return all({&e.roof.useFloorFill});
    case API_TextID: return all({&e.text.nonBreaking});
    case API_LineID: return all({&e.line.zoneSeparator});
    case API_ArcID: return all({&e.arc.whole, &e.arc.reflected});
    case API_SplineID: return all({&e.spline.autoSmooth, &e.spline.closed});
    default: return true;
    }
}

bool SegmentBoolsAreValid(const std::vector<char>& bytes)
{
    for (size_t at = 0; at + sizeof(API_ColumnSegmentType) <= bytes.size(); at += sizeof(API_ColumnSegmentType))
        if (static_cast<unsigned char>(bytes[at + offsetof(API_ColumnSegmentType, circleBased)]) > 1) return false;
    return true;
}

bool ReadElement(Cursor& in, ModuleElement* element)
{
    Int32 typeID = 0;
    UInt32 recordSize = 0;
    if (!in.Value(&typeID) || !in.Value(&recordSize)) return false;
    if (typeID < 0 || typeID > API_LastElemTypeID || recordSize != ElementRecordSize(typeID)) return false;
    BNClear(element->record);
    if (!in.Bytes(&element->record, recordSize) || element->record.header.type.typeID != typeID) return false;
    if (!BoolsAreValid(element->record)) return false;
    UInt16 parts = 0;
    if (!in.Value(&parts) || parts >= (1u << MemoPartCount)) return false;
    if (parts == 0) {
        element->memo = nullptr;
        return true;
    }
    auto memo = std::make_shared<StoredMemo>();
    for (int part = 0; part < MemoPartCount; ++part) {
        if ((parts & (1u << part)) == 0) continue;
        UInt64 size = 0;
        if (!in.Value(&size) || size > in.Left()) return false;
        std::vector<char> bytes(static_cast<size_t>(size));
        if (!in.Bytes(bytes.data(), bytes.size())) return false;
        if (part == MemoColumnSegments && !SegmentBoolsAreValid(bytes)) return false;
        memo->parts[part] = std::move(bytes);
    }
    element->memo = std::move(memo);
    return true;
}

// Readers of an attribute name, in the host and in add-ons, take it as a C string: a field with
// no terminator would be read past its end.
bool IsTerminated(const char* field, size_t size) { return std::memchr(field, '\0', size) != nullptr; }

bool IsUtf8(const char* field, size_t size)
{
    const std::string text(field, strnlen(field, size));
    return GS::Utf16ToUtf8(GS::Utf8ToUtf16(text)) == text;
}

// Records that a whole, undamaged file may still carry but the host must never take in: an
// attribute of no known type or past the indices a table holds (a table counts up to its
// highest index, and every reader walks that far), a name with no terminator in its field or
// that is not UTF-8, and two attributes or two elements under one key (the second would
// silently replace the first). The reason, or null when there is none.
const char* UnsoundRecord(const ModuleContents& module)
{
    std::set<std::pair<Int32, Int32>> attributes;
    for (const API_Attribute& a : module.attributes) {
        const Int32 index = a.header.index;
        if (!IsAttributeType(a.header.typeID) || index < 1 || index > AttributeTable::kMaxIndex)
            return "an attribute index out of range";
        if (!IsTerminated(a.header.name, sizeof a.header.name)) return "an attribute name with no terminator";
        if (!IsUtf8(a.header.name, sizeof a.header.name)) return "an attribute name that is not UTF-8";
        if (!attributes.emplace(a.header.typeID, index).second) return "two attributes with one index";
    }
    std::unordered_set<API_Guid> guids;
    guids.reserve(module.elements.size());
    for (const ModuleElement& e : module.elements)
        if (!guids.insert(e.record.header.guid).second) return "two elements with one GUID";
    return nullptr;
}

}  // namespace

GSErrCode ReadModule(const std::string& path, ModuleContents* contents, std::string* why)
{
    if (contents == nullptr) return Refuse(why, "no contents to fill");
    std::vector<char> data;
    if (path.empty() || !ReadFile(path, &data)) return Refuse(why, "cannot read the file");

    const size_t trailer = sizeof(UInt64) + sizeof kModuleEnd;
    if (data.size() < sizeof kModuleMagic + trailer || std::memcmp(data.data(), kModuleMagic, sizeof kModuleMagic) != 0)
        return Refuse(why, "not a module file");
    const size_t body = data.size() - trailer;
    UInt64 stored = 0;
    std::memcpy(&stored, data.data() + body, sizeof stored);
    if (std::memcmp(data.data() + body + sizeof stored, kModuleEnd, sizeof kModuleEnd) != 0)
        return Refuse(why, "the module is cut short");
    // The version decides the checksum, so it is read before the checksum is checked.
    Cursor in(data.data() + sizeof kModuleMagic, body - sizeof kModuleMagic);
    ModuleContents read;
    UInt64 stamp = 0;
    if (!in.Value(&read.version)) return Refuse(why, "the module is damaged");
    if (read.version < kOldestReadableModuleVersion || read.version > kModuleFormatVersion)
        return Refuse(why, "a module of another format version", APIERR_NOTSUPPORTED);
    BodyChecksum sum(read.version);
    sum.Add(data.data(), body);
    if (sum.Value() != stored) return Refuse(why, "the module is damaged");
    if (!in.Value(&stamp)) return Refuse(why, "the module is damaged");
    if (stamp != ModuleLayoutStamp()) return Refuse(why, "a module of another record layout", APIERR_NOTSUPPORTED);
    if (!in.Text(&read.projectName) || !ReadStories(in, &read.stories) || !ReadAttributes(in, &read.attributes))
        return Refuse(why, "the module is damaged");

    UInt64 count = 0;
    if (!in.Value(&count) || count > in.Left() / kMinElementBytes) return Refuse(why, "the module is damaged");
    read.elements.resize(size_t(count));
    for (ModuleElement& e : read.elements)
        if (!ReadElement(in, &e)) return Refuse(why, "the module is damaged");
    if (in.Left() != 0) return Refuse(why, "the module is damaged");
    if (const char* reason = UnsoundRecord(read)) return Refuse(why, reason);

    *contents = std::move(read);
    return NoError;
}

void LoadModuleAsProject(const ModuleContents& contents, Project& project)
{
    project.Clear();
    project.name = contents.projectName;
    StoryList& stories = project.StoriesForChange();
    stories.stories = contents.stories;
    stories.current = 0;
    if (!contents.stories.empty() && stories.Find(0) == nullptr) stories.current = contents.stories.front().index;
    for (const API_Attribute& a : contents.attributes) project.PutAttribute(a);
    for (const ModuleElement& e : contents.elements)
        project.InsertElement(e.record, e.memo, Project::Placing::OnFloorPlan);
}

}  // namespace HostInternal
