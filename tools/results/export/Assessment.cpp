#include "Assessment.h"

#include <set>
#include <utility>

namespace vedris::results {

namespace {

// Without a QTI file a response counts as a choice when it was given few distinct values,
// each of them short and without spaces, as the idents of response labels are.
constexpr std::int64_t MaxGuessedChoices = 50;
constexpr size_t MaxGuessedValueBytes = 32;
// A hostile or broken file could give a choice response thousands of values; the rest stay
// in the response's own column.
constexpr std::int64_t MaxChoiceColumns = 200;

bool looksLikeIdent(const std::string& value) {
    if (value.empty() || value.size() > MaxGuessedValueBytes)
        return false;
    for (unsigned char c : value)
        if (c <= ' ')
            return false;
    return true;
}

void indexOptions(ResponseLayout& response) {
    response.optionIndex.clear();
    for (size_t i = 0; i < response.options.size(); ++i)
        response.optionIndex.emplace(response.options[i].value, i);
}

} // namespace

AssessmentQuery::AssessmentQuery(Connection& connection, const std::string& ident, bool allVersions,
                                 const QtiAssessment* qti)
    : connection_(connection), ident_(ident), title_(ident), allVersions_(allVersions) {
    selectResults(ident);
    if (qti) {
        if (!qti->title.empty())
            title_ = qti->title;
        layOutFromQti(*qti);
    }
    layOutFromResults();
    for (ResponseLayout& response : responses_) {
        if (response.choice)
            addSeenOptions(response);
        indexOptions(response);
    }
}

AssessmentQuery::~AssessmentQuery() {
    try {
        connection_.execute("DROP TABLE IF EXISTS temp.chosen; DROP TABLE IF EXISTS "
                            "temp.response_stat; DROP TABLE IF EXISTS temp.value_count;");
    } catch (const DbError&) {
        // The connection closes right after the export; the tables go with it.
    }
}

void AssessmentQuery::selectResults(const std::string& ident) {
    connection_.execute("CREATE TEMP TABLE chosen (id INTEGER PRIMARY KEY)");
    Statement chosen(connection_.handle(), "INSERT INTO temp.chosen SELECT id FROM result "
                                           "WHERE assessment = ?1 AND (?2 OR superseded = 0)");
    chosen.bind(1, ident).bind(2, std::int64_t{allVersions_});
    chosen.step();
    connection_.execute(
        "CREATE TEMP TABLE response_stat AS SELECT p.item AS item, p.response AS response, "
        "MIN(p.position) AS first, SUM(p.status = 'Valid') AS answered FROM temp.chosen c "
        "JOIN response p ON p.result_id = c.id GROUP BY p.item, p.response;"
        "CREATE TEMP TABLE value_count AS SELECT p.item AS item, p.response AS response, "
        "v.value AS value, COUNT(*) AS n FROM temp.chosen c JOIN response p ON p.result_id = "
        "c.id JOIN response_value v ON v.response_id = p.id GROUP BY p.item, p.response, "
        "v.value;"
        "CREATE INDEX temp.value_count_order ON value_count(item, response, n DESC, value);"
        "CREATE INDEX temp.value_count_value ON value_count(item, response, value);");
    Statement counts(connection_.handle(),
                     "SELECT COUNT(*), COUNT(DISTINCT f.origin) FROM temp.chosen c "
                     "JOIN result r ON r.id = c.id JOIN file f ON f.id = r.file_id");
    counts.step();
    results_ = counts.integer(0);
    sources_ = counts.integer(1);
}

void AssessmentQuery::layOutFromQti(const QtiAssessment& qti) {
    for (const QtiResponse& r : qti.responses)
        responses_.push_back({r.item, r.itemTitle, r.response, r.choice, r.options, {}, 0});
}

void AssessmentQuery::layOutFromResults() {
    std::map<std::pair<std::string, std::string>, size_t> known;
    std::map<std::string, std::string> itemTitles;
    for (size_t i = 0; i < responses_.size(); ++i) {
        known.emplace(std::make_pair(responses_[i].item, responses_[i].response), i);
        itemTitles.emplace(responses_[i].item, responses_[i].itemTitle);
    }
    Statement stats(connection_.handle(), "SELECT item, response, answered FROM "
                                          "temp.response_stat ORDER BY first, item, response");
    while (stats.step()) {
        auto key = std::make_pair(stats.text(0), stats.text(1));
        auto it = known.find(key);
        if (it != known.end()) {
            responses_[it->second].answered = stats.integer(2);
            continue;
        }
        auto title = itemTitles.find(key.first);
        ResponseLayout added;
        added.item = key.first;
        added.itemTitle = title == itemTitles.end() ? key.first : title->second;
        added.response = key.second;
        added.answered = stats.integer(2);
        added.choice = looksLikeChoice(added);
        known.emplace(key, responses_.size());
        responses_.push_back(std::move(added));
    }
}

bool AssessmentQuery::looksLikeChoice(const ResponseLayout& response) const {
    bool choice = true;
    std::int64_t seen = 0;
    forEachValue(response, MaxGuessedChoices + 1, [&](const std::string& value, std::int64_t) {
        ++seen;
        choice = choice && looksLikeIdent(value);
    });
    return choice && seen > 0 && seen <= MaxGuessedChoices;
}

// Values given that the QTI file does not list (or all of them, when there is no file) get
// columns too, after the listed ones, in the order of their text.
void AssessmentQuery::addSeenOptions(ResponseLayout& response) const {
    std::set<std::string> listed;
    for (const ChoiceOption& option : response.options)
        listed.insert(option.value);
    Statement seen(connection_.handle(), "SELECT value FROM temp.value_count WHERE item = ?1 "
                                         "AND response = ?2 ORDER BY value LIMIT ?3");
    seen.bind(1, response.item).bind(2, response.response).bind(3, MaxChoiceColumns);
    while (seen.step() && std::int64_t(response.options.size()) < MaxChoiceColumns) {
        std::string value = seen.text(0);
        if (listed.insert(value).second)
            response.options.push_back({value, value});
    }
}

void AssessmentQuery::forEachValue(
    const ResponseLayout& response, std::int64_t limit,
    const std::function<void(const std::string&, std::int64_t)>& visit) const {
    Statement values(connection_.handle(),
                     "SELECT value, n FROM temp.value_count WHERE item = ?1 AND response = ?2 "
                     "ORDER BY n DESC, value LIMIT ?3");
    values.bind(1, response.item).bind(2, response.response).bind(3, limit);
    while (values.step())
        visit(values.text(0), values.integer(1));
}

std::int64_t AssessmentQuery::distinctValues(const ResponseLayout& response) const {
    Statement count(connection_.handle(), "SELECT COUNT(*) FROM temp.value_count "
                                          "WHERE item = ?1 AND response = ?2");
    count.bind(1, response.item).bind(2, response.response);
    count.step();
    return count.integer(0);
}

std::int64_t AssessmentQuery::countOf(const ResponseLayout& response,
                                      const std::string& value) const {
    Statement count(connection_.handle(), "SELECT n FROM temp.value_count "
                                          "WHERE item = ?1 AND response = ?2 AND value = ?3");
    count.bind(1, response.item).bind(2, response.response).bind(3, value);
    return count.step() ? count.integer(0) : 0;
}

std::vector<std::string> assessmentIdents(Connection& connection, bool allVersions) {
    Statement idents(connection.handle(), "SELECT DISTINCT assessment FROM result "
                                          "WHERE ?1 OR superseded = 0 ORDER BY assessment");
    idents.bind(1, std::int64_t{allVersions});
    std::vector<std::string> out;
    while (idents.step())
        out.push_back(idents.text(0));
    return out;
}

} // namespace vedris::results
