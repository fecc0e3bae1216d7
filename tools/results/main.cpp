// vedris-results: the regional working group's collector of results files. Exit status:
// 0 done, 1 something was refused or failed (the rest was done), 2 wrong use.
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "Database.h"
#include "Importer.h"
#include "Merge.h"
#include "Messages.h"
#include "export/Export.h"

using namespace vedris::results;

namespace {

int wrongUse(const std::string& text) {
    std::cerr << text << "\n" << msg::SeeHelp << "\n";
    return 2;
}

std::string countsLine(const char* format, const std::string& what, const ImportCounts& c) {
    const std::string added = std::to_string(c.added), results = std::to_string(c.results),
                      repeats = std::to_string(c.repeats), refused = std::to_string(c.refused);
    if (what.empty())
        return vedris::text::format(format, {added, results, repeats, refused});
    return vedris::text::format(format, {what, added, results, repeats, refused});
}

// A source's own failure names the source already; said once is enough.
std::string withoutPlace(const std::string& source, const std::string& reason) {
    std::string prefix = absolutePath(source) + ": ";
    return reason.rfind(prefix, 0) == 0 ? reason.substr(prefix.size()) : reason;
}

struct ImportArgs {
    std::string database, label;
    std::vector<std::string> sources;
    bool labelled = false;
};

bool parseImport(const std::vector<std::string>& args, ImportArgs& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--label" && i + 1 < args.size() && !out.labelled) {
            out.label = args[++i];
            out.labelled = true;
        } else if (args[i].rfind("--", 0) == 0 || args[i].empty()) {
            return false;
        } else if (out.database.empty()) {
            out.database = args[i];
        } else {
            out.sources.push_back(args[i]);
        }
    }
    return !out.sources.empty();
}

int importCommand(const std::vector<std::string>& args) {
    ImportArgs a;
    if (!parseImport(args, a))
        return wrongUse(vedris::text::format(msg::WrongArguments, {"import"}));
    std::unique_ptr<Database> db = Database::open(a.database);
    Progress progress(isatty(STDERR_FILENO) == 1);
    Importer importer(*db, a.label, progress, std::cerr);
    ImportCounts total;
    bool failed = false;
    for (const std::string& source : a.sources) {
        try {
            ImportCounts counts = importer.importSource(source);
            std::cerr << countsLine(msg::SourceDone, source, counts) << "\n";
            if (counts.skipped)
                std::cerr << vedris::text::format(msg::SourceSkippedOther,
                                                  {source, std::to_string(counts.skipped)})
                          << "\n";
            total += counts;
        } catch (const std::exception& e) {
            progress.clear();
            std::cerr << oneLine(vedris::text::format(msg::SourceFailed,
                                                      {source, withoutPlace(source, e.what())}))
                      << "\n";
            failed = true;
        }
    }
    if (a.sources.size() > 1)
        std::cerr << countsLine(msg::Summary, "", total) << "\n";
    return failed || total.refused ? 1 : 0;
}

int mergeCommand(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return wrongUse(vedris::text::format(msg::WrongArguments, {"merge"}));
    for (const std::string& arg : args)
        if (arg.empty() || arg.rfind("--", 0) == 0)
            return wrongUse(vedris::text::format(msg::WrongArguments, {"merge"}));
    std::unique_ptr<Database> db = Database::open(args[0]);
    bool failed = false;
    for (size_t i = 1; i < args.size(); ++i) {
        try {
            ImportCounts c = mergeDatabase(*db, args[i], std::cerr);
            std::cerr << vedris::text::format(msg::MergeDone,
                                              {args[i], std::to_string(c.added),
                                               std::to_string(c.results), std::to_string(c.repeats),
                                               std::to_string(c.refused)})
                      << "\n";
        } catch (const std::exception& e) {
            std::cerr << oneLine(vedris::text::format(msg::SourceFailed,
                                                      {args[i], withoutPlace(args[i], e.what())}))
                      << "\n";
            failed = true;
        }
    }
    return failed ? 1 : 0;
}

int exportCommand(const std::vector<std::string>& args) {
    ExportOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool hasValue = i + 1 < args.size();
        if (arg == "--all-versions")
            options.allVersions = true;
        else if (arg == "--xlsx" && hasValue)
            options.xlsx = args[++i];
        else if (arg == "--csv" && hasValue)
            options.csvFolder = args[++i];
        else if (arg == "--html" && hasValue)
            options.html = args[++i];
        else if (arg == "--assessments" && hasValue)
            options.assessmentsFolder = args[++i];
        else if (options.database.empty() && !arg.empty() && arg.rfind("--", 0) != 0)
            options.database = arg;
        else
            return wrongUse(vedris::text::format(msg::WrongArguments, {"export"}));
    }
    if (options.database.empty())
        return wrongUse(vedris::text::format(msg::WrongArguments, {"export"}));
    return runExport(options);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return wrongUse(msg::Usage);
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << msg::Usage;
        return 0;
    }
    std::string command = args[0];
    args.erase(args.begin());
    try {
        if (command == "import")
            return importCommand(args);
        if (command == "merge")
            return mergeCommand(args);
        if (command == "export")
            return exportCommand(args);
    } catch (const std::exception& e) {
        std::cerr << oneLine(e.what()) << "\n";
        return 1;
    }
    return wrongUse(vedris::text::format(msg::UnknownCommand, {command}));
}
