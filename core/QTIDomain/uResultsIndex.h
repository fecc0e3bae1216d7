#pragma once
// Where the response records of one page find their nodes in the results document.
//
// A page binds and submits every response of its assessment; finding each response's
// nodes with a path over the whole document would make binding and submission grow with
// the square of the assessment's size. One walk over the document answers, for every
// (item ident, response ident) pair at once, exactly what those paths select:
//   ".//item_result[@ident_ref = I]" in the current result: its first match;
//   ".//item_result[@ident_ref = I]/response[@ident_ref = R]" in the current result: its
//   first match;
//   "//item_result[@ident_ref = I]/response[@ident_ref = R]": every match, in document order.
// Names match elements in no namespace only, and a missing ident_ref matches nothing, as in
// the path language.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/xml/XmlDocument.h"

namespace vedris {

class TResultsIndex {
public:
    // Walks the document of documentElement; currentResult (may be none) is the result
    // whose first item_result and response per ident are wanted.
    TResultsIndex(xml::Node documentElement, xml::Node currentResult);

    xml::Node CurrentResult() const { return FCurrentResult; }
    // First item_result with this ident_ref below the current result; none when absent.
    xml::Node FirstItemResult(const std::string& ItemIdent) const;
    // First response of the pair below the current result; none when absent.
    xml::Node FirstResponse(const std::string& ItemIdent, const std::string& ResponseIdent) const;
    // Every response of the pair in the whole document, in document order.
    const std::vector<xml::Node>& Responses(const std::string& ItemIdent,
                                            const std::string& ResponseIdent) const;

private:
    static std::string Key(const std::string& ItemIdent, const std::string& ResponseIdent);

    xml::Node FCurrentResult;
    std::unordered_map<std::string, xml::Node> FFirstItemResult;
    std::unordered_map<std::string, xml::Node> FFirstResponse;
    std::unordered_map<std::string, std::vector<xml::Node>> FResponses;
};

// Child nodes taken out of the results document. Most are freed at once; a subtree that
// holds an item_result or response element is kept until the owner goes, because response
// records may still hold its nodes (the document object model the format was made for kept
// such nodes alive while referenced).
class TDetachedNodes {
public:
    TDetachedNodes() = default;
    TDetachedNodes(const TDetachedNodes&) = delete;
    TDetachedNodes& operator=(const TDetachedNodes&) = delete;

    // Removes every child node of element. Returns true when a removed subtree held an
    // item_result or response element, that is, when an index of the document is stale.
    bool RemoveChildNodes(xml::Node element);

private:
    std::vector<xml::NodePtr> FKept;
};

// Element children of node named name in no namespace, in document order.
std::vector<xml::Node> ChildElements(xml::Node node, const char* name);

} // namespace vedris
