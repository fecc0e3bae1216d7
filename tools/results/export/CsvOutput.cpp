// CSV for the spreadsheets used in Ukraine: UTF-8 with a byte order mark (without it Excel
// reads the file as Windows-1251), ";" between fields since the decimal separator is a
// comma, every field quoted, no "sep=" line (Excel would then drop the mark and with it
// the Cyrillic).
#include <set>

#include "Names.h"
#include "Outputs.h"
#include "StagedFile.h"
#include "Texts.h"
#include "WideTable.h"
#include "platform/fs/SharedFolder.h"

namespace vedris::results {

namespace {

// A field that starts like a formula (= + - @, or a tab or carriage return that an import
// trimming spaces would take away before one) gets an apostrophe in front. Excel and
// LibreOffice both read a field starting with an apostrophe as plain text and show the
// apostrophe, so the reader sees that the value was guarded; an invisible guard (a leading
// tab or space) is taken away again by the "trim spaces" option of the import.
bool needsGuard(const std::string& value) {
    if (value.empty())
        return false;
    char c = value.front();
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

std::string csvField(const std::string& value) {
    std::string out = "\"";
    if (needsGuard(value))
        out += '\'';
    for (char c : value) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

std::string cellText(const Cell& cell) {
    if (cell.kind == Cell::Kind::Number)
        return std::to_string(static_cast<long long>(cell.number));
    return cell.text;
}

class CsvSink : public RowSink {
public:
    explicit CsvSink(StagedFile& file) : file_(file) {}
    void header(const std::vector<std::string>& headings) override {
        std::string line;
        for (const std::string& heading : headings)
            line += (line.empty() ? "" : ";") + csvField(heading);
        file_.write(line + "\r\n");
    }
    bool row(const std::vector<Cell>& cells) override {
        line_.clear();
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i)
                line_ += ';';
            line_ += csvField(cellText(cells[i]));
        }
        line_ += "\r\n";
        file_.write(line_);
        return true;
    }

private:
    StagedFile& file_;
    std::string line_;
};

class CsvOutput : public Output {
public:
    explicit CsvOutput(std::string folder) : folder_(std::move(folder)) {
        fs::createSharedFolder(folder_);
    }
    const std::string& target() const override { return folder_; }
    void add(const AssessmentQuery& assessment) override {
        std::string name = uniqueFileName(assessment.ident(), ".csv", names_);
        StagedFile file(folder_ + "/" + name);
        file.write("\xEF\xBB\xBF");
        CsvSink sink(file);
        writeWideTable(assessment, sink);
        file.commit();
        ++written_;
    }
    std::string finish() override {
        return texts::format(texts::CsvWritten, {folder_, std::to_string(written_)});
    }

private:
    std::string folder_;
    std::set<std::string> names_;
    int written_ = 0;
};

} // namespace

std::unique_ptr<Output> makeCsvOutput(const std::string& folder) {
    return std::make_unique<CsvOutput>(folder);
}

} // namespace vedris::results
