#include "TempFolder.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

TempFolder::TempFolder(const std::string& prefix)
{
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    dir_ = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::vector<std::string> TempFolder::Files(const std::string& sub) const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(sub.empty() ? dir_ : Path(sub)))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string TempFolder::Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void TempFolder::Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

TempDirScope::TempDirScope(const std::string& prefix) : folder_(prefix)
{
    const char* old = std::getenv("TMPDIR");
    hadTmpDir_ = old != nullptr;
    if (hadTmpDir_) savedTmpDir_ = old;
    ::setenv("TMPDIR", folder_.Dir().c_str(), 1);
}

TempDirScope::~TempDirScope()
{
    if (hadTmpDir_)
        ::setenv("TMPDIR", savedTmpDir_.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}
