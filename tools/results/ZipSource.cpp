// Zip archives are read entry by entry into memory and never unpacked to disk. An entry is
// judged by its central directory record before a byte of it is inflated, and inflating
// stops at the size limit whatever the record claims.
#include <memory>
#include <zip.h>

#include "Messages.h"
#include "Sources.h"

namespace vedris::results {

namespace {

struct ArchiveDeleter {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryDeleter {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using ArchivePtr = std::unique_ptr<zip_t, ArchiveDeleter>;

ArchivePtr openArchive(const std::string& path) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string text = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw SourceError(path + ": " + text::format(msg::ArchiveUnreadable, {text}));
    }
    return ArchivePtr(archive);
}

// Absolute names, "..", and drive letters lead out of wherever an archive would be unpacked:
// an archive that carries them was not made by copying results.
bool safeName(std::string name) {
    for (char& c : name)
        if (c == '\\')
            c = '/';
    if (name.empty() || name[0] == '/' || (name.size() > 1 && name[1] == ':'))
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

// Why the entry is not inflated; empty when it may be.
std::string judgeEntry(const zip_stat_t& st, const SourceLimits& limits) {
    if (!safeName(st.name))
        return msg::EntryUnsafeName;
    if (st.encryption_method != ZIP_EM_NONE)
        return msg::EntryEncrypted;
    if (st.size > limits.file.maxBytes)
        return text::format(msg::EntryTooLarge, {std::to_string(limits.file.maxBytes >> 20)});
    if (st.size > limits.ratioFloorBytes &&
        st.size / std::max<zip_uint64_t>(st.comp_size, 1) > limits.maxRatio)
        return text::format(msg::EntryRatio, {std::to_string(limits.maxRatio)});
    return {};
}

// Inflates at most maxBytes + 1 bytes, so a record that lies about its size is caught.
std::string inflate(zip_t* archive, zip_uint64_t index, size_t maxBytes) {
    std::unique_ptr<zip_file_t, EntryDeleter> entry(zip_fopen_index(archive, index, 0));
    if (!entry)
        throw SourceError(text::format(msg::EntryUnreadable, {zip_strerror(archive)}));
    std::string bytes;
    char buffer[65536];
    for (;;) {
        zip_int64_t got = zip_fread(entry.get(), buffer, sizeof buffer);
        if (got < 0)
            throw SourceError(text::format(msg::EntryUnreadable, {zip_file_strerror(entry.get())}));
        if (got == 0)
            break;
        bytes.append(buffer, size_t(got));
        if (bytes.size() > maxBytes)
            throw SourceError(text::format(msg::EntryTooLarge, {std::to_string(maxBytes >> 20)}));
    }
    return bytes;
}

bool isCandidate(const zip_stat_t& st) {
    std::string name = st.name ? st.name : "";
    return !name.empty() && name.back() != '/' && hasXmlName(name);
}

} // namespace

void readZip(const std::string& path, CandidateSink& sink, const SourceLimits& limits) {
    ArchivePtr archive = openArchive(path);
    zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
    if (entries < 0 || size_t(entries) > limits.maxArchiveEntries)
        throw SourceError(
            path + ": " +
            text::format(msg::ArchiveTooManyEntries,
                         {std::to_string(entries), std::to_string(limits.maxArchiveEntries)}));
    size_t candidates = 0;
    zip_stat_t st;
    for (zip_uint64_t i = 0; i < zip_uint64_t(entries); ++i)
        candidates += zip_stat_index(archive.get(), i, 0, &st) == 0 && isCandidate(st);
    sink.expect(candidates);
    for (zip_uint64_t i = 0; i < zip_uint64_t(entries); ++i) {
        if (zip_stat_index(archive.get(), i, 0, &st) != 0 || !isCandidate(st))
            continue;
        Candidate candidate;
        candidate.place = path + "!" + st.name;
        candidate.folder = folderOf(candidate.place);
        if (candidate.folder.empty() || candidate.folder.size() < path.size())
            candidate.folder = path;
        std::string refusal = judgeEntry(st, limits);
        if (refusal.empty()) {
            try {
                candidate.bytes = inflate(archive.get(), i, limits.file.maxBytes);
            } catch (const SourceError& e) {
                refusal = e.what();
            }
        }
        if (refusal.empty())
            sink.take(candidate);
        else
            sink.refuse(candidate.place, refusal);
    }
}

} // namespace vedris::results
