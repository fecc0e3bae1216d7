#include "QTIDomain/uResultsIndex.h"

namespace vedris {

namespace {

// The attribute in no namespace, as "@ident_ref" sees it; false when it is absent.
bool IdentRef(xml::Node n, std::string& out) {
    auto value = n.noNsAttribute("ident_ref");
    if (!value)
        return false;
    out = std::move(*value);
    return true;
}

bool HoldsIndexedElement(xml::Node node) {
    if (node.isElementNamed("item_result") || node.isElementNamed("response"))
        return true;
    if (!node.isElement())
        return false;
    bool found = false;
    node.forEachElementBelow([&](xml::Node n) {
        found = found || n.isElementNamed("item_result") || n.isElementNamed("response");
    });
    return found;
}

} // namespace

std::string TResultsIndex::Key(const std::string& ItemIdent, const std::string& ResponseIdent) {
    // An XML attribute cannot hold a NUL character, so the pair is unambiguous.
    std::string key;
    key.reserve(ItemIdent.size() + ResponseIdent.size() + 1);
    key.append(ItemIdent).push_back('\0');
    key.append(ResponseIdent);
    return key;
}

TResultsIndex::TResultsIndex(xml::Node documentElement, xml::Node currentResult)
    : FCurrentResult(currentResult) {
    std::string item, response;
    auto responseKey = [&](xml::Node n, std::string& key) {
        if (!n.isElementNamed("response") || !n.parent().isElementNamed("item_result") ||
            !IdentRef(n, response) || !IdentRef(n.parent(), item))
            return false;
        key = Key(item, response);
        return true;
    };
    std::string key;
    documentElement.forEachElementBelow([&](xml::Node n) {
        if (responseKey(n, key))
            FResponses[key].push_back(n);
    });
    currentResult.forEachElementBelow([&](xml::Node n) {
        if (n.isElementNamed("item_result") && IdentRef(n, item))
            FFirstItemResult.emplace(item, n);
        else if (responseKey(n, key))
            FFirstResponse.emplace(key, n);
    });
}

xml::Node TResultsIndex::FirstItemResult(const std::string& ItemIdent) const {
    auto it = FFirstItemResult.find(ItemIdent);
    return it == FFirstItemResult.end() ? xml::Node() : it->second;
}

xml::Node TResultsIndex::FirstResponse(const std::string& ItemIdent,
                                       const std::string& ResponseIdent) const {
    auto it = FFirstResponse.find(Key(ItemIdent, ResponseIdent));
    return it == FFirstResponse.end() ? xml::Node() : it->second;
}

const std::vector<xml::Node>& TResultsIndex::Responses(const std::string& ItemIdent,
                                                       const std::string& ResponseIdent) const {
    static const std::vector<xml::Node> none;
    auto it = FResponses.find(Key(ItemIdent, ResponseIdent));
    return it == FResponses.end() ? none : it->second;
}

bool TDetachedNodes::RemoveChildNodes(xml::Node element) {
    bool stale = false;
    while (xml::Node c = element.firstChild()) {
        xml::NodePtr owned = c.unlink();
        if (HoldsIndexedElement(c)) {
            FKept.push_back(std::move(owned));
            stale = true;
        }
    }
    return stale;
}

std::vector<xml::Node> ChildElements(xml::Node node, const char* name) {
    std::vector<xml::Node> out;
    for (xml::Node c = node.firstChild(); c; c = c.nextSibling())
        if (c.isElementNamed(name))
            out.push_back(c);
    return out;
}

} // namespace vedris
