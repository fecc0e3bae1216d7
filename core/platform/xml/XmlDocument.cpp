#include "platform/xml/XmlDocument.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <mutex>

#include <libxml/SAX2.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include "Texts.h"
#include "platform/fs/AtomicFile.h"

namespace vedris::xml {
namespace {

// Parsing never substitutes entities, loads a DTD or touches the network.
constexpr int kParseOptions = XML_PARSE_NONET;

// Nothing this program reads may pull in another resource: a hostile file would otherwise
// read local files or reach the network through an external entity, a DTD or an include.
// The parser reports the refused load as its own error.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

void ignoreGenericError(void*, const char*, ...) {}

// ---- Limits of a transformation ----

// Bytes the XML engine holds, counted through its allocation hooks. A block allocated before
// the hooks were set is freed by them as well: all of them are the C library's.
std::atomic<long long> engineBytes{0};

long long usable(void* p) {
    return static_cast<long long>(malloc_usable_size(p));
}
void* countedMalloc(size_t size) {
    void* p = std::malloc(size);
    if (p)
        engineBytes.fetch_add(usable(p), std::memory_order_relaxed);
    return p;
}
void* countedRealloc(void* old, size_t size) {
    long long before = old ? usable(old) : 0;
    void* p = std::realloc(old, size);
    if (p)
        engineBytes.fetch_add(usable(p) - before, std::memory_order_relaxed);
    return p;
}
void countedFree(void* p) {
    if (!p)
        return;
    engineBytes.fetch_sub(usable(p), std::memory_order_relaxed);
    std::free(p);
}
char* countedStrdup(const char* text) {
    size_t size = std::strlen(text) + 1;
    auto* p = static_cast<char*>(countedMalloc(size));
    if (p)
        std::memcpy(p, text, size);
    return p;
}

// What one running transformation has used; reached from libxslt's callbacks through the
// transformation context's user pointer, and from node creation through the thread.
struct TransformGuard {
    const TransformLimits* limits = nullptr;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    unsigned long steps = 0;
    unsigned long nodes = 0;
    long long bytesAtStart = engineBytes.load(std::memory_order_relaxed);
    std::string stopped; // why the guard stopped the engine
};

thread_local TransformGuard* runningGuard = nullptr;

void countNode(xmlNodePtr) {
    if (runningGuard)
        ++runningGuard->nodes;
}

void stop(TransformGuard& guard, xsltTransformContextPtr ctxt, std::string why) {
    if (guard.stopped.empty())
        guard.stopped = std::move(why);
    // What xsltStopEngine does; libxslt checks the state between instructions.
    ctxt->state = XSLT_STATE_STOPPED;
}

// libxslt calls this before every instruction once the context's debug status is set; it is
// the one place where a running transformation can be looked at and stopped.
void onInstruction(xmlNodePtr, xmlNodePtr, xsltTemplatePtr, xsltTransformContextPtr ctxt) {
    auto* guard = ctxt ? static_cast<TransformGuard*>(ctxt->_private) : nullptr;
    if (!guard || !guard->stopped.empty())
        return;
    const TransformLimits& limits = *guard->limits;
    if (guard->nodes > limits.maxNodes) {
        stop(*guard, ctxt,
             std::string(texts::TransformStopped) + texts::TransformNodes1 +
                 std::to_string(limits.maxNodes) + texts::TransformNodes2);
        return;
    }
    if (ctxt->lasttext && static_cast<unsigned long>(ctxt->lasttsize) > limits.maxTextBytes) {
        stop(*guard, ctxt,
             std::string(texts::TransformStopped) + texts::TransformText1 +
                 std::to_string(limits.maxTextBytes) + texts::TransformText2);
        return;
    }
    // Strings grow without making nodes: a variable that doubles at every call fills the
    // memory within a few dozen instructions.
    if (engineBytes.load(std::memory_order_relaxed) - guard->bytesAtStart >
        static_cast<long long>(limits.maxMemoryBytes)) {
        stop(*guard, ctxt,
             std::string(texts::TransformStopped) + texts::TransformMemory1 +
                 std::to_string(limits.maxMemoryBytes >> 20) + texts::TransformMemory2);
        return;
    }
    if (++guard->steps % 16 == 0) {
        auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - guard->start);
        if (spent.count() > limits.maxMilliseconds)
            stop(*guard, ctxt,
                 std::string(texts::TransformStopped) + texts::TransformTime1 +
                     std::to_string(limits.maxMilliseconds) + texts::TransformTime2);
    }
}

int noCallFrame(xsltTemplatePtr, xmlNodePtr) {
    return 0;
}
void noCallFrameDrop() {}

void initialise() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlMemSetup(countedFree, countedMalloc, countedRealloc, countedStrdup);
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalEntity);
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
        xsltSetGenericErrorFunc(nullptr, ignoreGenericError);
        // The debugger hooks are libxslt's only per-instruction callback. They fire only for
        // contexts whose debug status is set, which transform() does for its own.
        struct {
            xsltHandleDebuggerCallback handler;
            xsltAddCallCallback add;
            xsltDropCallCallback drop;
        } hooks = {onInstruction, noCallFrame, noCallFrameDrop};
        xsltSetDebuggerCallbacks(3, &hooks);
    });
}

// ---- Entities ----

// Documents that declare entities are refused while they are parsed: an entity referenced
// thousands of times, each referencing others, expands to gigabytes wherever its text is
// read (value-of, attribute values), and nothing this program reads needs one.
struct EntityRefusal {
    std::string name;
};

void refuseEntityDeclaration(void* ctx, const xmlChar* name) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    auto* refusal = static_cast<EntityRefusal*>(ctxt->_private);
    if (refusal && refusal->name.empty())
        refusal->name = name ? reinterpret_cast<const char*>(name) : "";
    xmlStopParser(ctxt);
}

void onEntityDecl(void* ctx, const xmlChar* name, int, const xmlChar*, const xmlChar*, xmlChar*) {
    refuseEntityDeclaration(ctx, name);
}

void onUnparsedEntityDecl(void* ctx, const xmlChar* name, const xmlChar*, const xmlChar*,
                          const xmlChar*) {
    refuseEntityDeclaration(ctx, name);
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

// Collects the engine's messages while it is alive and restores the previous handlers.
// Every line is kept, in the order the engine gave them: libxslt says where on one line and
// why on the next, and libxml2 may report a cause before its consequence.
class ErrorCollector {
public:
    ErrorCollector() {
        initialise();
        prevStructured_ = xmlStructuredError;
        prevStructuredCtx_ = xmlStructuredErrorContext;
        xmlSetStructuredErrorFunc(this, &ErrorCollector::onStructured);
        xsltSetGenericErrorFunc(this, &ErrorCollector::onGeneric);
    }
    ~ErrorCollector() {
        xmlSetStructuredErrorFunc(prevStructuredCtx_, prevStructured_);
        xsltSetGenericErrorFunc(nullptr, ignoreGenericError);
    }
    ErrorCollector(const ErrorCollector&) = delete;
    ErrorCollector& operator=(const ErrorCollector&) = delete;

    bool any() const { return !lines_.empty() || !partial_.empty(); }
    // All lines collected, or fallback when there are none.
    std::string message(const std::string& fallback) const {
        std::string text;
        for (const std::string& line : lines_)
            text += (text.empty() ? "" : "\n") + line;
        if (!partial_.empty())
            text += (text.empty() ? "" : "\n") + trimmed(partial_);
        return text.empty() ? fallback : text;
    }

private:
    // A hostile document can raise an error per element; the first ones say enough.
    static constexpr std::size_t MaxLines = 20;
    static constexpr std::size_t MaxLineBytes = 1000;

    void add(std::string line) {
        line = trimmed(std::move(line));
        while (!line.empty() && line.front() == ' ')
            line.erase(0, 1);
        if (line.empty())
            return;
        // After a recursion error libxslt lists its template and variable stacks and tells
        // how to raise its limit on the command line; neither says why, and the user cannot
        // act on the hint.
        if (line == "Templates:" || line == "Variables:") {
            inStackDump_ = true;
            return;
        }
        if (inStackDump_ && line.front() == '#')
            return;
        inStackDump_ = false;
        if (line.rfind("You can adjust xsltMax", 0) == 0)
            return;
        if (line.size() > MaxLineBytes)
            line = line.substr(0, MaxLineBytes) + "…";
        if (lines_.size() < MaxLines)
            lines_.push_back(std::move(line));
        else if (lines_.size() == MaxLines)
            lines_.push_back("…");
    }

    static void onStructured(void* self, xmlErrorPtr err) {
        auto* c = static_cast<ErrorCollector*>(self);
        if (!err || err->level < XML_ERR_ERROR)
            return;
        std::string text = err->message ? err->message : "unknown error";
        std::string where;
        if (err->file && *err->file)
            where = std::string(err->file) + ":" + std::to_string(err->line) + ": ";
        else if (err->line > 0)
            where = "line " + std::to_string(err->line) + ": ";
        // A message of several lines keeps them all.
        std::size_t start = 0;
        for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
            c->add((start == 0 ? where : "") + text.substr(start, nl - start));
        }
        if (start < text.size())
            c->add((start == 0 ? where : "") + text.substr(start));
    }
    static void onGeneric(void* self, const char* fmt, ...) {
        auto* c = static_cast<ErrorCollector*>(self);
        char buf[1024];
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
        // libxslt writes a line in several calls; a line is complete at its line feed.
        c->partial_ += buf;
        for (std::size_t nl; (nl = c->partial_.find('\n')) != std::string::npos;) {
            c->add(c->partial_.substr(0, nl));
            c->partial_.erase(0, nl + 1);
        }
    }

    xmlStructuredErrorFunc prevStructured_ = nullptr;
    void* prevStructuredCtx_ = nullptr;
    std::vector<std::string> lines_;
    std::string partial_;
    bool inStackDump_ = false;
};

struct XmlCharFree {
    void operator()(xmlChar* p) const { xmlFree(p); }
};
using XmlString = std::unique_ptr<xmlChar, XmlCharFree>;

std::string take(xmlChar* p) {
    XmlString owned(p);
    return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
}

const xmlChar* X(const std::string& s) {
    return reinterpret_cast<const xmlChar*>(s.c_str());
}

struct XPathContextFree {
    void operator()(xmlXPathContext* p) const { xmlXPathFreeContext(p); }
};
struct XPathObjectFree {
    void operator()(xmlXPathObject* p) const { xmlXPathFreeObject(p); }
};
struct ParserCtxtFree {
    void operator()(xmlParserCtxt* p) const { xmlFreeParserCtxt(p); }
};
struct StylesheetFree {
    void operator()(xsltStylesheet* p) const { xsltFreeStylesheet(p); }
};
struct SecurityPrefsFree {
    void operator()(xsltSecurityPrefs* p) const { xsltFreeSecurityPrefs(p); }
};
struct TransformCtxtFree {
    void operator()(xsltTransformContext* p) const { xsltFreeTransformContext(p); }
};

xmlDoc* docOf(xmlNode* node) {
    if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE)
        return reinterpret_cast<xmlDoc*>(node);
    return node->doc;
}

std::unique_ptr<xmlXPathObject, XPathObjectFree> evaluate(xmlNode* context,
                                                          const std::string& xpath) {
    if (!context)
        throw Error("XPath: no context node for \"" + xpath + "\"");
    ErrorCollector errors;
    std::unique_ptr<xmlXPathContext, XPathContextFree> ctx(xmlXPathNewContext(docOf(context)));
    if (!ctx)
        throw Error("XPath: out of memory");
    ctx->node = context;
    std::unique_ptr<xmlXPathObject, XPathObjectFree> result(
        xmlXPathEvalExpression(X(xpath), ctx.get()));
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

// Some engine errors (a byte the declared encoding cannot decode) come without the file.
std::string namingFile(const std::string& message, const std::string& name) {
    return message.rfind(name, 0) == 0 ? message : name + ": " + message;
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

std::string Node::attribute(const std::string& name) const {
    if (!node_ || node_->type != XML_ELEMENT_NODE)
        return {};
    return take(xmlGetProp(node_, X(name)));
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
    EntityRefusal refusal;
    ctxt->_private = &refusal;
    ctxt->sax->entityDecl = onEntityDecl;
    ctxt->sax->unparsedEntityDecl = onUnparsedEntityDecl;
    xmlDoc* doc = xmlCtxtReadMemory(ctxt.get(), text.data(), static_cast<int>(text.size()),
                                    name.c_str(), nullptr, kParseOptions);
    if (!refusal.name.empty()) {
        if (doc)
            xmlFreeDoc(doc);
        throw Error(name + ":" + std::to_string(xmlSAX2GetLineNumber(ctxt.get())) +
                    texts::EntityDeclared1 + refusal.name + texts::EntityDeclared2);
    }
    if (!doc || !ctxt->wellFormed) {
        if (doc)
            xmlFreeDoc(doc);
        std::string fallback = name + ": not well-formed";
        const xmlError& last = ctxt->lastError;
        if (last.message)
            fallback = name + ":" + std::to_string(last.line) + ": " + trimmed(last.message);
        throw Error(namingFile(errors.message(fallback), name));
    }
    return Document(doc);
}

Document Document::create() {
    initialise();
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

// ---- XSLT ----

Document transform(const Document& source, const Document& stylesheet,
                   const TransformLimits& limits) {
    ErrorCollector errors;
    // The stylesheet takes ownership of the document it is built from: give it a copy.
    xmlDoc* copy = xmlCopyDoc(stylesheet.raw(), 1);
    if (!copy)
        throw Error("XSLT: out of memory");
    std::unique_ptr<xsltStylesheet, StylesheetFree> style(xsltParseStylesheetDoc(copy));
    if (!style) {
        xmlFreeDoc(copy);
        throw Error(errors.message("XSLT: the stylesheet is not valid"));
    }
    if (style->errors > 0)
        throw Error(errors.message("XSLT: the stylesheet is not valid"));

    std::unique_ptr<xsltSecurityPrefs, SecurityPrefsFree> prefs(xsltNewSecurityPrefs());
    std::unique_ptr<xsltTransformContext, TransformCtxtFree> ctxt(
        xsltNewTransformContext(style.get(), source.raw()));
    if (!prefs || !ctxt)
        throw Error("XSLT: out of memory");
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    if (xsltSetCtxtSecurityPrefs(prefs.get(), ctxt.get()) != 0)
        throw Error("XSLT: cannot set the security preferences");

    TransformGuard guard;
    guard.limits = &limits;
    ctxt->maxTemplateDepth = limits.maxDepth;
    ctxt->maxTemplateVars = limits.maxVariables;
    if (ctxt->xpathCtxt)
        ctxt->xpathCtxt->opLimit = limits.maxXPathOperations;
    ctxt->_private = &guard;
    ctxt->debugStatus = XSLT_DEBUG_RUN;
    // The node hook belongs to the calling thread.
    xmlRegisterNodeDefault(countNode);
    struct Running {
        explicit Running(TransformGuard* g) { runningGuard = g; }
        ~Running() { runningGuard = nullptr; }
    } running(&guard);

    xmlDoc* result =
        xsltApplyStylesheetUser(style.get(), source.raw(), nullptr, nullptr, nullptr, ctxt.get());
    if (!result || ctxt->state == XSLT_STATE_ERROR || ctxt->state == XSLT_STATE_STOPPED ||
        !guard.stopped.empty() || guard.nodes > limits.maxNodes) {
        if (result)
            xmlFreeDoc(result);
        std::string why = errors.message("XSLT: the transformation failed");
        if (!guard.stopped.empty())
            why = guard.stopped + (errors.any() ? "\n" + why : "");
        else if (guard.nodes > limits.maxNodes)
            why = std::string(texts::TransformStopped) + texts::TransformNodes1 +
                  std::to_string(limits.maxNodes) + texts::TransformNodes2;
        throw Error(why);
    }
    if (!result)
        throw Error("XML: no document");
    return Document(result);
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
