#include "services/UploadFile.hpp"

#include <cstdlib>
#include <vector>

#include <unistd.h>

#include "core/FileText.hpp"
#include "core/HeaderText.hpp"

namespace Quillmere {

UploadFile::UploadFile(const std::string& name, const std::string& bytes)
{
    if (name.empty() || name == "." || name == "..") return;
    // A slash would name another folder; the name goes into the upload's part header.
    if (name.find('/') != std::string::npos || !IsQuotableHeaderText(name)) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quillmere_upload_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) return;
    dir_ = buffer.data();

    const std::string path = dir_ + "/" + name;
    if (WriteWholeFileAtomic(path, bytes, 0600)) path_ = path;
}

UploadFile::~UploadFile()
{
    if (!path_.empty()) ::unlink(path_.c_str());
    if (!dir_.empty()) ::rmdir(dir_.c_str());
}

}  // namespace Quillmere
