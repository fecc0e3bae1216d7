#pragma once
// Reading one results file as the client writes it: the qti_result_report with one result
// per assessment, each response with its values. Checks what the tables rely on and reads
// nothing else, so results of clients with other stylesheets still come in.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vedris::results {

struct ResponseRecord {
    std::string item;                // item_result/@ident_ref
    std::string response;            // response/@ident_ref
    bool valid = false;              // some value is Valid
    std::vector<std::string> values; // the Valid ones, in file order
};

struct ResultRecord {
    std::string assessment; // assessment_result/@ident_ref
    std::string datetime;   // context/date/datetime, blanks trimmed; "" when none
    std::vector<ResponseRecord> responses;
};

// Bounds that keep a hostile or broken file from taking the memory: a real results.xml
// of hundreds of items is well under a megabyte and a few thousand elements.
struct FileLimits {
    size_t maxBytes = 16u << 20;
    size_t maxElements = 300'000; // counted as '<' before parsing, so the tree never grows past it
};

struct ReadOutcome {
    enum Kind { Accepted, NotResults, Refused };
    Kind kind = Refused;
    std::string reason; // Ukrainian, for a person; empty when accepted
    std::vector<ResultRecord> results;
};

// Parses and checks the bytes of one file through the xml layer (which refuses entity
// declarations). NotResults: well-formed XML of another kind (an assessment file beside the
// results on a stick), which folders, archives and mail skip quietly.
ReadOutcome readResultsFile(std::string_view bytes, const std::string& name,
                            const FileLimits& limits = {});

// Lower-case hex SHA-256 of the bytes.
std::string sha256Hex(std::string_view bytes);

// The datetime as a key that sorts by time: "YYYY-MM-DDTHH:MM:SS" with any one-character
// time separator read as ':'; "" for anything else (a result never submitted), which is older
// than every time.
std::string datetimeKey(const std::string& datetime);

} // namespace vedris::results
