#pragma once
// The wide table of an assessment, the same for the spreadsheet and the CSV files: a row per
// result (label, source, date and time, then a column per response and, for a choice, one
// 0/1 column per choice), produced one row at a time.
#include <string>
#include <vector>

#include "Assessment.h"

namespace vedris::results {

struct Cell {
    enum class Kind { Empty, Text, Number, DateTime };
    Kind kind = Kind::Empty;
    std::string text; // Text and DateTime ("YYYY-MM-DDTHH:MM:SS" as stored)
    double number = 0;
};

class RowSink {
public:
    virtual ~RowSink() = default;
    // Receives the column headings once, before the rows.
    virtual void header(const std::vector<std::string>& headings) = 0;
    // Receives one row; false stops the table (the sheet is full).
    virtual bool row(const std::vector<Cell>& cells) = 0;
};

// Sends the headings and then every chosen result of the assessment, in import order.
void writeWideTable(const AssessmentQuery& assessment, RowSink& sink);

} // namespace vedris::results
