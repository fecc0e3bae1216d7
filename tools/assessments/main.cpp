// vedris-assessments: makes assessment pages and installation folders from QTI files and
// checks installation folders. Exit status: 0 done, 1 problems found, 2 wrong use.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "Installation.h"
#include "Messages.h"
#include "PageMaker.h"
#include "QTIDomain/uStorageManager.h"
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

int page(const std::vector<std::string>& args) {
    std::string input, output;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size() && output.empty())
            output = args[++i];
        else if (input.empty() && !args[i].empty() && args[i][0] != '-')
            input = args[i];
        else
            return wrongUse(msg::Format(msg::WrongArguments, {"page"}));
    }
    if (input.empty())
        return wrongUse(msg::Format(msg::WrongArguments, {"page"}));
    Report report;
    try {
        Page made = MakePage(LoadAssessmentDocument(input), input);
        report.warnings = made.warnings;
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
        return wrongUse(msg::Format(msg::WrongArguments, {"folder"}));
    std::vector<std::string> files(args.begin() + 1, args.end());
    Report report = MakeFolder(args[0], files);
    int status = finish(report);
    if (status == 0)
        std::cerr << msg::Format(msg::FolderDone, {args[0], std::to_string(files.size())}) << "\n";
    return status;
}

int check(const std::vector<std::string>& args) {
    if (args.size() != 1)
        return wrongUse(msg::Format(msg::WrongArguments, {"check"}));
    int checked = 0;
    Report report = CheckFolder(args[0], &checked);
    int status = finish(report);
    if (status == 0)
        std::cerr << msg::Format(msg::CheckPassed, {std::to_string(checked)}) << "\n";
    else
        std::cerr << msg::Format(msg::CheckFailed,
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
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return wrongUse(msg::Format(msg::UnknownCommand, {command}));
}
