#include "QTIDomain/uResultsIndex.h"

#include <libxml/tree.h>

namespace vedris {

namespace {

bool IsNamed(const xmlNode* n, const char* name) {
    return n && n->type == XML_ELEMENT_NODE && n->ns == nullptr &&
           xmlStrEqual(n->name, reinterpret_cast<const xmlChar*>(name));
}

// The attribute in no namespace, as "@name" sees it; false when it is absent.
bool IdentRef(const xmlNode* n, std::string& out) {
    xmlChar* v = xmlGetNoNsProp(n, reinterpret_cast<const xmlChar*>("ident_ref"));
    if (!v)
        return false;
    out.assign(reinterpret_cast<const char*>(v));
    xmlFree(v);
    return true;
}

// Calls f on every element below top, in document order, without recursion (a hostile
// file may nest deeply).
template <class F> void ForEachDescendant(xmlNode* top, F f) {
    xmlNode* n = top->children;
    while (n) {
        if (n->type == XML_ELEMENT_NODE) {
            f(n);
            if (n->children) {
                n = n->children;
                continue;
            }
        }
        while (!n->next) {
            n = n->parent;
            if (n == top || !n)
                return;
        }
        n = n->next;
    }
}

bool HoldsIndexedElement(xmlNode* node) {
    if (IsNamed(node, "item_result") || IsNamed(node, "response"))
        return true;
    if (node->type != XML_ELEMENT_NODE)
        return false;
    bool found = false;
    ForEachDescendant(node, [&](xmlNode* n) {
        found = found || IsNamed(n, "item_result") || IsNamed(n, "response");
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
    auto responseKey = [&](xmlNode* n, std::string& key) {
        if (!IsNamed(n, "response") || !IsNamed(n->parent, "item_result") ||
            !IdentRef(n, response) || !IdentRef(n->parent, item))
            return false;
        key = Key(item, response);
        return true;
    };
    std::string key;
    if (xmlNode* root = documentElement.raw())
        ForEachDescendant(root, [&](xmlNode* n) {
            if (responseKey(n, key))
                FResponses[key].push_back(xml::Node(n));
        });
    if (xmlNode* result = currentResult.raw())
        ForEachDescendant(result, [&](xmlNode* n) {
            if (IsNamed(n, "item_result") && IdentRef(n, item))
                FFirstItemResult.emplace(item, xml::Node(n));
            else if (responseKey(n, key))
                FFirstResponse.emplace(key, xml::Node(n));
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

TDetachedNodes::~TDetachedNodes() {
    for (xmlNode* n : FKept)
        xmlFreeNode(n);
}

bool TDetachedNodes::RemoveChildNodes(xml::Node element) {
    xmlNode* e = element.raw();
    bool stale = false;
    while (xmlNode* c = e ? e->children : nullptr) {
        xmlUnlinkNode(c);
        if (HoldsIndexedElement(c)) {
            FKept.push_back(c);
            stale = true;
        } else {
            xmlFreeNode(c);
        }
    }
    return stale;
}

std::vector<xml::Node> ChildElements(xml::Node node, const char* name) {
    std::vector<xml::Node> out;
    for (xmlNode* c = node.raw() ? node.raw()->children : nullptr; c; c = c->next)
        if (IsNamed(c, name))
            out.push_back(xml::Node(c));
    return out;
}

} // namespace vedris
