#include "ResultsFile.h"

#include <cstring>
#include <memory>
#include <nettle/sha2.h>

#include "Messages.h"
#include "platform/xml/XmlDocument.h"

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

// Raised inside the walk with the reason the file is refused.
struct Refusal {
    std::string reason;
};

xml::Node childNamed(xml::Node parent, const char* name) {
    for (xml::Node c = parent.firstChild(); c; c = c.nextSibling())
        if (c.isElementNamed(name))
            return c;
    return {};
}

ResponseRecord readResponse(xml::Node response, std::string ident, const std::string& item,
                            const std::vector<std::string>& where) {
    ResponseRecord record;
    record.item = item;
    record.response = std::move(ident);
    for (xml::Node v = response.firstChild(); v; v = v.nextSibling()) {
        if (!v.isElementNamed("response_value"))
            continue;
        std::string status = v.attribute("response_status");
        if (!knownStatus(status))
            throw Refusal{text::format(msg::BadStatus,
                                       {where[0], where[1], std::to_string(v.line()), status})};
        if (status == "Valid") {
            record.valid = true;
            record.values.push_back(v.text());
        }
    }
    return record;
}

void readItem(xml::Node item, ResultRecord& result, const std::vector<std::string>& where) {
    std::string ident = item.attribute("ident_ref");
    if (ident.empty())
        throw Refusal{
            text::format(msg::ItemWithoutIdent, {where[0], where[1], std::to_string(item.line())})};
    for (xml::Node r = item.firstChild(); r; r = r.nextSibling()) {
        if (!r.isElementNamed("response"))
            continue;
        std::string response = r.attribute("ident_ref");
        if (response.empty())
            throw Refusal{text::format(msg::ResponseWithoutIdent,
                                       {where[0], where[1], std::to_string(r.line())})};
        result.responses.push_back(readResponse(r, std::move(response), ident, where));
    }
}

ResultRecord readResult(xml::Node result, size_t number) {
    ResultRecord record;
    xml::Node assessment = childNamed(result, "assessment_result");
    if (assessment)
        record.assessment = assessment.attribute("ident_ref");
    if (record.assessment.empty())
        throw Refusal{text::format(msg::NoAssessmentResult, {std::to_string(number)})};
    if (xml::Node context = childNamed(result, "context"))
        if (xml::Node date = childNamed(context, "date"))
            if (xml::Node datetime = childNamed(date, "datetime"))
                record.datetime = trimmed(datetime.text());
    std::vector<std::string> where{std::to_string(number), record.assessment};
    result.forEachElementBelow([&](xml::Node element) {
        if (element.isElementNamed("item_result"))
            readItem(element, record, where);
    });
    return record;
}

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
    std::unique_ptr<xml::Document> doc;
    try {
        doc = std::make_unique<xml::Document>(xml::Document::parse(bytes, name));
    } catch (const xml::Error& e) {
        out.reason = text::format(msg::NotWellFormed, {e.what()});
        return out;
    }
    xml::Node root = doc->documentElement();
    if (!root || !root.isElementNamed("qti_result_report")) {
        out.kind = ReadOutcome::NotResults;
        out.reason = text::format(msg::NotResults, {root ? root.name() : std::string()});
        return out;
    }
    try {
        size_t number = 0;
        for (xml::Node r = root.firstChild(); r; r = r.nextSibling())
            if (r.isElementNamed("result"))
                out.results.push_back(readResult(r, ++number));
    } catch (const Refusal& refusal) {
        out.results.clear();
        out.reason = refusal.reason;
        return out;
    }
    if (out.results.empty()) {
        out.reason = msg::NoResults;
        return out;
    }
    out.kind = ReadOutcome::Accepted;
    return out;
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
