// A fresh temporary folder for one test, removed with everything in it.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gt/core/lang/String.h"

namespace gt {
namespace test {

class TempDir {
public:
    TempDir() {
        char const* base = ::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/gt_test_XXXXXX";
        if (::mkdtemp(&pattern[0])) m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        // Make every folder writable again so that tests may leave read-only things behind.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (it->is_directory(ignored) && !it->is_symlink(ignored)) ::chmod(it->path().c_str(), 0700);
        }
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(TempDir const&) = delete;
    TempDir& operator=(TempDir const&) = delete;

    std::string const& path() const { return m_path; }
    std::string path(std::string const& name) const { return m_path + "/" + name; }
    core::String str() const { return core::String::fromUtf8(m_path.c_str()); }
    core::String str(std::string const& name) const { return core::String::fromUtf8(path(name).c_str()); }

    void writeFile(std::string const& name, std::string const& content) const {
        std::ofstream(path(name), std::ios::binary) << content;
    }
    std::string readFile(std::string const& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool exists(std::string const& name) const {
        struct stat st;
        return ::lstat(path(name).c_str(), &st) == 0;
    }

private:
    std::string m_path;
};

}  // namespace test
}  // namespace gt
