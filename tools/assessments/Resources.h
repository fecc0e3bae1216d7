#pragma once
// Files built into the tool: those every installation gets as they stand in the bundled demo
// folder, and the tool's own templates (resources/), whose {{name}} places FillTemplate fills.
#include <string>
#include <utility>
#include <vector>

namespace vedris::assessments {

// ims_qtiasi2res.xslt: derives the empty result of an assessment.
std::string ResultStylesheet();
// anketa.css: the look of the assessment pages.
std::string SharedStyle();
// The start page of a made installation, its style, and one line of its menu.
std::string IndexPageTemplate();
std::string IndexStyle();
std::string IndexLinkTemplate();
// The style of the author's notes in a preview page.
std::string PreviewStyle();

// The template with every {{name}} of values replaced by its value (already escaped for
// where it stands); unknown places stay as they are.
std::string FillTemplate(const std::string& text,
                         const std::vector<std::pair<std::string, std::string>>& values);

} // namespace vedris::assessments
