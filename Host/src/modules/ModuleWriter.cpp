// Writes a project as a module file: into a temporary file beside the target, renamed over it
// only once everything is on disk.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "gs/TemporaryFile.hpp"
#include "modules/ModuleFile.hpp"
#include "modules/ModuleFormat.hpp"

namespace HostInternal {

namespace {

// Buffered output that keeps the running checksum and remembers the first failure. The
// checksum runs over whole buffers as they go out, not over each of the many small values.
class ModuleOutput {
public:
    explicit ModuleOutput(std::FILE* file) : file_(file) { buffer_.reserve(kBufferSize); }

    void Bytes(const void* data, size_t size)
    {
        const char* p = static_cast<const char*>(data);
        if (buffer_.size() + size > kBufferSize) Flush();
        if (size >= kBufferSize) {
            checksum_.Add(p, size);
            Put(p, size);
            return;
        }
        buffer_.insert(buffer_.end(), p, p + size);
    }
    template <typename T>
    void Value(const T& value)
    {
        Bytes(&value, sizeof value);
    }
    void Text(const std::string& text)
    {
        Value(UInt32(text.size()));
        Bytes(text.data(), text.size());
    }
    // The trailer: the checksum of everything before it, then the end mark.
    void Finish()
    {
        Flush();
        const UInt64 sum = checksum_.Value();
        Put(reinterpret_cast<const char*>(&sum), sizeof sum);
        Put(reinterpret_cast<const char*>(kModuleEnd), sizeof kModuleEnd);
    }
    void Flush()
    {
        checksum_.Add(buffer_.data(), buffer_.size());
        Put(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
    bool Failed() const { return failed_; }

private:
    static constexpr size_t kBufferSize = 1 << 20;
    void Put(const char* data, size_t size)
    {
        if (!failed_ && size > 0 && std::fwrite(data, 1, size, file_) != size) failed_ = true;
    }

    std::FILE* file_;
    std::vector<char> buffer_;
    BodyChecksum checksum_{kModuleFormatVersion};
    bool failed_ = false;
};

std::set<AttributeKey> UsedAttributes(const Project& project, const std::vector<const StoredElement*>& elements)
{
    std::set<AttributeKey> used;
    for (const StoredElement* e : elements) CollectUsedAttributes(*e, used);
    // A building material brings its cut fill, pen and surface along.
    std::vector<AttributeKey> materials;
    for (const AttributeKey& key : used)
        if (key.first == API_BuildingMaterialID) materials.push_back(key);
    for (const AttributeKey& key : materials) {
        const StoredAttribute* a = project.FindAttribute(key.first, key.second);
        if (a == nullptr || a->deleted) continue;
        const API_BuildingMaterialType& m = a->record.buildingMaterial;
        if (m.cutFill > 0) used.emplace(API_FilltypeID, m.cutFill);
        if (m.cutFillPen > 0) used.emplace(API_PenID, m.cutFillPen);
        if (m.surfaceMaterial > 0) used.emplace(API_MaterialID, m.surfaceMaterial);
    }
    return used;
}

void WriteContents(const Project& project, ModuleOutput& out)
{
    out.Bytes(kModuleMagic, sizeof kModuleMagic);
    out.Value(kModuleFormatVersion);
    out.Value(ModuleLayoutStamp());
    out.Text(project.name);

    const std::vector<Story>& stories = project.Stories().stories;
    out.Value(UInt32(stories.size()));
    for (const Story& s : stories) {
        out.Value(s.index);
        out.Value(s.level);
        out.Value(s.height);
        out.Value(UInt32(s.name.size()));
        out.Bytes(s.name.data(), s.name.size() * sizeof(char16_t));
    }

    // A module holds the floor plan: drafting drawn in a worksheet stays behind.
    std::vector<const StoredElement*> elements = project.Elements().ElementsInOrder();
    elements.erase(std::remove_if(elements.begin(), elements.end(),
                                  [](const StoredElement* e) { return e->sheet != APINULLGuid; }),
                   elements.end());

    std::vector<const API_Attribute*> attributes;
    for (const AttributeKey& key : UsedAttributes(project, elements)) {
        const StoredAttribute* a = project.FindAttribute(key.first, key.second);
        if (a != nullptr && !a->deleted) attributes.push_back(&a->record);
    }
    out.Value(UInt32(attributes.size()));
    for (const API_Attribute* a : attributes) out.Value(*a);

    out.Value(UInt64(elements.size()));
    for (const StoredElement* e : elements) {
        const Int32 typeID = e->record.header.type.typeID;
        const UInt32 recordSize = UInt32(ElementRecordSize(typeID));
        out.Value(typeID);
        out.Value(recordSize);
        out.Bytes(&e->record, recordSize);
        UInt16 parts = 0;
        for (int part = 0; part < MemoPartCount; ++part)
            if (e->memo && e->memo->Has(MemoPart(part))) parts |= UInt16(1u << part);
        out.Value(parts);
        for (int part = 0; part < MemoPartCount; ++part) {
            if ((parts & (1u << part)) == 0) continue;
            const std::vector<char>& bytes = *e->memo->parts[part];
            out.Value(UInt64(bytes.size()));
            out.Bytes(bytes.data(), bytes.size());
        }
    }
    out.Finish();
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

GSErrCode WriteModule(const Project& project, const std::string& path)
{
    if (path.empty() || path.back() == '/') return APIERR_BADPARS;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return APIERR_BADPARS;

    // A short hidden name of its own: the target's name may already be as long as names go.
    std::string temp;
    const int fd = CreateTemporaryFile(FolderOf(path), ".module-", temp);
    if (fd < 0) return APIERR_GENERAL;
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(temp.c_str());
        return APIERR_GENERAL;
    }
    ModuleOutput out(file);
    WriteContents(project, out);
    const bool written = !out.Failed() && std::fflush(file) == 0 && !std::ferror(file) && ::fsync(fd) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return APIERR_GENERAL;
    }
    return NoError;
}

}  // namespace HostInternal
