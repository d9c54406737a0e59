// 'PUBL': runs a publisher set. The set's page (the plan of its story) is drawn by the painter
// the host application installed into a temporary file in the output folder, which is renamed
// to "<set name>.pdf" once complete; a refused or failed run leaves no file and an earlier PDF
// of the set as it was. The PDF's mode follows the user's umask.

#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "HostPublishing.hpp"
#include "automate/Automate.hpp"
#include "gs/TemporaryFile.hpp"
#include "navigator/Documentation.hpp"
#include "project/Project.hpp"

namespace HostPublishing {

namespace {

std::mutex g_painterMutex;
PdfPainter& Painter()
{
    static PdfPainter* painter = new PdfPainter;
    return *painter;
}

}  // namespace

void SetPdfPainter(PdfPainter painter)
{
    std::lock_guard<std::mutex> lock(g_painterMutex);
    Painter() = std::move(painter);
}

bool HasPdfPainter() { return static_cast<bool>(CurrentPdfPainter()); }

PdfPainter CurrentPdfPainter()
{
    std::lock_guard<std::mutex> lock(g_painterMutex);
    return Painter();
}

}  // namespace HostPublishing

namespace HostInternal {

namespace {

// A set name as a file name: path separators and control characters become '-'.
std::string FileNameFor(const std::string& setName)
{
    std::string name = setName;
    for (char& c : name)
        if (c == '/' || (static_cast<unsigned char>(c) < 0x20)) c = '-';
    if (name.empty() || name == "." || name == "..") name = "Publisher Set";
    return name + ".pdf";
}

bool IsFolder(const std::string& path)
{
    struct stat info;
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

GSErrCode RunPublisherSet(const API_PublishPars* pars)
{
    if (pars == nullptr) return APIERR_BADPARS;
    const Documentation& docs = TheProject().Docs();
    const PublisherSet* set = nullptr;
    for (const PublisherSet& s : docs.publisherSets)
        if (s.root == pars->guid) set = &s;
    if (set == nullptr) return APIERR_BADID;

    const std::string folder = pars->path != nullptr ? pars->path->GetPath() : set->folder;
    if (!IsFolder(folder)) return APIERR_BADPARS;
    const HostPublishing::PdfPainter painter = HostPublishing::CurrentPdfPainter();
    if (!painter) return APIERR_NOTSUPPORTED;

    const std::string base = folder.back() == '/' ? folder : folder + "/";
    const std::string target = base + FileNameFor(set->name);
    std::string temp;  // a short name: the set's name may be as long as names go
    const int fd = CreateTemporaryFile(base, ".publish-", temp);
    if (fd < 0) return APIERR_GENERAL;
    ::close(fd);
    GSErrCode err = painter({HostPublishing::Page{set->name, set->story}}, temp);
    // A painter that reported success but left nothing must not replace an earlier PDF.
    struct stat written {};
    if (err == NoError && (::stat(temp.c_str(), &written) != 0 || written.st_size == 0)) err = APIERR_GENERAL;
    if (err == NoError && std::rename(temp.c_str(), target.c_str()) != 0) err = APIERR_GENERAL;
    if (err != NoError) {
        ::unlink(temp.c_str());
        return err;
    }
    TheProject().Docs().published.push_back(PublishedFile{set->name, target});
    return NoError;
}

}  // namespace HostInternal
