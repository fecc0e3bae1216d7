#pragma once
// Files every installation gets as they stand in the bundled demo folder, built into the tool.
#include <string>

namespace vedris::assessments {

// ims_qtiasi2res.xslt: derives the empty result of an assessment.
std::string ResultStylesheet();
// anketa.css: the look of the assessment pages.
std::string SharedStyle();

} // namespace vedris::assessments
