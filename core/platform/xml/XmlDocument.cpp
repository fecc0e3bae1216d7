#include "platform/xml/XmlDocument.h"

#include <cstdint>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include "platform/fs/AtomicFile.h"
#include "platform/xml/EntityRefusal.h"
#include "platform/xml/ErrorCollector.h"
#include "platform/xml/XmlEngine.h"
#include "platform/xml/XmlHandles.h"

namespace vedris::xml {
using namespace detail;
namespace {

// Parsing never substitutes entities, loads a DTD or touches the network.
constexpr int kParseOptions = XML_PARSE_NONET;

xmlDoc* docOf(xmlNode* node) {
    if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE)
        return reinterpret_cast<xmlDoc*>(node);
    return node->doc;
}

// The calling thread's XPath context, pointed at each evaluation's document and node in
// turn: a new context registers every XPath function anew, which binding a page of a few
// hundred items paid for at each of its lookups. Nothing else of it carries over.
xmlXPathContext* contextFor(xmlNode* context) {
    thread_local std::unique_ptr<xmlXPathContext, XPathContextFree> ctx(
        xmlXPathNewContext(nullptr));
    if (!ctx)
        throw Error("XPath: out of memory");
    ctx->doc = docOf(context);
    ctx->node = context;
    ctx->contextSize = -1;
    ctx->proximityPosition = -1;
    return ctx.get();
}

std::unique_ptr<xmlXPathObject, XPathObjectFree> evaluate(xmlNode* context,
                                                          const std::string& xpath) {
    if (!context)
        throw Error("XPath: no context node for \"" + xpath + "\"");
    ErrorCollector errors;
    std::unique_ptr<xmlXPathObject, XPathObjectFree> result(
        xmlXPathEvalExpression(X(xpath), contextFor(context)));
    if (!result)
        throw Error(errors.message("XPath: invalid expression") + " (\"" + xpath + "\")");
    if (result->type != XPATH_NODESET)
        throw Error("XPath: \"" + xpath + "\" does not select nodes");
    return result;
}

// XML 1.0 forbids most control characters; a text holding one would be saved as a
// character reference that no parser accepts, and the whole file would become unreadable.
// They are dropped, as is anything that is not UTF-8.
std::string xmlSafe(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        size_t len = c < 0x80           ? 1
                     : (c >> 5) == 0x6  ? 2
                     : (c >> 4) == 0xE  ? 3
                     : (c >> 3) == 0x1E ? 4
                                        : 0;
        if (len == 0 || i + len > n) {
            ++i;
            continue;
        }
        uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool valid = true;
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static constexpr uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!valid || cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            ++i;
            continue;
        }
        bool allowed =
            cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp != 0xFFFE && cp != 0xFFFF);
        if (allowed)
            out.append(text, i, len);
        i += len;
    }
    return out;
}

} // namespace

void DocDeleter::operator()(xmlDoc* doc) const {
    xmlFreeDoc(doc);
}

void NodeDeleter::operator()(xmlNode* node) const {
    xmlFreeNode(node);
}

// ---- Node ----

std::string Node::name() const {
    if (!node_)
        return {};
    switch (node_->type) {
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
        return "#document";
    case XML_TEXT_NODE:
        return "#text";
    case XML_CDATA_SECTION_NODE:
        return "#cdata-section";
    case XML_COMMENT_NODE:
        return "#comment";
    default:
        break;
    }
    std::string local = node_->name ? reinterpret_cast<const char*>(node_->name) : "";
    if (node_->ns && node_->ns->prefix)
        return reinterpret_cast<const char*>(node_->ns->prefix) + (":" + local);
    return local;
}

namespace {

// The text of a node whose only child is one text node, read where the tree keeps it; null
// when it has to be gathered. Most values are such, and copying them once is all it takes.
const char* soleText(const xmlNode* parent) {
    const xmlNode* c = parent->children;
    if (c && !c->next && (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE))
        return reinterpret_cast<const char*>(c->content);
    return nullptr;
}

} // namespace

std::string Node::attribute(const char* name) const {
    if (!node_ || node_->type != XML_ELEMENT_NODE)
        return {};
    const xmlChar* key = reinterpret_cast<const xmlChar*>(name);
    xmlAttr* found = xmlHasProp(node_, key);
    if (!found)
        return {};
    if (found->type == XML_ATTRIBUTE_NODE)
        if (const char* text = soleText(reinterpret_cast<const xmlNode*>(found)))
            return text;
    return take(xmlGetProp(node_, key));
}

std::string Node::attribute(const std::string& name) const {
    return attribute(name.c_str());
}

bool Node::hasAttribute(const std::string& name) const {
    return node_ && node_->type == XML_ELEMENT_NODE && xmlHasProp(node_, X(name)) != nullptr;
}

std::optional<std::string> Node::noNsAttribute(const char* name) const {
    if (!node_ || node_->type != XML_ELEMENT_NODE)
        return std::nullopt;
    xmlChar* value = xmlGetNoNsProp(node_, reinterpret_cast<const xmlChar*>(name));
    if (!value)
        return std::nullopt;
    return take(value);
}

void Node::setAttribute(const std::string& name, const std::string& value) {
    if (!node_ || node_->type != XML_ELEMENT_NODE)
        throw Error("setAttribute: not an element");
    if (!xmlSetProp(node_, X(name), X(xmlSafe(value))))
        throw Error("setAttribute: cannot set \"" + name + "\"");
}

std::string Node::text() const {
    if (!node_)
        return {};
    if (node_->type == XML_ELEMENT_NODE)
        if (const char* text = soleText(node_))
            return text;
    return take(xmlNodeGetContent(node_));
}

void Node::setText(const std::string& text) {
    if (!node_ || node_->type != XML_ELEMENT_NODE)
        throw Error("setText: not an element");
    removeChildren();
    std::string safe = xmlSafe(text);
    if (safe.empty())
        return;
    xmlNode* t = xmlNewDocTextLen(node_->doc, X(safe), static_cast<int>(safe.size()));
    if (!t || !xmlAddChild(node_, t))
        throw Error("setText: out of memory");
}

std::string Node::firstChildValue() const {
    if (!node_ || !node_->children)
        return {};
    xmlNode* c = node_->children;
    switch (c->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return take(xmlNodeGetContent(c));
    default:
        return {};
    }
}

Node Node::firstChild() const {
    return Node(node_ ? node_->children : nullptr);
}
Node Node::nextSibling() const {
    return Node(node_ ? node_->next : nullptr);
}
Node Node::parent() const {
    return Node(node_ ? node_->parent : nullptr);
}
bool Node::isElement() const {
    return node_ && node_->type == XML_ELEMENT_NODE;
}
bool Node::isElementNamed(const char* name) const {
    return node_ && node_->type == XML_ELEMENT_NODE && node_->ns == nullptr &&
           xmlStrEqual(node_->name, reinterpret_cast<const xmlChar*>(name));
}

void Node::forEachElementBelow(const std::function<void(Node)>& visit) const {
    if (!node_)
        return;
    xmlNode* n = node_->children;
    while (n) {
        if (n->type == XML_ELEMENT_NODE) {
            visit(Node(n));
            if (n->children) {
                n = n->children;
                continue;
            }
        }
        while (!n->next) {
            n = n->parent;
            if (n == node_ || !n)
                return;
        }
        n = n->next;
    }
}

NodePtr Node::unlink() {
    if (node_)
        xmlUnlinkNode(node_);
    return NodePtr(node_);
}

int Node::line() const {
    return node_ ? static_cast<int>(xmlGetLineNo(node_)) : 0;
}

void Node::appendChild(Node node) {
    if (!node_ || !node.node_)
        throw Error("appendChild: no node");
    if (docOf(node_) != node.node_->doc)
        throw Error("appendChild: the node belongs to another document");
    xmlUnlinkNode(node.node_);
    if (!xmlAddChild(node_, node.node_))
        throw Error("appendChild: cannot append");
}

void Node::removeChild(Node child) {
    if (!node_ || !child.node_ || child.node_->parent != node_)
        throw Error("removeChild: not a child of this node");
    xmlUnlinkNode(child.node_);
    xmlFreeNode(child.node_);
}

void Node::removeChildren() {
    if (!node_)
        return;
    while (xmlNode* c = node_->children) {
        xmlUnlinkNode(c);
        xmlFreeNode(c);
    }
}

Node Node::selectFirst(const std::string& xpath) const {
    auto result = evaluate(node_, xpath);
    xmlNodeSet* set = result->nodesetval;
    if (!set || set->nodeNr == 0)
        return Node();
    return Node(set->nodeTab[0]);
}

std::vector<Node> Node::selectAll(const std::string& xpath) const {
    auto result = evaluate(node_, xpath);
    std::vector<Node> nodes;
    if (xmlNodeSet* set = result->nodesetval) {
        nodes.reserve(static_cast<size_t>(set->nodeNr));
        for (int i = 0; i < set->nodeNr; ++i)
            nodes.push_back(Node(set->nodeTab[i]));
    }
    return nodes;
}

// ---- Document ----

Document::Document(xmlDoc* doc) : doc_(doc) {}
Document::~Document() = default;

Document Document::load(const std::string& path) {
    // The file is read here rather than by the parser: the parser's loader refuses every
    // resource, the document's own file included.
    std::string text;
    try {
        text = fs::readFile(path);
    } catch (const fs::WriteError& e) {
        throw Error(e.what());
    }
    return parse(text, path);
}

Document Document::parse(std::string_view text, const std::string& name) {
    ErrorCollector errors;
    if (text.size() > static_cast<std::size_t>(INT32_MAX))
        throw Error(name + ": the file is too large");
    std::unique_ptr<xmlParserCtxt, ParserCtxtFree> ctxt(xmlNewParserCtxt());
    if (!ctxt || !ctxt->sax)
        throw Error("XML: out of memory");
    EntityRefusal refusal(ctxt.get());
    xmlDoc* doc = xmlCtxtReadMemory(ctxt.get(), text.data(), static_cast<int>(text.size()),
                                    name.c_str(), nullptr, kParseOptions);
    if (refusal.refused()) {
        if (doc)
            xmlFreeDoc(doc);
        throw Error(refusal.message(name));
    }
    if (!doc || !ctxt->wellFormed) {
        if (doc)
            xmlFreeDoc(doc);
        throw Error(parseFailure(errors, ctxt->lastError, name));
    }
    return Document(doc);
}

Document Document::create() {
    initialiseEngine();
    xmlDoc* doc = xmlNewDoc(BAD_CAST "1.0");
    if (!doc)
        throw Error("XML: out of memory");
    return Document(doc);
}

Node Document::documentElement() const {
    return Node(xmlDocGetRootElement(doc_.get()));
}

Node Document::createDocumentElement(const std::string& name) {
    xmlNode* root = xmlNewDocNode(doc_.get(), nullptr, X(name), nullptr);
    if (!root)
        throw Error("XML: cannot create element \"" + name + "\"");
    if (xmlNode* old = xmlDocSetRootElement(doc_.get(), root))
        xmlFreeNode(old);
    return Node(root);
}

void Document::setDeclaration(const std::string& version, const std::string& encoding) {
    xmlDoc* d = doc_.get();
    if (d->version)
        xmlFree(const_cast<xmlChar*>(d->version));
    d->version = xmlStrdup(X(version));
    if (d->encoding)
        xmlFree(const_cast<xmlChar*>(d->encoding));
    d->encoding = encoding.empty() ? nullptr : xmlStrdup(X(encoding));
}

std::string Document::version() const {
    return doc_->version ? reinterpret_cast<const char*>(doc_->version) : "";
}

std::string Document::encoding() const {
    return doc_->encoding ? reinterpret_cast<const char*>(doc_->encoding) : "";
}

Node Document::root() const {
    return Node(reinterpret_cast<xmlNode*>(doc_.get()));
}

void Document::dropElementNamespaces() {
    // Iterative walk: deeply nested files must not exhaust the stack.
    xmlNode* node = xmlDocGetRootElement(doc_.get());
    while (node) {
        if (node->type == XML_ELEMENT_NODE) {
            node->ns = nullptr;
            xmlNs** link = &node->nsDef;
            while (xmlNs* ns = *link) {
                if (ns->prefix) {
                    link = &ns->next;
                } else {
                    *link = ns->next;
                    ns->next = nullptr;
                    xmlFreeNs(ns);
                }
            }
        }
        if (node->type == XML_ELEMENT_NODE && node->children) {
            node = node->children;
            continue;
        }
        while (node && !node->next) {
            node = node->parent;
            if (node && node->type != XML_ELEMENT_NODE)
                node = nullptr;
        }
        if (node)
            node = node->next;
    }
}

Node Document::createElement(const std::string& name) {
    xmlNode* n = xmlNewDocNode(doc_.get(), nullptr, X(name), nullptr);
    if (!n)
        throw Error("XML: cannot create element \"" + name + "\"");
    return Node(n);
}

Node Document::importCopy(Node node) {
    if (!node)
        throw Error("XML: nothing to copy");
    xmlNode* copy = xmlDocCopyNode(node.node_, doc_.get(), 1);
    if (!copy)
        throw Error("XML: cannot copy node");
    return Node(copy);
}

std::string Document::toString() const {
    ErrorCollector errors;
    xmlChar* buf = nullptr;
    int size = 0;
    const char* enc = doc_->encoding ? reinterpret_cast<const char*>(doc_->encoding) : "UTF-8";
    xmlDocDumpFormatMemoryEnc(doc_.get(), &buf, &size, enc, 0);
    if (!buf)
        throw Error(errors.message("XML: cannot serialise the document"));
    XmlString owned(buf);
    return std::string(reinterpret_cast<const char*>(buf), static_cast<size_t>(size));
}

void Document::save(const std::string& path) const {
    std::string data = toString();
    try {
        fs::writeFileAtomically(path, data);
    } catch (const fs::WriteError& e) {
        throw Error(e.what());
    }
}

// ---- XPath literals ----

std::string xpathLiteral(std::string_view text) {
    if (text.find('"') == std::string_view::npos)
        return "\"" + std::string(text) + "\"";
    if (text.find('\'') == std::string_view::npos)
        return "'" + std::string(text) + "'";
    // Both kinds of quote: join the pieces between double quotes with '"'.
    std::string out = "concat(";
    size_t start = 0;
    bool first = true;
    for (;;) {
        size_t q = text.find('"', start);
        if (!first)
            out += ", '\"', ";
        first = false;
        out += "\"" + std::string(text.substr(start, q - start)) + "\"";
        if (q == std::string_view::npos)
            break;
        start = q + 1;
    }
    return out + ")";
}

std::string formatXPath(std::string_view format, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size();) {
        bool quoted = format.compare(i, 4, "\"%s\"") == 0;
        bool bare = !quoted && format.compare(i, 2, "%s") == 0;
        if (quoted || bare) {
            if (next >= args.size())
                throw Error("XPath: too few arguments for \"" + std::string(format) + "\"");
            out += xpathLiteral(args[next++]);
            i += quoted ? 4 : 2;
        } else {
            out += format[i++];
        }
    }
    if (next != args.size())
        throw Error("XPath: too many arguments for \"" + std::string(format) + "\"");
    return out;
}

} // namespace vedris::xml
