// The spreadsheet: per assessment a sheet of results (the wide table) and a summary sheet
// with a bar chart per choice response. The workbook is written in libxlsxwriter's
// constant-memory mode: each row goes to a temporary file as soon as it is complete, so a
// hundred thousand results take no more memory than ten.
#include <xlsxwriter.h>

#include <cstdio>
#include <set>

#include "Names.h"
#include "Outputs.h"
#include "StagedFile.h"
#include "Texts.h"
#include "WideTable.h"

namespace vedris::results {

namespace {

constexpr lxw_row_t MaxRows = LXW_ROW_MAX;
constexpr lxw_col_t MaxColumns = LXW_COL_MAX;
// Excel holds at most 32,767 characters in a cell.
constexpr size_t MaxCellChars = 32767;
// How many different free-text answers a summary lists per response; the sheet of results
// has them all.
constexpr std::int64_t MaxListedTexts = 1000;
// Charts stand beside the summary's table, one under the other.
constexpr lxw_col_t ChartColumn = 7;
constexpr lxw_row_t ChartRows = 16;

struct WorkbookCloser {
    void operator()(lxw_workbook* workbook) const { workbook_close(workbook); }
};

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The file format writes characters XML cannot hold as "_xHHHH_" (the library does so for
// control characters), so an answer that itself holds such a sequence would be read back as
// another character; its underscore is written as "_x005F_" to keep the text as typed.
std::string escapeCodeSequences(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        bool sequence = text.compare(i, 2, "_x") == 0 && i + 6 < text.size() &&
                        isHex(text[i + 2]) && isHex(text[i + 3]) && isHex(text[i + 4]) &&
                        isHex(text[i + 5]) && text[i + 6] == '_';
        out += sequence ? "_x005F_" : text.substr(i, 1);
    }
    return out;
}

std::string cellString(const std::string& text) {
    if (utf8Length(text) <= MaxCellChars)
        return escapeCodeSequences(text);
    return escapeCodeSequences(utf8Prefix(text, MaxCellChars - utf8Length(texts::TextCut))) +
           texts::TextCut;
}

// "YYYY-MM-DDTHH:MM:SS" as the results files stamp it; false for anything else.
bool parseDateTime(const std::string& text, lxw_datetime& out) {
    int y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) !=
        6)
        return false;
    if (y < 1900 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 ||
        s > 59 || h < 0 || mi < 0 || s < 0)
        return false;
    out = {y, mo, d, h, mi, static_cast<double>(s)};
    return true;
}

struct Formats {
    lxw_format* heading;
    lxw_format* dateTime;
    lxw_format* percent;
};

class SheetSink : public RowSink {
public:
    SheetSink(lxw_worksheet* sheet, const Formats& formats, size_t fixed)
        : sheet_(sheet), formats_(formats), fixed_(fixed) {}
    void header(const std::vector<std::string>& headings) override {
        worksheet_set_column(sheet_, 0, static_cast<lxw_col_t>(fixed_ - 1), 22, nullptr);
        worksheet_set_column(sheet_, static_cast<lxw_col_t>(fixed_), MaxColumns - 1, 16, nullptr);
        worksheet_freeze_panes(sheet_, 1, static_cast<lxw_col_t>(fixed_));
        for (size_t c = 0; c < headings.size() && c < MaxColumns; ++c)
            worksheet_write_string(sheet_, 0, static_cast<lxw_col_t>(c),
                                   cellString(headings[c]).c_str(), formats_.heading);
        columnsCut = headings.size() > MaxColumns;
    }
    bool row(const std::vector<Cell>& cells) override {
        if (row_ + 1 >= MaxRows) {
            rowsCut = true;
            return false;
        }
        ++row_;
        for (size_t c = 0; c < cells.size() && c < MaxColumns; ++c)
            writeCell(static_cast<lxw_col_t>(c), cells[c]);
        return true;
    }
    lxw_row_t rowsWritten() const { return row_; }
    bool rowsCut = false, columnsCut = false;

private:
    void writeCell(lxw_col_t column, const Cell& cell) {
        lxw_datetime when{};
        switch (cell.kind) {
        case Cell::Kind::Empty:
            return;
        case Cell::Kind::Number:
            worksheet_write_number(sheet_, row_, column, cell.number, nullptr);
            return;
        case Cell::Kind::DateTime:
            if (parseDateTime(cell.text, when)) {
                worksheet_write_datetime(sheet_, row_, column, &when, formats_.dateTime);
                return;
            }
            [[fallthrough]];
        case Cell::Kind::Text:
            worksheet_write_string(sheet_, row_, column, cellString(cell.text).c_str(), nullptr);
        }
    }

    lxw_worksheet* sheet_;
    const Formats& formats_;
    size_t fixed_;
    lxw_row_t row_ = 0;
};

class XlsxOutput : public Output {
public:
    explicit XlsxOutput(const std::string& path) : file_(path) {
        file_.release();
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        workbook_.reset(workbook_new_opt(file_.temporaryPath().c_str(), &options));
        if (!workbook_)
            throw std::runtime_error(texts::format(texts::SpreadsheetLibrary, {"workbook_new"}));
        formats_.heading = workbook_add_format(workbook_.get());
        format_set_bold(formats_.heading);
        format_set_text_wrap(formats_.heading);
        formats_.dateTime = workbook_add_format(workbook_.get());
        format_set_num_format(formats_.dateTime, "yyyy-mm-dd hh:mm:ss");
        formats_.percent = workbook_add_format(workbook_.get());
        format_set_num_format(formats_.percent, "0.0%");
    }
    const std::string& target() const override { return file_.path(); }
    void add(const AssessmentQuery& assessment) override;
    std::string finish() override;

private:
    lxw_worksheet* addSheet(const std::string& wanted) {
        std::string name = uniqueSheetName(wanted, sheetNames_);
        lxw_worksheet* sheet = workbook_add_worksheet(workbook_.get(), name.c_str());
        if (!sheet)
            throw std::runtime_error(texts::format(texts::SpreadsheetLibrary, {name}));
        return sheet;
    }
    void writeSummary(lxw_worksheet* sheet, const std::string& sheetName,
                      const AssessmentQuery& assessment);
    lxw_row_t writeResponse(lxw_worksheet* sheet, lxw_row_t row, const ResponseLayout& response,
                            const AssessmentQuery& assessment);
    void writeCountRow(lxw_worksheet* sheet, lxw_row_t row, const ResponseLayout& response,
                       const ChoiceOption& value, std::int64_t count, std::int64_t total);
    void addChart(lxw_worksheet* sheet, const std::string& sheetName,
                  const ResponseLayout& response, lxw_row_t first, lxw_row_t last);

    StagedFile file_;
    std::unique_ptr<lxw_workbook, WorkbookCloser> workbook_;
    Formats formats_{};
    std::set<std::string> sheetNames_;
    std::vector<std::string> cut_;
    int assessments_ = 0, charts_ = 0;
};

void XlsxOutput::add(const AssessmentQuery& assessment) {
    lxw_worksheet* results = addSheet(assessment.title());
    SheetSink sink(results, formats_, assessment.allVersions() ? 4 : 3);
    writeWideTable(assessment, sink);
    if (sink.rowsCut)
        cut_.push_back(texts::format(texts::TooManyRows,
                                     {assessment.ident(), std::to_string(sink.rowsWritten())}));
    if (sink.columnsCut)
        cut_.push_back(
            texts::format(texts::TooManyColumns, {assessment.ident(), std::to_string(MaxColumns)}));
    std::string summaryName =
        uniqueSheetName(texts::SummaryPrefix + assessment.title(), sheetNames_);
    lxw_worksheet* summary = workbook_add_worksheet(workbook_.get(), summaryName.c_str());
    if (!summary)
        throw std::runtime_error(texts::format(texts::SpreadsheetLibrary, {summaryName}));
    charts_ = 0;
    writeSummary(summary, summaryName, assessment);
    ++assessments_;
}

void XlsxOutput::writeSummary(lxw_worksheet* sheet, const std::string& sheetName,
                              const AssessmentQuery& assessment) {
    worksheet_set_column(sheet, 0, 0, 28, nullptr);
    worksheet_set_column(sheet, 1, 3, 16, nullptr);
    worksheet_set_column(sheet, 4, 5, 11, nullptr);
    worksheet_write_string(sheet, 0, 0, texts::SummaryAssessment, formats_.heading);
    worksheet_write_string(sheet, 0, 1, cellString(assessment.title()).c_str(), nullptr);
    worksheet_write_string(sheet, 0, 2, cellString(assessment.ident()).c_str(), nullptr);
    worksheet_write_string(sheet, 1, 0, texts::SummaryResults, formats_.heading);
    worksheet_write_number(sheet, 1, 1, double(assessment.results()), nullptr);
    worksheet_write_string(sheet, 1, 2, texts::SummarySources, formats_.heading);
    worksheet_write_number(sheet, 1, 3, double(assessment.sources()), nullptr);
    const char* headings[] = {texts::SummaryItem,   texts::SummaryResponse, texts::SummaryValue,
                              texts::SummaryChoice, texts::SummaryCount,    texts::SummaryShare};
    for (lxw_col_t c = 0; c < 6; ++c)
        worksheet_write_string(sheet, 3, c, headings[c], formats_.heading);
    lxw_row_t row = 4;
    for (const ResponseLayout& response : assessment.responses()) {
        lxw_row_t first = row;
        row = writeResponse(sheet, row, response, assessment);
        if (response.choice && !response.options.empty())
            addChart(sheet, sheetName, response, first,
                     first + static_cast<lxw_row_t>(response.options.size()) - 1);
        if (row + 2 >= MaxRows)
            break;
    }
}

// A response's rows: each value with its count and share of all results, then NA.
lxw_row_t XlsxOutput::writeResponse(lxw_worksheet* sheet, lxw_row_t row,
                                    const ResponseLayout& response,
                                    const AssessmentQuery& assessment) {
    const std::int64_t total = assessment.results();
    if (response.choice) {
        for (const ChoiceOption& option : response.options)
            writeCountRow(sheet, row++, response, option,
                          assessment.countOf(response, option.value), total);
    } else {
        assessment.forEachValue(
            response, MaxListedTexts, [&](const std::string& value, std::int64_t count) {
                writeCountRow(sheet, row++, response, {value, ""}, count, total);
            });
        std::int64_t more = assessment.distinctValues(response) - MaxListedTexts;
        if (more > 0)
            writeCountRow(sheet, row++, response,
                          {"", texts::format(texts::MoreAnswers, {std::to_string(more)})}, -1, 0);
    }
    std::int64_t na = total > response.answered ? total - response.answered : 0;
    writeCountRow(sheet, row++, response, {texts::NaValue, texts::NaText}, na, total);
    return row + 1;
}

void XlsxOutput::writeCountRow(lxw_worksheet* sheet, lxw_row_t row, const ResponseLayout& response,
                               const ChoiceOption& value, std::int64_t count, std::int64_t total) {
    worksheet_write_string(sheet, row, 0, cellString(response.itemTitle).c_str(), nullptr);
    worksheet_write_string(sheet, row, 1, cellString(response.response).c_str(), nullptr);
    if (!value.value.empty())
        worksheet_write_string(sheet, row, 2, cellString(value.value).c_str(), nullptr);
    if (!value.text.empty())
        worksheet_write_string(sheet, row, 3, cellString(value.text).c_str(), nullptr);
    if (count < 0)
        return;
    worksheet_write_number(sheet, row, 4, double(count), nullptr);
    if (total > 0)
        worksheet_write_number(sheet, row, 5, double(count) / double(total), formats_.percent);
}

void XlsxOutput::addChart(lxw_worksheet* sheet, const std::string& sheetName,
                          const ResponseLayout& response, lxw_row_t first, lxw_row_t last) {
    lxw_chart* chart = workbook_add_chart(workbook_.get(), LXW_CHART_BAR);
    lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
    chart_series_set_categories(series, sheetName.c_str(), first, 3, last, 3);
    chart_series_set_values(series, sheetName.c_str(), first, 4, last, 4);
    // A title starting with "=" would be taken for a reference to a cell.
    std::string title = response.heading();
    if (title.front() == '=')
        title = " " + title;
    chart_title_set_name(chart, title.c_str());
    chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
    chart_axis_set_reverse(chart->y_axis);
    worksheet_insert_chart(sheet, 3 + ChartRows * static_cast<lxw_row_t>(charts_++), ChartColumn,
                           chart);
}

std::string XlsxOutput::finish() {
    if (assessments_ == 0) {
        lxw_worksheet* sheet = addSheet(texts::EmptySheet);
        worksheet_write_string(sheet, 0, 0, texts::NoResults, nullptr);
    }
    lxw_error error = workbook_close(workbook_.release());
    if (error != LXW_NO_ERROR)
        throw std::runtime_error(texts::format(texts::SpreadsheetLibrary, {lxw_strerror(error)}));
    file_.commit();
    std::string done =
        texts::format(texts::XlsxWritten, {file_.path(), std::to_string(assessments_)});
    if (!cut_.empty()) {
        for (const std::string& line : cut_)
            done += "\n" + file_.path() + ": " + line;
        throw PartlyWritten(done);
    }
    return done;
}

} // namespace

std::unique_ptr<Output> makeXlsxOutput(const std::string& path) {
    return std::make_unique<XlsxOutput>(path);
}

} // namespace vedris::results
