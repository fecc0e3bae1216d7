#include "WideTable.h"

#include <map>

#include "Texts.h"

namespace vedris::results {

namespace {

// Where each response's columns start, and how to find a response by its idents.
struct Columns {
    size_t fixed = 0;
    std::vector<size_t> start;
    std::map<std::pair<std::string, std::string>, size_t> byIdent;
    size_t total = 0;
};

Columns columnsOf(const AssessmentQuery& assessment) {
    Columns c;
    c.fixed = assessment.allVersions() ? 4 : 3;
    c.total = c.fixed;
    const auto& responses = assessment.responses();
    for (size_t i = 0; i < responses.size(); ++i) {
        c.start.push_back(c.total);
        c.byIdent.emplace(std::make_pair(responses[i].item, responses[i].response), i);
        c.total += 1 + (responses[i].choice ? responses[i].options.size() : 0);
    }
    return c;
}

std::vector<std::string> headings(const AssessmentQuery& assessment) {
    std::vector<std::string> out{texts::ColumnLabel, texts::ColumnSource, texts::ColumnDateTime};
    if (assessment.allVersions())
        out.push_back(texts::ColumnVersion);
    for (const ResponseLayout& response : assessment.responses()) {
        out.push_back(response.heading());
        if (response.choice)
            for (const ChoiceOption& option : response.options)
                out.push_back(response.heading() + ": " + option.text);
    }
    return out;
}

Cell text(std::string value) {
    return {value.empty() ? Cell::Kind::Empty : Cell::Kind::Text, std::move(value), 0};
}

// A response with a value gets 0 in every choice column it did not pick; one without any
// value keeps them empty, so that a column's average is the share among those who answered.
void addValue(const ResponseLayout& response, size_t start, const std::string& value,
              std::vector<Cell>& cells) {
    Cell& main = cells[start];
    if (main.kind == Cell::Kind::Empty) {
        main.kind = Cell::Kind::Text;
        for (size_t k = 0; response.choice && k < response.options.size(); ++k)
            cells[start + 1 + k] = {Cell::Kind::Number, {}, 0};
    } else {
        main.text += "; ";
    }
    main.text += value;
    auto option = response.optionIndex.find(value);
    if (response.choice && option != response.optionIndex.end())
        cells[start + 1 + option->second].number = 1;
}

void fillFixed(const Statement& result, bool allVersions, std::vector<Cell>& cells) {
    std::string source = result.text(2);
    if (!result.text(3).empty())
        source += " — " + result.text(3);
    cells[0] = text(result.text(1));
    cells[1] = text(source);
    cells[2] = result.text(4).empty() ? Cell{} : Cell{Cell::Kind::DateTime, result.text(4), 0};
    if (allVersions)
        cells[3] = text(result.integer(5) ? texts::VersionOlder : texts::VersionNewest);
}

} // namespace

void writeWideTable(const AssessmentQuery& assessment, RowSink& sink) {
    const Columns columns = columnsOf(assessment);
    sink.header(headings(assessment));
    sqlite3* db = assessment.connection().handle();
    Statement results(db, "SELECT r.id, s.label, f.place, f.sender, r.datetime, r.superseded "
                          "FROM temp.chosen c JOIN result r ON r.id = c.id JOIN file f ON "
                          "f.id = r.file_id JOIN source s ON s.id = f.source_id ORDER BY c.id");
    Statement values(db, "SELECT p.item, p.response, v.value FROM response p JOIN "
                         "response_value v ON v.response_id = p.id WHERE p.result_id = ?1 "
                         "ORDER BY p.position, v.position");
    std::vector<Cell> cells(columns.total);
    while (results.step()) {
        cells.assign(columns.total, Cell{});
        fillFixed(results, assessment.allVersions(), cells);
        values.reset();
        values.bind(1, results.integer(0));
        while (values.step()) {
            auto it = columns.byIdent.find({values.text(0), values.text(1)});
            if (it != columns.byIdent.end())
                addValue(assessment.responses()[it->second], columns.start[it->second],
                         values.text(2), cells);
        }
        if (!sink.row(cells))
            return;
    }
}

} // namespace vedris::results
