#include "ResultsFile.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>
#include <nettle/sha2.h>

#include "Messages.h"
#include "platform/xml/XmlDocument.h"
#include "platform/xml/XmlEvents.h"

namespace vedris::results {

namespace {

size_t countTags(std::string_view bytes, size_t stopAfter) {
    size_t count = 0;
    const char* at = bytes.data();
    const char* end = at + bytes.size();
    while ((at = static_cast<const char*>(std::memchr(at, '<', size_t(end - at)))) != nullptr) {
        if (++count > stopAfter)
            break;
        ++at;
    }
    return count;
}

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool knownStatus(const std::string& status) {
    return status == "Valid" || status == "NA" || status == "Null" || status == "Invalid";
}

// Reads the file as it is parsed, with no tree: a results file is read once, and making and
// freeing its tree would cost more than the parsing. What it takes:
//   qti_result_report/result            each result, in order
//     assessment_result/@ident_ref      the first assessment_result child
//     context/date/datetime             the first of each, its text trimmed
//     .//item_result/@ident_ref         every item at any depth, in document order
//       response/@ident_ref             its own responses, in order
//         response_value                their values: @response_status, text if Valid
// The first fault of a result refuses the file, said once the whole file has parsed (a file
// that is not well-formed is refused as such first).
class ResultsReader : public xml::EventReader {
public:
    void startElement(const Element& e) override {
        Open parent = open_.empty() ? Open::Outside : open_.back();
        open_.push_back(Open::Other);
        if (parent == Open::Outside) {
            root_ = e.prefix.empty() ? std::string(e.name)
                                     : std::string(e.prefix) + ":" + std::string(e.name);
            isResults_ = named(e, "qti_result_report");
        } else if (isResults_) {
            open_.back() = opened(parent, e);
        }
        if (collecting_ == 0 && collects(open_.back()))
            collecting_ = open_.size();
    }

    void endElement() override {
        Open closing = open_.back();
        if (open_.size() == collecting_) {
            collecting_ = 0;
            if (closing == Open::Value)
                response().values.push_back(std::move(collected_));
            else
                result_.datetime = trimmed(collected_);
            collected_.clear();
        }
        open_.pop_back();
        if (closing == Open::Item)
            items_.pop_back();
        else if (closing == Open::Result)
            endResult();
    }

    void text(std::string_view piece) override {
        if (collecting_ != 0)
            collected_.append(piece);
    }

    ReadOutcome outcome() {
        ReadOutcome out;
        if (!isResults_) {
            out.kind = ReadOutcome::NotResults;
            out.reason = text::format(msg::NotResults, {root_});
        } else if (!refusal_.empty()) {
            out.reason = refusal_;
        } else if (results_.empty()) {
            out.reason = msg::NoResults;
        } else {
            out.kind = ReadOutcome::Accepted;
            out.results = std::move(results_);
        }
        return out;
    }

private:
    enum class Open { Outside, Other, Result, Assessment, Context, Date, Datetime, Item,
                      Response, Value, SkippedValue };

    static bool named(const Element& e, std::string_view name) {
        return !e.namespaced && e.name == name;
    }
    static bool collects(Open o) { return o == Open::Datetime || o == Open::Value; }

    // What the element is to the reader, from its name and what it lies in.
    Open opened(Open parent, const Element& e) {
        size_t depth = open_.size();
        if (depth == 2)
            return named(e, "result") ? startResult() : Open::Other;
        if (depth < 2 || !inResult_)
            return Open::Other;
        if (named(e, "item_result"))
            return startItem(e);
        if (depth == 3 && named(e, "assessment_result") && !assessmentSeen_) {
            assessmentSeen_ = true;
            result_.assessment = e.attribute("ident_ref");
            return Open::Assessment;
        }
        if (depth == 3 && named(e, "context"))
            return std::exchange(contextSeen_, true) ? Open::Other : Open::Context;
        if (parent == Open::Context && named(e, "date"))
            return std::exchange(dateSeen_, true) ? Open::Other : Open::Date;
        if (parent == Open::Date && named(e, "datetime"))
            return std::exchange(datetimeSeen_, true) ? Open::Other : Open::Datetime;
        if (parent == Open::Item && named(e, "response"))
            return startResponse(e);
        if (parent == Open::Response && named(e, "response_value"))
            return startValue(e);
        return Open::Other;
    }

    Open startResult() {
        result_ = ResultRecord();
        itemResponses_.clear();
        itemFaults_.clear();
        inResult_ = true;
        assessmentSeen_ = contextSeen_ = dateSeen_ = datetimeSeen_ = false;
        ++number_;
        return Open::Result;
    }

    Open startItem(const Element& e) {
        items_.push_back({e.attribute("ident_ref"), itemResponses_.size()});
        itemResponses_.emplace_back();
        itemFaults_.emplace_back();
        if (items_.back().ident.empty())
            fail({msg::ItemWithoutIdent, e.line, {}});
        return Open::Item;
    }

    Open startResponse(const Element& e) {
        ResponseRecord r;
        r.item = items_.back().ident;
        r.response = e.attribute("ident_ref");
        if (r.response.empty())
            fail({msg::ResponseWithoutIdent, e.line, {}});
        itemResponses_[items_.back().index].push_back(std::move(r));
        return Open::Response;
    }

    Open startValue(const Element& e) {
        std::string status = e.attribute("response_status");
        if (!knownStatus(status))
            fail({msg::BadStatus, e.line, status});
        if (status != "Valid")
            return Open::SkippedValue;
        response().valid = true;
        return Open::Value;
    }

    ResponseRecord& response() { return itemResponses_[items_.back().index].back(); }

    struct Fault {
        const char* message = nullptr;
        int line = 0;
        std::string status;
    };
    // The first fault of the innermost open item: items are judged one after another, in
    // the order they begin, each by its own responses.
    void fail(Fault fault) {
        Fault& first = itemFaults_[items_.back().index];
        if (!first.message)
            first = std::move(fault);
    }

    void endResult() {
        inResult_ = false;
        if (!refusal_.empty())
            return;
        std::string number = std::to_string(number_);
        auto fault = std::find_if(itemFaults_.begin(), itemFaults_.end(),
                                  [](const Fault& f) { return f.message != nullptr; });
        if (result_.assessment.empty()) {
            refusal_ = text::format(msg::NoAssessmentResult, {number});
        } else if (fault != itemFaults_.end()) {
            // Only the message of a bad status has a place for the status.
            refusal_ = text::format(fault->message, {number, result_.assessment,
                                                     std::to_string(fault->line), fault->status});
        }
        if (!refusal_.empty()) {
            results_.clear();
            return;
        }
        // Each item's responses together, items in the order they begin, as a reader of the
        // tree taking one item after another would list them.
        for (std::vector<ResponseRecord>& responses : itemResponses_)
            for (ResponseRecord& r : responses)
                result_.responses.push_back(std::move(r));
        results_.push_back(std::move(result_));
    }

    struct OpenItem {
        std::string ident;
        size_t index; // in itemResponses_
    };

    std::vector<Open> open_;
    std::string root_;
    bool isResults_ = false;
    bool inResult_ = false;
    bool assessmentSeen_ = false, contextSeen_ = false, dateSeen_ = false, datetimeSeen_ = false;
    size_t number_ = 0;
    ResultRecord result_;
    std::vector<std::vector<ResponseRecord>> itemResponses_; // of this result, by item
    std::vector<Fault> itemFaults_;                          // the same
    std::vector<OpenItem> items_;
    size_t collecting_ = 0; // depth of the element whose text is gathered, 0 for none
    std::string collected_;
    std::string refusal_;
    std::vector<ResultRecord> results_;
};

} // namespace

ReadOutcome readResultsFile(std::string_view bytes, const std::string& name,
                            const FileLimits& limits) {
    ReadOutcome out;
    if (bytes.size() > limits.maxBytes) {
        out.reason = text::format(msg::TooLarge, {std::to_string((bytes.size() >> 20) + 1),
                                                  std::to_string(limits.maxBytes >> 20)});
        return out;
    }
    if (countTags(bytes, limits.maxElements) > limits.maxElements) {
        out.reason = text::format(msg::TooManyElements, {std::to_string(limits.maxElements)});
        return out;
    }
    ResultsReader reader;
    try {
        xml::readEvents(bytes, name, reader);
    } catch (const xml::Error& e) {
        out.reason = text::format(msg::NotWellFormed, {e.what()});
        return out;
    }
    return reader.outcome();
}

// nettle uses the processor's SHA instructions where it has them: hashing stays a small
// part of an import.
std::string sha256Hex(std::string_view bytes) {
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t byte : digest) {
        out += hex[byte >> 4];
        out += hex[byte & 15];
    }
    return out;
}

std::string datetimeKey(const std::string& datetime) {
    static const char pattern[] = "dddd-dd-ddTdd_dd_dd";
    if (datetime.size() != sizeof pattern - 1)
        return {};
    std::string key = datetime;
    for (size_t i = 0; i < key.size(); ++i) {
        char p = pattern[i];
        char c = key[i];
        if (p == 'd' ? (c < '0' || c > '9') : p == '_' ? false : c != p)
            return {};
        if (p == '_')
            key[i] = ':';
    }
    return key;
}

} // namespace vedris::results
