#include "PageMaker.h"

#include <algorithm>
#include <filesystem>
#include <functional>

#include "HtmlScan.h"
#include "Messages.h"
#include "QTIDomain/uBinders.h"
#include "QtiChecks.h"
#include "Resources.h"

namespace vedris::assessments {

namespace {

std::string attr(const std::string& name, const std::string& value) {
    return " " + name + "=\"" + EscapeHtml(value) + "\"";
}

// A size worth writing: exports write 0 for "not given" (Blackboard's rows, columns and
// maxchars), and a maxlength of 0 would leave a field nobody can type in.
bool isNumber(const std::string& s) {
    if (s.empty() || s.size() > 4)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return s.find_first_not_of('0') != std::string::npos;
}

class PageWriter {
public:
    PageWriter(const std::string& fileName, bool preview, Page& page)
        : file_(fileName), preview_(preview), page_(page) {}

    void document(const xml::Document& doc) {
        xml::Node root = doc.documentElement();
        xml::Node assessment = root ? root.selectFirst("assessment") : xml::Node();
        head(AssessmentTitle(doc, std::filesystem::path(file_).stem().string()));
        if (!assessment)
            problem(text::format(msg::WarnNoAssessment, {file_, root ? where(root) : "1"}));
        // Every item and response that mixes answers counts, wherever it stands (the client
        // binds every item of the file); the preview shows each beside its item.
        findings_ = IdentityProblems(doc, file_);
        for (const Finding& f : findings_) {
            page_.problems.push_back(f.text);
            if (!f.item)
                authorNote(f.text);
        }
        // Without an action the form reloads its own page, which the client saves first and
        // fills again after.
        std::string form = "<form name=\"anketa\" method=\"get\">\n";
        if (assessment) {
            for (xml::Node n = assessment.firstChild(); n; n = n.nextSibling())
                if (n.name() == "presentation_material" || n.name() == "rubric")
                    intro(n);
            out_ += form;
            children(assessment);
        } else {
            out_ += form;
            if (root)
                children(root);
        }
        out_ += "<div class=\"dii\">\n<span class=\"pidkazka\">" + EscapeHtml(msg::SavedHint) +
                "</span>\n<button type=\"submit\">" + EscapeHtml(msg::SubmitButton) +
                "</button>\n</div>\n</form>\n</main>\n</body>\n</html>\n";
        page_.html = std::move(out_);
    }

private:
    void head(const std::string& title) {
        out_ += "<!DOCTYPE html>\n<html lang=\"uk\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                EscapeHtml(title) + "</title>\n<link rel=\"stylesheet\" href=\"anketa.css\">\n";
        if (preview_)
            out_ += "<style>\n" + PreviewStyle() + "</style>\n";
        out_ += "</head>\n<body>\n<main>\n";
        if (preview_)
            out_ += "<p class=\"avtoru\">" + EscapeHtml(msg::PreviewHeading) + "</p>\n";
        out_ += "<h1>" + EscapeHtml(title) + "</h1>\n";
    }

    void warn(const std::string& text) {
        page_.warnings.push_back(text);
        authorNote(text);
    }
    void problem(const std::string& text) {
        page_.problems.push_back(text);
        authorNote(text);
    }
    void authorNote(const std::string& text) {
        if (preview_)
            out_ += "<p class=\"avtoru\" role=\"note\">" + EscapeHtml(text) + "</p>\n";
    }
    std::string where(xml::Node n) const { return std::to_string(n.line()); }
    void note(const std::string& text) {
        out_ += "<span class=\"pidkazka\" role=\"note\">" + EscapeHtml(text) + "</span>\n";
    }

    void intro(xml::Node n) {
        out_ += "<div class=\"vstup\">";
        flow(n, nullptr);
        out_ += "</div>\n";
    }

    // Sections and items below the assessment, in document order.
    void children(xml::Node parent) {
        for (xml::Node n = parent.firstChild(); n; n = n.nextSibling()) {
            if (!n.isElement())
                continue;
            std::string name = n.name();
            if (name == "item") {
                item(n);
            } else if (name == "section" || name == "objectbank") {
                if (name == "section" && !n.attribute("title").empty())
                    out_ += "<h2>" + EscapeHtml(n.attribute("title")) + "</h2>\n";
                for (xml::Node c = n.firstChild(); c; c = c.nextSibling())
                    if (c.name() == "presentation_material" || c.name() == "rubric")
                        intro(c);
                children(n);
            } else if (name == "sectionref" || name == "itemref") {
                warn(text::format(msg::WarnReference,
                                 {file_, where(n), name + " «" + n.attribute("linkrefid") + "»"}));
            }
        }
    }

    void item(xml::Node item) {
        ++number_;
        std::string title = item.attribute("title");
        std::string legend =
            std::to_string(number_) + ". " +
            (title.empty() ? text::format(msg::QuestionNumber, {std::to_string(number_)}) : title);
        out_ += "<fieldset>\n<legend>" + EscapeHtml(legend) + "</legend>\n";
        for (const Finding& f : findings_)
            if (f.item == item)
                authorNote(f.text);
        itemTitle_ = title.empty() ? legend : title;
        for (xml::Node n = item.firstChild(); n; n = n.nextSibling())
            if (n.name() == "presentation")
                flow(n, &item);
        out_ += "</fieldset>\n";
    }

    // Material, flows and responses in document order. item is null outside items.
    void flow(xml::Node parent, const xml::Node* item) {
        for (xml::Node n = parent.firstChild(); n; n = n.nextSibling()) {
            if (!n.isElement())
                continue;
            std::string name = n.name();
            if (name == "material") {
                material(n);
            } else if (name == "flow" || name == "flow_mat" || name == "presentation_material") {
                flow(n, item);
            } else if (item && (name == "response_lid" || name == "response_str" ||
                                name == "response_num" || name == "response_xy" ||
                                name == "response_grp")) {
                response(*item, n);
            }
        }
    }

    // One material: its pieces in a block of their own, then a note for each piece the
    // client cannot show.
    void material(xml::Node material) {
        std::string html;
        bool hidden = false;
        for (xml::Node n = material.firstChild(); n; n = n.nextSibling())
            if (n.isElement())
                hidden = !piece(n, html) || hidden;
        if (!html.empty())
            out_ += "<div class=\"material\">" + html + "</div>\n";
        if (hidden)
            note(msg::PageNoteNotShown);
    }

    // Adds one piece of material to html; false when the client cannot show it (warned).
    bool piece(xml::Node n, std::string& html) {
        std::string name = n.name();
        if (name == "mattext") {
            html += isHtml(n) ? safeHtml(n) : EscapeHtml(n.text());
        } else if (name == "matemtext") {
            html += "<em>" + EscapeHtml(n.text()) + "</em>";
        } else if (name == "matbreak") {
            html += "<br>";
        } else if (name == "matimage" && !n.attribute("uri").empty()) {
            return image(n, html);
        } else if (name == "mat_extension") {
            // Formatted text of some exports (question text and options in HTML).
            bool shown = true;
            for (xml::Node c = n.firstChild(); c; c = c.nextSibling())
                if (c.isElement() && c.name() == "mat_formattedtext")
                    html += isHtml(c) ? safeHtml(c) : EscapeHtml(c.text());
                else if (c.isElement())
                    shown = notShown(c);
            return shown;
        } else if (name != "altmaterial") {
            // Sound, video, applets, applications, embedded images, references.
            return notShown(n);
        }
        return true;
    }

    bool notShown(xml::Node n) {
        warn(text::format(msg::WarnRendering, {file_, where(n), n.name()}));
        return false;
    }

    static bool isHtml(xml::Node n) {
        if (n.name() == "mat_formattedtext")
            return asciiLower(n.attribute("type")) != "plain_text";
        return asciiLower(n.attribute("texttype")) == "text/html";
    }

    std::string safeHtml(xml::Node n) {
        std::string safe = SanitizeHtml(n.text());
        ScanHtml(safe, [&](const HtmlTag& tag) {
            if (tag.name == "img" && !tag.end)
                if (const std::string* src = tag.attribute("src"))
                    page_.images.push_back({*src, n.line()});
        });
        return safe;
    }

    bool image(xml::Node n, std::string& html) {
        std::string uri = n.attribute("uri");
        if (!IsRelativeAddress(uri)) {
            warn(text::format(msg::WarnImageNotRelative, {file_, where(n), uri}));
            return false;
        }
        page_.images.push_back({uri, n.line()});
        html += "<img" + attr("src", uri) + attr("alt", n.attribute("label"));
        for (const char* size : {"width", "height"})
            if (isNumber(n.attribute(size)))
                html += attr(size, n.attribute(size));
        html += ">";
        return true;
    }

    // Plain text of the material of a label or option.
    std::string materialText(xml::Node parent) {
        std::string text;
        for (xml::Node m : parent.selectAll(".//mattext | .//matemtext | .//mat_formattedtext"))
            text += isHtml(m) ? HtmlToText(m.text()) : m.text();
        return text;
    }

    void response(xml::Node item, xml::Node response) {
        std::string name = item.attribute("ident") + "." + response.attribute("ident");
        // The client looks only for these three response kinds below an item.
        std::string element = response.name();
        bool bound =
            element == "response_lid" || element == "response_str" || element == "response_num";
        TBinderKind kind = bound ? BinderKindOf(response) : TBinderKind::None;
        std::string cardinality = asciiLower(response.attribute("rcardinality"));
        bool several = cardinality == "multiple" || cardinality == "ordered";
        if (kind == TBinderKind::None) {
            warn(text::format(msg::WarnNotBound, {file_, where(response), name,
                                                 bound ? element + " без render_fib" : element}));
            note(msg::PageNoteNotBound);
            return;
        }
        int fields = 0, options = 0;
        std::vector<std::pair<std::string, std::string>> selectOptions;
        auto field = [&](xml::Node fib) {
            ++fields;
            std::string label = itemTitle_ + (fields > 1 ? " " + std::to_string(fields) : "");
            if (kind == TBinderKind::InputText) {
                out_ += "<input type=\"text\"" + attr("name", name) + attr("aria-label", label);
                if (isNumber(fib.attribute("columns")))
                    out_ += attr("size", fib.attribute("columns"));
                if (isNumber(fib.attribute("maxchars")))
                    out_ += attr("maxlength", fib.attribute("maxchars"));
                out_ += " autocomplete=\"off\">\n";
            } else {
                std::string rows = fib.attribute("rows"), cols = fib.attribute("columns");
                out_ += "<textarea" + attr("name", name) + attr("aria-label", label) +
                        attr("rows", isNumber(rows) ? rows : "4") +
                        attr("cols", isNumber(cols) ? cols : "60") + "></textarea>\n";
            }
        };
        // Walks a rendering: material as it stands, each response_label as a control.
        std::function<void(xml::Node, xml::Node)> walk = [&](xml::Node parent, xml::Node render) {
            for (xml::Node n = parent.firstChild(); n; n = n.nextSibling()) {
                if (!n.isElement())
                    continue;
                std::string what = n.name();
                if (what == "material") {
                    if (kind == TBinderKind::Select)
                        continue; // a list shows only its options' own texts
                    material(n);
                } else if (what == "flow_label") {
                    walk(n, render);
                } else if (what == "response_label") {
                    ++options;
                    if (kind == TBinderKind::InputText || kind == TBinderKind::TextArea) {
                        field(render);
                    } else if (kind == TBinderKind::Select) {
                        std::string text = materialText(n);
                        selectOptions.emplace_back(n.attribute("ident"),
                                                   text.empty() ? n.attribute("ident") : text);
                    } else {
                        std::string text = materialText(n);
                        out_ += "<label class=\"variant\"><input" +
                                attr("type", several ? "checkbox" : "radio") + attr("name", name) +
                                attr("value", n.attribute("ident")) + ">" +
                                EscapeHtml(text.empty() ? n.attribute("ident") : text) +
                                "</label>\n";
                    }
                }
            }
        };
        for (xml::Node n = response.firstChild(); n; n = n.nextSibling()) {
            if (!n.isElement())
                continue;
            std::string what = n.name();
            if (what == "material") {
                material(n);
            } else if (what.rfind("render_", 0) == 0) {
                if (what == "render_hotspot") {
                    warn(text::format(msg::WarnRendering, {file_, where(n), what}));
                    note(msg::PageNoteHotspot);
                } else if (what != "render_choice" && what != "render_fib") {
                    warn(text::format(msg::WarnRendering, {file_, where(n), what}));
                    note(msg::PageNoteNotShown);
                }
                walk(n, n);
            }
        }
        if ((kind == TBinderKind::InputText || kind == TBinderKind::TextArea) && fields == 0)
            field(response.selectFirst(".//render_fib"));
        if (kind == TBinderKind::Select) {
            out_ += "<select" + attr("name", name) + attr("aria-label", itemTitle_) +
                    attr("size", std::to_string(std::max<size_t>(2, selectOptions.size()))) +
                    (several ? " multiple" : "") + ">\n";
            for (const auto& [value, text] : selectOptions)
                out_ += "<option" + attr("value", value) + ">" + EscapeHtml(text) + "</option>\n";
            out_ += "</select>\n";
        }
        if (options == 0 && (kind == TBinderKind::RadioCheck || kind == TBinderKind::Select))
            problem(text::format(msg::WarnNoOptions, {file_, where(response), name}));
    }

    std::string file_;
    bool preview_;
    Page& page_;
    std::vector<Finding> findings_;
    std::string out_;
    std::string itemTitle_;
    int number_ = 0;
};

} // namespace

std::string AssessmentTitle(const xml::Document& assessment, const std::string& fallback) {
    xml::Node root = assessment.documentElement();
    xml::Node a = root ? root.selectFirst("assessment") : xml::Node();
    std::string title = a ? a.attribute("title") : std::string();
    return title.empty() ? fallback : title;
}

Page MakePage(const xml::Document& assessment, const std::string& fileName, bool preview) {
    Page page;
    PageWriter(fileName, preview, page).document(assessment);
    return page;
}

} // namespace vedris::assessments
