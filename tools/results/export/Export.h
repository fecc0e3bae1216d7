#pragma once
// The export subcommand of vedris-results: wide tables (XLSX, CSV) and the HTML report read
// from a collector's database.
#include <string>

namespace vedris::results {

struct ExportOptions {
    std::string database;          // path of the SQLite file
    std::string xlsx;              // "" = none
    std::string csvFolder;         // "" = none
    std::string html;              // "" = none
    std::string assessmentsFolder; // "" = none: titles/choices/order come from the results only
    bool allVersions = false;      // false: only results with superseded = 0
};

// Writes every export asked for; messages (Ukrainian) on std::cerr. Returns 0, 1 (some
// export failed, what could be written was), or 2 (wrong use: no export named, no database).
int runExport(const ExportOptions& options);

} // namespace vedris::results
