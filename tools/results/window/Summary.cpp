#include "Summary.h"

namespace vedris::results::window {

namespace {

constexpr const char* SourcesSql =
    "SELECT s.id, s.path, s.kind, s.label, s.imported_at,"
    " (SELECT COUNT(*) FROM file f WHERE f.source_id = s.id),"
    " (SELECT COUNT(*) FROM result r JOIN file f ON f.id = r.file_id WHERE f.source_id = s.id),"
    " (SELECT COUNT(*) FROM result r JOIN file f ON f.id = r.file_id WHERE f.source_id = s.id"
    "   AND r.superseded = 0 AND EXISTS (SELECT 1 FROM result o JOIN file g ON g.id = o.file_id"
    "   WHERE g.origin = f.origin AND o.assessment = r.assessment AND o.superseded = 1)),"
    " (SELECT COUNT(*) FROM result r JOIN file f ON f.id = r.file_id WHERE f.source_id = s.id"
    "   AND r.superseded = 1),"
    " (SELECT COUNT(*) FROM refusal x WHERE x.source_id = s.id)"
    " FROM source s ORDER BY s.id DESC";

} // namespace

std::vector<SourceSummary> readSources(Database& db, size_t maxRefusals) {
    std::vector<SourceSummary> sources;
    Statement rows(db.handle(), SourcesSql, db.path());
    while (rows.step()) {
        SourceSummary s;
        s.id = rows.number(0);
        s.path = rows.text(1);
        s.kind = rows.text(2);
        s.label = rows.text(3);
        s.importedAt = rows.text(4);
        s.files = rows.number(5);
        s.results = rows.number(6);
        s.newer = rows.number(7);
        s.superseded = rows.number(8);
        s.refused = rows.number(9);
        sources.push_back(std::move(s));
    }
    Statement refusals(db.handle(),
                       "SELECT place, reason FROM refusal WHERE source_id = ? ORDER BY id LIMIT ?",
                       db.path());
    for (SourceSummary& s : sources) {
        if (s.refused == 0)
            continue;
        refusals.bind(1, s.id).bind(2, int64_t(maxRefusals));
        while (refusals.step())
            s.refusals.emplace_back(refusals.text(0), refusals.text(1));
        refusals.reset();
    }
    return sources;
}

std::vector<AssessmentTotal> readTotals(Database& db) {
    std::vector<AssessmentTotal> totals;
    Statement rows(db.handle(),
                   "SELECT r.assessment, COUNT(*), COUNT(DISTINCT f.origin) FROM result r "
                   "JOIN file f ON f.id = r.file_id WHERE r.superseded = 0 "
                   "GROUP BY r.assessment ORDER BY r.assessment",
                   db.path());
    while (rows.step())
        totals.push_back({rows.text(0), rows.number(1), rows.number(2)});
    return totals;
}

void setSourceLabel(Database& db, int64_t sourceId, const std::string& label) {
    Statement update(db.handle(), "UPDATE source SET label = ? WHERE id = ?", db.path());
    update.bind(1, label).bind(2, sourceId).run();
}

} // namespace vedris::results::window
