#pragma once
// Joining databases: the files of another database come in with their results, answers and
// places, under the repeat and version rules of the import.
#include <ostream>
#include <string>

#include "Database.h"
#include "Importer.h"

namespace vedris::results {

// Merges the database at otherPath into db in one transaction. Raises DatabaseError when the
// other file is not a database of this program or cannot be read; db is then unchanged.
ImportCounts mergeDatabase(Database& db, const std::string& otherPath, std::ostream& err);

} // namespace vedris::results
