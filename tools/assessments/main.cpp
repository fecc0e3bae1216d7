// vedris-assessments: makes assessment pages and installation folders from QTI files and
// checks installation folders. Exit status: 0 done, 1 problems found, 2 wrong use.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "Installation.h"
#include "Messages.h"
#include "PageMaker.h"
#include "QTIDomain/uStorageManager.h"
#include "QtiChecks.h"
#include "Wrap.h"
#include "platform/fs/AtomicFile.h"

using namespace vedris;
using namespace vedris::assessments;

namespace {

int wrongUse(const std::string& text) {
    std::cerr << text << "\n" << msg::SeeHelp << "\n";
    return 2;
}

// One line per problem: line breaks inside a message (the storage's own texts have them)
// become spaces.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

int finish(const Report& report) {
    for (const std::string& line : report.warnings)
        std::cerr << oneLine(line) << "\n";
    for (const std::string& line : report.problems)
        std::cerr << oneLine(line) << "\n";
    return report.problems.empty() ? 0 : 1;
}

// A command's arguments: one input file and options, each given once; those with a value take
// the next argument. False on anything else.
bool parseArguments(const std::vector<std::string>& args, std::vector<std::string> withValue,
                    std::vector<std::string> flags, std::string& input,
                    std::map<std::string, std::string>& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool valued = std::find(withValue.begin(), withValue.end(), a) != withValue.end();
        bool flag = std::find(flags.begin(), flags.end(), a) != flags.end();
        if ((valued || flag) && options.count(a))
            return false;
        if (valued && i + 1 < args.size())
            options[a] = args[++i];
        else if (flag)
            options[a] = "";
        else if (input.empty() && !a.empty() && a[0] != '-')
            input = a;
        else
            return false;
    }
    return !input.empty();
}

// A warning when the file's declaration belies its bytes; nothing when it cannot be read
// (the reading itself reports that).
void encodingWarning(const std::string& file, Report& report) {
    try {
        std::string warning = MisdeclaredEncoding(fs::readFile(file), file);
        if (!warning.empty())
            report.warnings.push_back(warning);
    } catch (const std::exception&) {
    }
}

int page(const std::vector<std::string>& args) {
    std::string input;
    std::map<std::string, std::string> options;
    if (!parseArguments(args, {"-o"}, {"--preview"}, input, options))
        return wrongUse(text::format(msg::WrongArguments, {"page"}));
    std::string output = options.count("-o") ? options["-o"] : std::string();
    Report report;
    encodingWarning(input, report);
    try {
        Page made = MakePage(LoadAssessmentDocument(input), input, options.count("--preview"));
        report.warnings.insert(report.warnings.end(), made.warnings.begin(), made.warnings.end());
        // The page is written all the same: the author sees what the candidate would.
        report.problems = made.problems;
        if (output.empty())
            std::cout << made.html << std::flush;
        else
            fs::writeFileAtomically(output, made.html);
    } catch (const std::exception& e) {
        report.problems.push_back(e.what());
    }
    return finish(report);
}

int folder(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return wrongUse(text::format(msg::WrongArguments, {"folder"}));
    std::vector<std::string> files(args.begin() + 1, args.end());
    Report report = MakeFolder(args[0], files);
    int status = finish(report);
    if (status == 0)
        std::cerr << text::format(msg::FolderDone, {args[0], std::to_string(files.size())}) << "\n";
    return status;
}

int wrap(const std::vector<std::string>& args) {
    std::string input;
    std::map<std::string, std::string> options;
    if (!parseArguments(args, {"-o", "--ident", "--title"}, {}, input, options))
        return wrongUse(text::format(msg::WrongArguments, {"wrap"}));
    if (options.count("--ident") && !UsableIdent(options["--ident"]))
        return wrongUse(msg::WrapBadIdent);
    Report report;
    encodingWarning(input, report);
    try {
        Wrapped made =
            WrapItems(LoadAssessmentDocument(input), input, options["--ident"], options["--title"]);
        report.warnings.insert(report.warnings.end(), made.warnings.begin(), made.warnings.end());
        report.problems = made.problems;
        if (options.count("-o"))
            made.document.save(options["-o"]);
        else
            std::cout << made.document.toString() << std::flush;
        std::cerr << text::format(msg::WrapDone,
                                 {options.count("-o") ? options["-o"] : "-", made.title, made.ident,
                                  std::to_string(made.items)})
                  << "\n";
    } catch (const std::exception& e) {
        report.problems.push_back(e.what());
    }
    return finish(report);
}

int check(const std::vector<std::string>& args) {
    if (args.size() != 1)
        return wrongUse(text::format(msg::WrongArguments, {"check"}));
    int checked = 0;
    std::error_code ec;
    Report report;
    if (std::filesystem::is_regular_file(args[0], ec)) {
        report = CheckFile(args[0]);
        checked = 1;
    } else if (!std::filesystem::exists(args[0], ec)) {
        report.problems.push_back(text::format(msg::CheckFileNotFound, {args[0]}));
    } else {
        report = CheckFolder(args[0], &checked);
    }
    int status = finish(report);
    if (status == 0)
        std::cerr << text::format(msg::CheckPassed, {std::to_string(checked)}) << "\n";
    else
        std::cerr << text::format(msg::CheckFailed,
                                 {std::to_string(checked), std::to_string(report.problems.size())})
                  << "\n";
    return status;
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
        if (command == "page")
            return page(args);
        if (command == "folder")
            return folder(args);
        if (command == "check")
            return check(args);
        if (command == "wrap")
            return wrap(args);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return wrongUse(text::format(msg::UnknownCommand, {command}));
}
