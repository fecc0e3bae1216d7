#include "Wrap.h"

#include <filesystem>
#include <stdexcept>

#include "HtmlScan.h"
#include "Messages.h"
#include "QtiChecks.h"

namespace vedris::assessments {

namespace {

std::string trimmed(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

// The bank's own name, as exports write it in its metadata (Canvas: bank_title).
std::string bankTitle(xml::Node root) {
    xml::Node field = root.selectFirst(
        "objectbank/qtimetadata/qtimetadatafield[fieldlabel = 'bank_title']/fieldentry");
    if (field && !trimmed(field.text()).empty())
        return trimmed(field.text());
    xml::Node bank = root.selectFirst("objectbank[@title]");
    return bank ? trimmed(bank.attribute("title")) : std::string();
}

} // namespace

bool UsableIdent(const std::string& ident) {
    return !trimmed(ident).empty() && ident.find('"') == std::string::npos;
}

Wrapped WrapItems(const xml::Document& source, const std::string& fileName, std::string ident,
                  std::string title) {
    xml::Node root = source.documentElement();
    if (xml::Node assessment = root ? root.selectFirst("assessment") : xml::Node())
        throw std::runtime_error(
            text::format(msg::WrapHasAssessment, {fileName, std::to_string(assessment.line())}));
    std::vector<xml::Node> items = source.selectAll("//item");
    if (items.empty())
        throw std::runtime_error(text::format(msg::WrapNoItems, {fileName}));
    std::string stem = std::filesystem::path(fileName).stem().string();
    if (ident.empty())
        ident = trimmed(stem);
    if (!UsableIdent(ident))
        throw std::runtime_error(msg::WrapBadIdent);
    if (title.empty())
        title = bankTitle(root);
    if (title.empty())
        title = stem;

    Wrapped out;
    out.document = xml::Document::parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                        "<questestinterop>\n<assessment ident=\"" +
                                        EscapeHtml(ident) + "\" title=\"" + EscapeHtml(title) +
                                        "\">\n<section ident=\"S1\">\n</section>\n</assessment>\n"
                                        "</questestinterop>\n");
    xml::Node section = out.document.selectFirst("/questestinterop/assessment/section");
    for (xml::Node item : items)
        section.appendChild(out.document.importCopy(item));
    for (xml::Node ref : source.selectAll("//itemref | //sectionref"))
        out.warnings.push_back(text::format(msg::WrapReference,
                                           {fileName, std::to_string(ref.line()),
                                            ref.name() + " «" + ref.attribute("linkrefid") + "»"}));
    for (const Finding& f : IdentityProblems(source, fileName, false))
        out.problems.push_back(f.text);
    out.ident = ident;
    out.title = title;
    out.items = items.size();
    return out;
}

} // namespace vedris::assessments
