#pragma once
// The three kinds of export. Each receives the assessments one after another and puts its
// file in place at finish; one that fails raises and is left out, the others go on.
#include <memory>
#include <stdexcept>
#include <string>

#include "Assessment.h"

namespace vedris::results {

class Output {
public:
    virtual ~Output() = default;
    // The file or folder written, for messages.
    virtual const std::string& target() const = 0;
    virtual void add(const AssessmentQuery& assessment) = 0;
    // Puts the output in place; returns the line that tells the user so. Problems that
    // left part of it out raise only after the rest is written, as PartlyWritten.
    virtual std::string finish() = 0;
};

// Something was written, but not all: the message says what is missing.
class PartlyWritten : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raise fs::WriteError (folder, files) or std::runtime_error with a reason.
std::unique_ptr<Output> makeCsvOutput(const std::string& folder);
std::unique_ptr<Output> makeXlsxOutput(const std::string& path);
std::unique_ptr<Output> makeHtmlOutput(const std::string& path, const std::string& database,
                                       bool allVersions);

} // namespace vedris::results
