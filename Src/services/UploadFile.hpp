#pragma once

// A file that exists only for one upload: written into a new directory of its own (mode 0700,
// made with mkdtemp under $TMPDIR, else /tmp) under the name the request shows the service,
// created exclusively, never through a link, readable by the user only (0600). Whole or not at
// all: a write that fails leaves nothing. The file and its directory go when this object does.

#include <string>

namespace Quillmere {

class UploadFile {
public:
    // name: the last path component the service sees (no slash, quote or control character:
    // it goes into the upload's part header); bytes: the whole content.
    UploadFile(const std::string& name, const std::string& bytes);
    ~UploadFile();
    UploadFile(const UploadFile&) = delete;
    UploadFile& operator=(const UploadFile&) = delete;

    // False when the file could not be written; Path() is then empty.
    bool Written() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }

private:
    std::string dir_;
    std::string path_;
};

}  // namespace Quillmere
