#include "Export.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <optional>

#include "Assessment.h"
#include "Catalogue.h"
#include "Outputs.h"
#include "Sqlite.h"
#include "Texts.h"

namespace vedris::results {

namespace {

// Every table and column the exports read, so that a file of another kind is refused at
// once and not half-way through writing.
constexpr const char* ReadColumns =
    "SELECT r.id, r.file_id, r.assessment, r.datetime, r.superseded, f.place, f.sender, "
    "f.origin, s.label, p.item, p.response, p.position, p.status, v.value, v.position "
    "FROM result r, file f, source s, response p, response_value v LIMIT 0";

std::optional<Connection> openDatabase(const std::string& path) {
    try {
        Connection connection = Connection::openReadOnly(path);
        try {
            Statement check(connection.handle(), ReadColumns);
            // One read transaction for the whole export: an import running meanwhile does
            // not make the summaries disagree with the rows.
            connection.execute("BEGIN");
            Statement snapshot(connection.handle(), "SELECT COUNT(*) FROM source");
            snapshot.step();
        } catch (const DbError& e) {
            std::cerr << texts::format(texts::NotCollectorDatabase, {path, e.what()}) << "\n";
            return std::nullopt;
        }
        return connection;
    } catch (const DbError& e) {
        std::cerr << texts::format(texts::DatabaseUnreadable, {path, e.what()}) << "\n";
        return std::nullopt;
    }
}

using Outputs = std::vector<std::unique_ptr<Output>>;

// Makes the outputs asked for; one that cannot even start is reported and left out.
Outputs startOutputs(const ExportOptions& options, bool& failed) {
    Outputs outputs;
    auto start = [&](const std::string& target, auto make) {
        if (target.empty())
            return;
        try {
            outputs.push_back(make());
        } catch (const std::exception& e) {
            std::cerr << texts::format(texts::ExportFailed, {target, e.what()}) << "\n";
            failed = true;
        }
    };
    start(options.xlsx, [&] { return makeXlsxOutput(options.xlsx); });
    start(options.csvFolder, [&] { return makeCsvOutput(options.csvFolder); });
    start(options.html,
          [&] { return makeHtmlOutput(options.html, options.database, options.allVersions); });
    return outputs;
}

// Hands one assessment to every output still going; one that fails is dropped (its
// temporary file goes with it) and the others carry on.
void addToOutputs(Outputs& outputs, const AssessmentQuery& assessment, bool& failed) {
    for (auto& output : outputs) {
        if (!output)
            continue;
        try {
            output->add(assessment);
        } catch (const std::exception& e) {
            std::cerr << texts::format(texts::ExportFailed, {output->target(), e.what()}) << "\n";
            output.reset();
            failed = true;
        }
    }
}

void finishOutputs(Outputs& outputs, bool& failed) {
    for (auto& output : outputs) {
        if (!output)
            continue;
        try {
            std::cerr << output->finish() << "\n";
        } catch (const PartlyWritten& e) {
            std::cerr << e.what() << "\n";
            failed = true;
        } catch (const std::exception& e) {
            std::cerr << texts::format(texts::ExportFailed, {output->target(), e.what()}) << "\n";
            failed = true;
        }
    }
}

const QtiAssessment* find(const Catalogue& catalogue, const std::string& ident) {
    auto it = catalogue.find(ident);
    return it == catalogue.end() ? nullptr : &it->second;
}

// On a terminal, one line that says which assessment is being written; erased at the end
// so that the messages after it stand alone.
void showProgress(size_t done, size_t total, const std::string& ident) {
    if (!::isatty(STDERR_FILENO))
        return;
    if (done == total)
        std::cerr << "\r\033[K" << std::flush;
    else
        std::cerr << "\r\033[K"
                  << texts::format(texts::Progress,
                                   {std::to_string(done + 1), std::to_string(total), ident})
                  << std::flush;
}

int checkUse(const ExportOptions& options) {
    std::error_code ec;
    if (options.database.empty())
        std::cerr << texts::NoDatabaseNamed << "\n";
    else if (options.xlsx.empty() && options.csvFolder.empty() && options.html.empty())
        std::cerr << texts::NoExportNamed << "\n";
    else if (!options.assessmentsFolder.empty() &&
             !std::filesystem::is_directory(options.assessmentsFolder, ec))
        std::cerr << texts::format(texts::NoAssessmentsFolder, {options.assessmentsFolder}) << "\n";
    else
        return 0;
    return 2;
}

// Every assessment to every output; a database that fails half-way raises, and the
// outputs not finished leave nothing behind.
int exportAll(const ExportOptions& options, Connection& connection, const Catalogue& catalogue) {
    bool failed = false;
    Outputs outputs = startOutputs(options, failed);
    const std::vector<std::string> idents = assessmentIdents(connection, options.allVersions);
    for (size_t i = 0; i < idents.size(); ++i) {
        showProgress(i, idents.size(), idents[i]);
        AssessmentQuery assessment(connection, idents[i], options.allVersions,
                                   find(catalogue, idents[i]));
        addToOutputs(outputs, assessment, failed);
    }
    showProgress(idents.size(), idents.size(), "");
    finishOutputs(outputs, failed);
    return failed ? 1 : 0;
}

} // namespace

int runExport(const ExportOptions& options) {
    if (int wrong = checkUse(options))
        return wrong;
    try {
        std::optional<Connection> connection = openDatabase(options.database);
        if (!connection)
            return 2;
        Catalogue catalogue;
        if (!options.assessmentsFolder.empty()) {
            std::vector<std::string> warnings;
            catalogue = readCatalogue(options.assessmentsFolder, warnings);
            for (const std::string& line : warnings)
                std::cerr << line << "\n";
        }
        return exportAll(options, *connection, catalogue);
    } catch (const DbError& e) {
        showProgress(0, 0, "");
        std::cerr << texts::format(texts::DatabaseUnreadable, {options.database, e.what()}) << "\n";
    } catch (const std::exception& e) {
        showProgress(0, 0, "");
        std::cerr << texts::format(texts::ExportStopped, {e.what()}) << "\n";
    }
    return 1;
}

} // namespace vedris::results
