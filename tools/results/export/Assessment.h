#pragma once
// One assessment's results as the exports see them: which results count (the newest
// versions, or all), the responses in column order with their choices, and the counts the
// summaries need. The counts live in temporary tables of the connection, grouped by SQLite
// on disk, so nothing here grows with the number of results.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "Sqlite.h"

namespace vedris::results {

struct ResponseLayout {
    std::string item, itemTitle, response;
    bool choice = false;
    std::vector<ChoiceOption> options;
    std::map<std::string, size_t> optionIndex; // value -> place in options
    std::int64_t answered = 0;                 // results with at least one value

    // "Title [RESPONSE]": the heading of the response's column.
    std::string heading() const { return itemTitle + " [" + response + "]"; }
};

class AssessmentQuery {
public:
    // Selects the results of assessment ident (only superseded = 0 unless allVersions) and
    // groups their values; qti, when given, supplies titles, order and choices.
    AssessmentQuery(Connection& connection, const std::string& ident, bool allVersions,
                    const QtiAssessment* qti);
    ~AssessmentQuery();
    AssessmentQuery(const AssessmentQuery&) = delete;
    AssessmentQuery& operator=(const AssessmentQuery&) = delete;

    const std::string& ident() const { return ident_; }
    // The assessment's title from its QTI file; its ident when there is none.
    const std::string& title() const { return title_; }
    std::int64_t results() const { return results_; }
    std::int64_t sources() const { return sources_; }
    bool allVersions() const { return allVersions_; }
    const std::vector<ResponseLayout>& responses() const { return responses_; }
    Connection& connection() const { return connection_; }

    // Calls visit with each value given to response and how often, most frequent first, at
    // most limit of them.
    void forEachValue(const ResponseLayout& response, std::int64_t limit,
                      const std::function<void(const std::string&, std::int64_t)>& visit) const;
    std::int64_t distinctValues(const ResponseLayout& response) const;
    std::int64_t countOf(const ResponseLayout& response, const std::string& value) const;

private:
    void selectResults(const std::string& ident);
    void layOutFromQti(const QtiAssessment& qti);
    void layOutFromResults();
    void addSeenOptions(ResponseLayout& response) const;
    bool looksLikeChoice(const ResponseLayout& response) const;

    Connection& connection_;
    std::string ident_, title_;
    bool allVersions_;
    std::int64_t results_ = 0, sources_ = 0;
    std::vector<ResponseLayout> responses_;
};

// Idents of the assessments that have results to export, in ident order.
std::vector<std::string> assessmentIdents(Connection& connection, bool allVersions);

} // namespace vedris::results
