#pragma once
// Where results files come from: a file, a folder searched recursively, a zip archive read
// in memory, a mail message or an mbox mail folder. Each source hands its candidate files,
// one at a time, to a sink, with where each was found; a place that cannot be read is
// refused there and the rest goes on.
#include <cstddef>
#include <stdexcept>
#include <string>

#include "ResultsFile.h"

namespace vedris::results {

// The source as a whole cannot be read (missing, not an archive, not mail).
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Candidate {
    std::string place;  // path; 'x.zip!dir/results.xml'; 'box.mbox#12: results.xml'
    std::string folder; // the place's folder, for telling versions of a source apart
    std::string sender; // mail only: From address, sent 'YYYY-MM-DDTHH:MM:SS', subject
    std::string sent;
    std::string subject;
    std::string bytes;
    bool named = false; // given by name on the command line: other XML is refused, not skipped
};

class CandidateSink {
public:
    virtual ~CandidateSink() = default;
    virtual void take(Candidate& candidate) = 0;
    virtual void refuse(const std::string& place, const std::string& reason) = 0;
    // How many candidates the source holds, when it knows before reading them (not mail).
    virtual void expect(size_t total) { (void)total; }
};

struct SourceLimits {
    FileLimits file;
    size_t maxArchiveEntries = 100'000;
    // Uncompressed to compressed; checked for entries above ratioFloorBytes.
    unsigned maxRatio = 200;
    size_t ratioFloorBytes = 64u << 10;
    // Messages attached to messages.
    int maxMailDepth = 8;
};

enum class SourceKind { File, Folder, Zip, Eml, Mbox };

// By what the path is and, for files, by name and then by their first bytes (a mail client's
// mbox folder has no extension). Raises SourceError when the path does not exist.
SourceKind detectKind(const std::string& path);
// 'file', 'folder', 'zip', 'eml', 'mbox', as the database names them.
const char* kindName(SourceKind kind);

// Whole content of a file, refused (SourceError) above maxBytes.
std::string readWholeFile(const std::string& path, size_t maxBytes);
// The folder part of a place: everything before its last '/'.
std::string folderOf(const std::string& place);
bool hasXmlName(const std::string& name);

void readSource(SourceKind kind, const std::string& path, CandidateSink& sink,
                const SourceLimits& limits);
void readZip(const std::string& path, CandidateSink& sink, const SourceLimits& limits);
void readMail(const std::string& path, bool mbox, CandidateSink& sink, const SourceLimits& limits);

} // namespace vedris::results
