#include "Merge.h"

#include <filesystem>
#include <sqlite3.h>

#include "Messages.h"

namespace vedris::results {

namespace {

class OtherDatabase {
public:
    explicit OtherDatabase(const std::string& path) : path_(path) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error))
            throw DatabaseError(text::format(msg::SourceMissing, {path}));
        sqlite3* raw = nullptr;
        int code = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        db_.reset(raw);
        if (code != SQLITE_OK)
            throw DatabaseError(text::format(msg::DatabaseOpenFailed, {path, sqlite3_errmsg(raw)}));
        Statement version(raw, "PRAGMA user_version", path);
        version.step();
        if (version.number(0) != 1)
            throw DatabaseError(text::format(msg::NotOurDatabase, {path}));
        files_ = Statement(raw,
                           "SELECT id, place, sender, sent, subject, origin, sha256 FROM file "
                           "ORDER BY id",
                           path);
        results_ = Statement(
            raw, "SELECT id, assessment, datetime FROM result WHERE file_id = ? ORDER BY id", path);
        responses_ = Statement(raw,
                               "SELECT id, item, response, status FROM response WHERE "
                               "result_id = ? ORDER BY position, id",
                               path);
        values_ = Statement(
            raw, "SELECT value FROM response_value WHERE response_id = ? ORDER BY position", path);
        refusals_ = Statement(raw, "SELECT place, reason, sha256 FROM refusal ORDER BY id", path);
    }

    Statement& files() { return files_; }
    Statement& refusals() { return refusals_; }

    std::vector<ResultRecord> resultsOf(int64_t fileId) {
        std::vector<ResultRecord> out;
        results_.bind(1, fileId);
        std::vector<int64_t> ids;
        while (results_.step()) {
            ids.push_back(results_.number(0));
            out.push_back({results_.text(1), results_.text(2), {}});
        }
        results_.reset();
        for (size_t i = 0; i < ids.size(); ++i)
            out[i].responses = responsesOf(ids[i]);
        return out;
    }

private:
    std::vector<ResponseRecord> responsesOf(int64_t resultId) {
        std::vector<ResponseRecord> out;
        std::vector<int64_t> ids;
        responses_.bind(1, resultId);
        while (responses_.step()) {
            ids.push_back(responses_.number(0));
            out.push_back(
                {responses_.text(1), responses_.text(2), responses_.text(3) == "Valid", {}});
        }
        responses_.reset();
        for (size_t i = 0; i < ids.size(); ++i) {
            values_.bind(1, ids[i]);
            while (values_.step())
                out[i].values.push_back(values_.text(0));
            values_.reset();
        }
        return out;
    }

    std::string path_;
    std::unique_ptr<sqlite3, ConnectionDeleter> db_;
    Statement files_, results_, responses_, values_, refusals_;
};

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

ImportCounts copyFiles(Database& db, OtherDatabase& other, int64_t sourceId) {
    ImportCounts counts;
    Statement& files = other.files();
    while (files.step()) {
        FileRow row{sourceId,      files.text(1), files.text(2), files.text(3),
                    files.text(4), files.text(5), files.text(6)};
        if (db.hasFile(row.sha256)) {
            ++counts.repeats;
            continue;
        }
        int64_t fileId = db.addFile(row);
        for (const ResultRecord& result : other.resultsOf(files.number(0))) {
            db.addResult(fileId, row.origin, result);
            ++counts.results;
        }
        ++counts.added;
    }
    files.reset();
    Statement& refusals = other.refusals();
    while (refusals.step()) {
        if (db.hasRefusal(refusals.text(2), refusals.text(0), refusals.text(1)))
            continue;
        db.addRefusal(sourceId, refusals.text(0), refusals.text(1), refusals.text(2));
        ++counts.refused;
    }
    refusals.reset();
    return counts;
}

} // namespace

ImportCounts mergeDatabase(Database& db, const std::string& otherPath, std::ostream& err) {
    std::string path = absolutePath(otherPath);
    if (sameFile(path, db.path())) {
        err << text::format(msg::MergeSame, {otherPath, db.path()}) << "\n";
        return {};
    }
    OtherDatabase other(path);
    db.begin();
    try {
        ImportCounts counts = copyFiles(db, other, db.addSource(path, "merge", ""));
        db.supersede();
        db.commit();
        return counts;
    } catch (...) {
        db.rollback();
        throw;
    }
}

} // namespace vedris::results
