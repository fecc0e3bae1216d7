// PLACEHOLDER until the exports land: lets vedris-results link without them. Built only when
// tools/results/export/ has no CMakeLists.txt of its own; delete this file with that merge.
#include <iostream>

#include "Export.h"

namespace vedris::results {

int runExport(const ExportOptions& options) {
    if (options.database.empty())
        return 2;
    std::cerr << "Експорт у цій збірці ще недоступний.\n";
    return 1;
}

} // namespace vedris::results
