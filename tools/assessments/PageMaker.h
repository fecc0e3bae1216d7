#pragma once
// Writes the HTML page of an assessment: one form whose controls are named and typed
// exactly as the client binds the assessment's responses.
#include <string>
#include <vector>

#include "platform/xml/XmlDocument.h"

namespace vedris::assessments {

struct Page {
    std::string html;                  // UTF-8
    std::vector<std::string> warnings; // one Ukrainian line each
    std::vector<std::string> images;   // relative addresses of the images the page shows
};

// The page for an assessment document read as the client reads it (namespaces dropped).
// fileName names the file in warnings.
Page MakePage(const xml::Document& assessment, const std::string& fileName);

// The assessment's title; fallback when it has none.
std::string AssessmentTitle(const xml::Document& assessment, const std::string& fallback);

} // namespace vedris::assessments
