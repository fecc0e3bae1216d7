#include "Catalogue.h"

#include <algorithm>
#include <filesystem>

#include "QTIDomain/uBinders.h"
#include "Texts.h"
#include "platform/text/AsciiCase.h"
#include "platform/xml/XmlDocument.h"

namespace vedris::results {

namespace {

// Label texts come from indented markup: one line, single spaces.
std::string collapseSpaces(const std::string& text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

bool isResponseElement(const xml::Node& node) {
    const std::string name = text::asciiLower(node.name());
    return name == "response_lid" || name == "response_str" || name == "response_num" ||
           name == "response_xy" || name == "response_grp";
}

QtiResponse readResponse(xml::Node response, const std::string& item, const std::string& title) {
    QtiResponse out{item, title, response.attribute("ident"), false, {}};
    TBinderKind kind = BinderKindOf(response);
    out.choice = kind == TBinderKind::RadioCheck || kind == TBinderKind::Select;
    if (!out.choice)
        return out;
    for (xml::Node label : response.selectAll(".//response_label")) {
        std::string value = label.attribute("ident");
        std::string shown = collapseSpaces(label.text());
        out.options.push_back({value, shown.empty() ? value : shown});
    }
    return out;
}

QtiAssessment readAssessment(xml::Node assessment) {
    QtiAssessment out{assessment.attribute("ident"), assessment.attribute("title"), {}};
    for (xml::Node item : assessment.selectAll(".//item")) {
        const std::string ident = item.attribute("ident");
        std::string title = collapseSpaces(item.attribute("title"));
        if (title.empty())
            title = ident;
        item.forEachElementBelow([&](xml::Node node) {
            if (isResponseElement(node))
                out.responses.push_back(readResponse(node, ident, title));
        });
    }
    return out;
}

std::vector<std::filesystem::path> xmlFilesIn(const std::string& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::error_code ec;
        if (entry.is_regular_file(ec) &&
            text::asciiLower(entry.path().extension().string()) == ".xml")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

Catalogue readCatalogue(const std::string& folder, std::vector<std::string>& warnings) {
    Catalogue catalogue;
    std::vector<std::filesystem::path> files;
    try {
        files = xmlFilesIn(folder);
    } catch (const std::filesystem::filesystem_error& e) {
        warnings.push_back(texts::format(texts::QtiUnreadable, {folder, e.what()}));
    }
    for (const auto& path : files) {
        try {
            xml::Document document = xml::Document::load(path.string());
            document.dropElementNamespaces();
            for (xml::Node node : document.selectAll("//assessment")) {
                QtiAssessment assessment = readAssessment(node);
                catalogue.emplace(assessment.ident, std::move(assessment));
            }
        } catch (const std::exception& e) {
            // libxml2's text has a line per problem; a warning is one line.
            std::string reason = e.what();
            std::replace(reason.begin(), reason.end(), '\n', ' ');
            warnings.push_back(texts::format(texts::QtiUnreadable, {path.string(), reason}));
        }
    }
    return catalogue;
}

} // namespace vedris::results
