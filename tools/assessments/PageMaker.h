#pragma once
// Writes the HTML page of an assessment: one form whose controls are named and typed
// exactly as the client binds the assessment's responses.
#include <string>
#include <vector>

#include "platform/xml/XmlDocument.h"

namespace vedris::assessments {

struct PageImage {
    std::string address; // relative, as the page shows it
    int line = 0;        // of the material that shows it
};

struct Page {
    std::string html;                  // UTF-8
    std::vector<std::string> warnings; // one Ukrainian line each
    // What keeps the page from storing every answer it asks for (no assessment, idents that
    // mix answers, responses without choices): the page is made all the same.
    std::vector<std::string> problems;
    std::vector<PageImage> images; // the images the page shows
};

// The page for an assessment document read as the client reads it (namespaces dropped).
// fileName names the file in warnings. A preview shows the author every warning and problem
// beside the item it concerns; the candidate's page says only what a candidate needs.
Page MakePage(const xml::Document& assessment, const std::string& fileName, bool preview = false);

// The assessment's title; fallback when it has none.
std::string AssessmentTitle(const xml::Document& assessment, const std::string& fallback);

} // namespace vedris::assessments
