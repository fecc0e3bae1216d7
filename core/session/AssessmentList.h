#pragma once
// The list of assessments a client handles, and how a loaded page is recognised as one
// of them.
#include <string>
#include <vector>

namespace vedris {

// Splits a delimited text the way the settings line "ClientAssessments" is written:
// entries separated by the delimiter or by blanks (codes 1..32), an entry starting with
// the quote character running to the next single quote character (a doubled one stands
// for one), characters above 127 ordinary, empty entries kept (two delimiters in a row,
// a delimiter at the very end). An empty or blank text gives an empty list. A NUL ends the text.
std::vector<std::string> ParseDelimitedText(const std::string& text, char quoteChar = '#',
                                            char delimiter = ',');

// Unicode lower-casing of UTF-8 text (ASCII lower-casing when the text is not UTF-8).
std::string LowerCase(const std::string& text);

// The assessment list of a settings value: the whole value lower-cased, then split with
// "#" as the quote character and "," as the delimiter.
std::vector<std::string> ParseAssessmentList(const std::string& setting);

// The name a page is known by: the text after the last "/", "\" or ":" of its path, up to
// its last "." (the whole of it when there is none), lower-cased.
std::string PageNameFromPath(const std::string& path);

// folder + fileName when that file exists; otherwise the file of the folder whose name equals
// fileName without regard to case (the first in name order), so that an assessment shipped
// as "Anketa.XML" is found under its lower-cased list name; folder + fileName when there is
// none. folder ends with "/".
std::string FileInFolderIgnoringCase(const std::string& folder, const std::string& fileName);

// True when a list entry can name a file of the assessments folder: it holds no "/", "\" or
// NUL and is not "." or "..", so it can never lead into another folder.
bool IsAssessmentName(const std::string& name);

// The assessment file of a list entry: FileInFolderIgnoringCase(folder, name + ".xml").
// Raises std::runtime_error with a Ukrainian message naming the entry when the entry is not
// an assessment name; such an entry is never used as a path.
std::string AssessmentFileFor(const std::string& folder, const std::string& name);

// Index of the first entry equal to name, or -1.
int IndexOfName(const std::vector<std::string>& list, const std::string& name);

} // namespace vedris
