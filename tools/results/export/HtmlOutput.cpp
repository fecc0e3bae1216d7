// The report: one page that opens anywhere without a network or scripts. Charts are inline
// SVG and the style is in the page; every text from the database is escaped.
#include <cstdio>

#include "Names.h"
#include "Outputs.h"
#include "StagedFile.h"
#include "Texts.h"

namespace vedris::results {

namespace {

constexpr std::int64_t MaxListedTexts = 1000;
constexpr size_t MaxBarLabelChars = 40;
constexpr int BarHeight = 22, LabelWidth = 300, BarWidth = 320;

constexpr const char* Style =
    "body{font-family:sans-serif;margin:2em;max-width:60em;color:#222}"
    "h2{border-bottom:2px solid #369;margin-top:2em}h3{margin-bottom:.3em}"
    "svg text{font-size:13px;dominant-baseline:middle}rect{fill:#369}"
    ".na{color:#666}.n{color:#666}li{white-space:pre-wrap}";

std::string escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            // Control characters other than tab and line breaks are not allowed in HTML.
            if (static_cast<unsigned char>(c) >= ' ' || c == '\t' || c == '\n' || c == '\r')
                out += c;
        }
    }
    return out;
}

std::string share(std::int64_t count, std::int64_t total) {
    return percentText(total > 0 ? double(count) / double(total) : 0);
}

class HtmlOutput : public Output {
public:
    HtmlOutput(const std::string& path, const std::string& database, bool allVersions)
        : file_(path) {
        file_.write(std::string("<!DOCTYPE html>\n<html lang=\"uk\"><head><meta charset=\"utf-8\">"
                                "<meta name=\"viewport\" content=\"width=device-width\"><title>") +
                    texts::ReportTitle + "</title><style>" + Style + "</style></head><body>\n<h1>" +
                    texts::ReportTitle + "</h1>\n<p>" +
                    escape(texts::format(texts::ReportDatabase, {database})) + "<br>" +
                    (allVersions ? texts::ReportAllVersions : texts::ReportNewestOnly) + "</p>\n");
    }
    const std::string& target() const override { return file_.path(); }
    void add(const AssessmentQuery& assessment) override;
    std::string finish() override {
        if (assessments_ == 0)
            file_.write(std::string("<p>") + texts::NoResults + "</p>\n");
        file_.write("</body></html>\n");
        file_.commit();
        return texts::format(texts::HtmlWritten, {file_.path(), std::to_string(assessments_)});
    }

private:
    void writeResponse(const ResponseLayout& response, const AssessmentQuery& assessment);
    void writeChart(const ResponseLayout& response, const AssessmentQuery& assessment);
    void writeTexts(const ResponseLayout& response, const AssessmentQuery& assessment);

    StagedFile file_;
    int assessments_ = 0;
};

void HtmlOutput::add(const AssessmentQuery& assessment) {
    file_.write("<section>\n<h2>" + escape(assessment.title()));
    if (assessment.title() != assessment.ident())
        file_.write(" <small>(" + escape(assessment.ident()) + ")</small>");
    file_.write("</h2>\n<p>" +
                texts::format(texts::ReportCounts, {std::to_string(assessment.results()),
                                                    std::to_string(assessment.sources())}) +
                "</p>\n");
    const auto& responses = assessment.responses();
    for (size_t i = 0; i < responses.size(); ++i) {
        bool newItem = i == 0 || responses[i - 1].item != responses[i].item;
        bool several = (i > 0 && !newItem) ||
                       (i + 1 < responses.size() && responses[i + 1].item == responses[i].item);
        if (newItem)
            file_.write("<h3>" + escape(responses[i].itemTitle) + "</h3>\n");
        if (several)
            file_.write("<h4>" + escape(responses[i].response) + "</h4>\n");
        writeResponse(responses[i], assessment);
    }
    file_.write("</section>\n");
    ++assessments_;
}

void HtmlOutput::writeResponse(const ResponseLayout& response, const AssessmentQuery& assessment) {
    if (response.choice)
        writeChart(response, assessment);
    else
        writeTexts(response, assessment);
    const std::int64_t total = assessment.results();
    std::int64_t na = total > response.answered ? total - response.answered : 0;
    file_.write("<p class=\"na\">" +
                texts::format(texts::ReportNa,
                              {std::to_string(na), std::to_string(total), share(na, total)}) +
                "</p>\n");
}

// Horizontal bars: the choice's text, a bar as long as its share of all results, the count.
void HtmlOutput::writeChart(const ResponseLayout& response, const AssessmentQuery& assessment) {
    const std::int64_t total = assessment.results();
    const int height = BarHeight * static_cast<int>(response.options.size()) + 4;
    std::string label = escape(texts::format(texts::ReportChart, {response.heading()}));
    file_.write("<svg role=\"img\" aria-label=\"" + label + "\" width=\"" +
                std::to_string(LabelWidth + BarWidth + 120) + "\" height=\"" +
                std::to_string(height) + "\">\n");
    int y = 2;
    for (const ChoiceOption& option : response.options) {
        std::int64_t count = assessment.countOf(response, option.value);
        double part = total > 0 ? double(count) / double(total) : 0;
        int width = static_cast<int>(part * BarWidth + 0.5);
        std::string shown = utf8Prefix(option.text, MaxBarLabelChars);
        if (shown != option.text)
            shown += "…";
        char geometry[160];
        std::snprintf(geometry, sizeof geometry,
                      "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"/>", LabelWidth, y + 3,
                      width, BarHeight - 6);
        file_.write("<g><title>" + escape(option.text) + "</title><text x=\"0\" y=\"" +
                    std::to_string(y + BarHeight / 2) + "\">" + escape(shown) + "</text>" +
                    geometry + "<text x=\"" + std::to_string(LabelWidth + width + 6) + "\" y=\"" +
                    std::to_string(y + BarHeight / 2) + "\">" + std::to_string(count) + " (" +
                    share(count, total) + ")</text></g>\n");
        y += BarHeight;
    }
    file_.write("</svg>\n");
}

void HtmlOutput::writeTexts(const ResponseLayout& response, const AssessmentQuery& assessment) {
    if (response.answered == 0) {
        file_.write(std::string("<p>") + texts::ReportNoAnswers + "</p>\n");
        return;
    }
    file_.write(std::string("<p>") + texts::ReportAnswers + "</p>\n<ul>\n");
    assessment.forEachValue(
        response, MaxListedTexts, [&](const std::string& value, std::int64_t count) {
            file_.write("<li>" + escape(value));
            if (count > 1)
                file_.write(" <span class=\"n\">(" + std::to_string(count) + ")</span>");
            file_.write("</li>\n");
        });
    std::int64_t more = assessment.distinctValues(response) - MaxListedTexts;
    if (more > 0)
        file_.write("<li>" + texts::format(texts::MoreAnswers, {std::to_string(more)}) + "</li>\n");
    file_.write("</ul>\n");
}

} // namespace

std::unique_ptr<Output> makeHtmlOutput(const std::string& path, const std::string& database,
                                       bool allVersions) {
    return std::make_unique<HtmlOutput>(path, database, allVersions);
}

} // namespace vedris::results
