#pragma once
// Installation folders: making one from QTI files, and checking one as the client will use it.
#include <string>
#include <vector>

namespace vedris::assessments {

struct Report {
    std::vector<std::string> problems; // each one line, naming its file
    std::vector<std::string> warnings; // things noted that do not stop the client
};

// Assessment names for the given QTI files: file names without extension, lower-cased,
// reduced to a-z, 0-9, "_" and "-", never "index" and never twice the same.
std::vector<std::string> AssessmentNames(const std::vector<std::string>& files);

// Makes an installation in folder: Assessments/ with index.html, a page and a copy of each
// file, the images they show when they lie beside them, the result stylesheet and the
// shared style; and vedris.ini listing the assessments. Refuses a folder that already holds
// an installation (nothing there is touched), and writes nothing when a file cannot be read.
Report MakeFolder(const std::string& folder, const std::vector<std::string>& files);

// Checks an installation folder (vedris.ini and its assessments folder) against what the
// client needs of it.
Report CheckFolder(const std::string& folder, int* assessmentsChecked = nullptr);

// Checks one QTI file as the page maker reads it: what keeps its page from storing every
// answer (problems), and what the page cannot show or the bytes belie (warnings).
Report CheckFile(const std::string& file);

} // namespace vedris::assessments
