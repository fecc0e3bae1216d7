#pragma once
// What the assessments' QTI files say about their results: the items' titles and order, and
// every choice a response offers, so that a choice nobody picked still gets its column.
#include <map>
#include <string>
#include <vector>

namespace vedris::results {

struct ChoiceOption {
    std::string value; // the response_label's ident, as results hold it
    std::string text;  // what the candidate read; the ident when the label has no text
};

struct QtiResponse {
    std::string item, itemTitle, response;
    bool choice = false;
    std::vector<ChoiceOption> options;
};

struct QtiAssessment {
    std::string ident, title;
    std::vector<QtiResponse> responses; // in the order of the file
};

// Assessments by ident.
using Catalogue = std::map<std::string, QtiAssessment>;

// Reads every *.xml file of folder (not below it) that holds an assessment; files without
// one are passed by. A file that cannot be read adds a line to warnings and the rest goes
// on. When two files hold the same ident, the first by name counts.
Catalogue readCatalogue(const std::string& folder, std::vector<std::string>& warnings);

} // namespace vedris::results
