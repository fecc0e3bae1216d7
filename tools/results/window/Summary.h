#pragma once
// What a collector's database holds, as the window lists it: its sources with what each
// brought, and per assessment the results and sources counted as the exports count them.
// Toolkit-free: plain SQL over the collector's tables.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Database.h"

namespace vedris::results::window {

struct SourceSummary {
    int64_t id = 0;
    std::string path, kind, label, importedAt;
    int64_t files = 0, results = 0;
    int64_t newer = 0;      // results that made an older one of the same origin superseded
    int64_t superseded = 0; // results a later version replaced
    int64_t refused = 0;
    std::vector<std::pair<std::string, std::string>> refusals; // place, reason; the first few
};

struct AssessmentTotal {
    std::string assessment;
    int64_t results = 0, sources = 0;
};

// Newest source first; at most maxRefusals refusals are read per source.
std::vector<SourceSummary> readSources(Database& db, size_t maxRefusals);
// Only the newest version of every result, as the tables have it.
std::vector<AssessmentTotal> readTotals(Database& db);
void setSourceLabel(Database& db, int64_t sourceId, const std::string& label);

} // namespace vedris::results::window
