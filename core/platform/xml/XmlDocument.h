#pragma once
// RAII C++ over libxml2 and libxslt: documents, nodes, XPath 1.0 selection, XSLT 1.0
// transformation and a durable save. All texts are UTF-8 std::string. Every failure
// raises xml::Error carrying libxml2's own message.
//
// Process-wide: the first document made or read sets libxml2 and libxslt up for the whole
// process, for good (XmlEngine.h): libxml2's allocator is replaced by a counting one, every
// external resource (entity, DTD, include) is refused, and libxslt's debugger hooks check
// the limits of transform(). No other code in the process may set these. Everything else is
// per call or per thread. The files: XmlDocument.cpp (this adapter), EntityRefusal (what a
// parsed document may not declare or load), TransformSandbox (transform() and its limits),
// ErrorCollector (the engine's messages for one call).
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlNode xmlNode;

namespace vedris::xml {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct DocDeleter {
    void operator()(xmlDoc* doc) const;
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

// Frees a node taken out of its document, with everything below it.
struct NodeDeleter {
    void operator()(xmlNode* node) const;
};
using NodePtr = std::unique_ptr<xmlNode, NodeDeleter>;

class Document;
struct TransformLimits;

// A non-owning handle on a node of a Document; valid while its document lives and the
// node is in it. A default-constructed Node is "none" and tests false.
class Node {
public:
    Node() = default;
    explicit operator bool() const { return node_ != nullptr; }
    bool operator==(const Node& other) const { return node_ == other.node_; }

    // Element name; "#document" for the document node, "#text" for text.
    std::string name() const;
    // Value of the attribute; the empty text when the attribute is absent.
    std::string attribute(const char* name) const;
    std::string attribute(const std::string& name) const;
    bool hasAttribute(const std::string& name) const;
    // Value of the attribute in no namespace, as "@name" in a path sees it; none when absent.
    std::optional<std::string> noNsAttribute(const char* name) const;
    void setAttribute(const std::string& name, const std::string& value);
    // Concatenated text of all descendant text nodes (the XPath string value).
    std::string text() const;
    // Replaces all children by one text node (none for the empty text). Characters that
    // XML 1.0 cannot hold (most control characters, invalid UTF-8) are dropped, so the saved
    // file always parses again. setAttribute does the same.
    void setText(const std::string& text);
    // Value of the first child node: the text of a text, CDATA or comment node; the empty
    // text for an element child or when there is no child.
    std::string firstChildValue() const;

    Node firstChild() const;
    Node nextSibling() const;
    Node parent() const;
    bool isElement() const;
    // An element named name in no namespace, as a name step in a path matches it.
    bool isElementNamed(const char* name) const;
    // Calls visit on every element below this node, in document order. Deep nesting does
    // not recurse, so a hostile file cannot exhaust the stack.
    void forEachElementBelow(const std::function<void(Node)>& visit) const;
    // Line of the element in the text it was parsed from; 0 when unknown.
    int line() const;
    // Appends node as the last child; node must belong to this node's document.
    void appendChild(Node node);
    // Unlinks child from this node and frees it.
    void removeChild(Node child);
    // Removes every child node, of any kind.
    void removeChildren();
    // Takes this node out of its document; it is freed when the owner goes, and this
    // handle stays valid until then.
    NodePtr unlink();

    // First node matching the XPath 1.0 expression with this node as context, in document
    // order; none when nothing matches. "/" and "//" start from the document root.
    Node selectFirst(const std::string& xpath) const;
    // All matching nodes in document order.
    std::vector<Node> selectAll(const std::string& xpath) const;
    // True when the expression selects at least one node.
    bool matches(const std::string& xpath) const { return bool(selectFirst(xpath)); }

private:
    friend class Document;
    friend Document transform(const Document&, const Document&, const TransformLimits&);
    explicit Node(xmlNode* node) : node_(node) {}
    xmlNode* node_ = nullptr;
};

class Document {
public:
    // Loads and parses a file. Network access and DTD loading are off, so a hostile file can
    // neither read local files nor reach the network, and a document that declares an
    // entity is refused, so none can be expanded into gigabytes later (a DOCTYPE that only
    // names an external DTD is fine). A missing, malformed or refused file raises Error with
    // the file name, line and every line of libxml2's text.
    static Document load(const std::string& path);
    // Parses XML text with the same safety settings as load.
    static Document parse(std::string_view text, const std::string& name = "(memory)");
    // An empty document with no document element.
    static Document create();
    Document(Document&&) noexcept = default;
    Document& operator=(Document&&) noexcept = default;
    ~Document();

    // The document element; none when the document has none.
    Node documentElement() const;
    // Creates the document element (replacing any previous one) and returns it.
    Node createDocumentElement(const std::string& name);
    // Version and encoding written in the XML declaration on save.
    void setDeclaration(const std::string& version, const std::string& encoding);
    std::string version() const;
    std::string encoding() const;
    // The document node itself, as a context for selections.
    Node root() const;

    // Takes every element out of its namespace and drops the default namespace
    // declarations, so that files written with and without a namespace answer the same plain
    // selections and stylesheets, and nothing copied out of them carries a namespace along.
    // Prefixed declarations stay, for the attributes that use them.
    void dropElementNamespaces();

    Node createElement(const std::string& name);
    // Deep copy of a node of another document, owned by this one and not yet linked.
    Node importCopy(Node node);

    Node selectFirst(const std::string& xpath) const { return root().selectFirst(xpath); }
    std::vector<Node> selectAll(const std::string& xpath) const { return root().selectAll(xpath); }

    // Writes the whole document atomically and durably: a temporary file in the same
    // folder is written, flushed and synced, then renamed over path and the folder synced.
    // On failure the previous file is left intact, the temporary removed, and Error raised.
    void save(const std::string& path) const;
    // The serialised document, as save would write it.
    std::string toString() const;

private:
    friend Document transform(const Document&, const Document&, const TransformLimits&);
    explicit Document(xmlDoc* doc);
    xmlDoc* raw() const { return doc_.get(); }
    DocPtr doc_;
};

// How far one transformation may go before it is stopped with an Error. A stylesheet that
// recurses without end, loops through XPath or builds an enormous result is stopped, not
// left to freeze the window or fill the memory.
struct TransformLimits {
    // Nested template calls and variables (libxslt's own defaults).
    int maxDepth = 3000;
    int maxVariables = 15000;
    // XPath steps over the whole transformation.
    unsigned long maxXPathOperations = 100'000'000;
    // Nodes made, in the result and in temporary trees.
    unsigned long maxNodes = 1'000'000;
    // Bytes of one text node of the result.
    unsigned long maxTextBytes = 64ul << 20;
    // Memory the engine takes on top of what it held when the transformation began.
    unsigned long maxMemoryBytes = 128ul << 20;
    // Wall-clock time.
    long maxMilliseconds = 10'000;
};

// Applies an XSLT 1.0 stylesheet to source and returns the result tree as a new document.
// The stylesheet may not write files, create folders or use the network, and it is stopped
// at the limits. Errors carry every line of the engine's text (libxslt's "runtime error"
// line and the reason after it).
Document transform(const Document& source, const Document& stylesheet,
                   const TransformLimits& limits = {});

// An XPath 1.0 string literal standing for text exactly: "..." or '...', or a concat()
// of both kinds when the text holds both quote characters.
std::string xpathLiteral(std::string_view text);

// Fills an expression's %s placeholders, in order, with XPath literals of the arguments.
// A placeholder written between double quotes ("%s") is replaced together with its quotes,
// so "a[@id = \"%s\"]" with x gives a[@id = "x"], and with a"b gives a[@id = 'a"b'].
std::string formatXPath(std::string_view format, const std::vector<std::string>& args);

} // namespace vedris::xml
