#pragma once
// A per-test sandbox folder, removed with everything in it when the test ends.
#include <filesystem>
#include <string>

namespace vedris::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Path of a file inside the folder, as a string.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes text to a file inside the folder (folders created as needed); returns its path.
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path path_;
};

// Whole content of a file; empty when it cannot be read.
std::string readFile(const std::string& path);

} // namespace vedris::test
