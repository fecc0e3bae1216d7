#pragma once
// An output file written under a temporary name beside its target and put in place only
// when complete, so that an export that fails half-way leaves the previous file (or none),
// never half a table. The temporary's name is the one fs::removeLeftoverTemporaries knows.
#include <cstdio>
#include <string>
#include <string_view>

namespace vedris::results {

class StagedFile {
public:
    // Creates the temporary; raises fs::WriteError with the system's reason.
    explicit StagedFile(std::string path);
    // Removes the temporary unless committed.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return temporary_; }
    // Appends bytes; failures are found by commit.
    void write(std::string_view bytes);
    // Closes the temporary for another writer (a library that opens files by name).
    void release();
    // Flushes and syncs the temporary and renames it over path; raises fs::WriteError.
    void commit();

private:
    std::string path_, temporary_;
    std::FILE* stream_ = nullptr;
    int error_ = 0; // the first failure's error number
    bool committed_ = false;
};

} // namespace vedris::results
