#include "platform/xml/TransformSandbox.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

#include <libxml/globals.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include "Texts.h"
#include "platform/xml/ErrorCollector.h"
#include "platform/xml/XmlDocument.h"
#include "platform/xml/XmlHandles.h"

namespace vedris::xml {
namespace detail {
namespace {

// ---- The counting allocator ----

// Bytes the XML engine allocated on this thread less what it freed here, counted through its
// allocation hooks. Per thread: one shared counter would be a cache line every parsing
// thread fights over at each allocation.
thread_local long long engineBytes = 0;

long long usable(void* p) {
    return static_cast<long long>(malloc_usable_size(p));
}
void* countedMalloc(size_t size) {
    void* p = std::malloc(size);
    if (p)
        engineBytes += usable(p);
    return p;
}
void* countedRealloc(void* old, size_t size) {
    long long before = old ? usable(old) : 0;
    void* p = std::realloc(old, size);
    if (p)
        engineBytes += usable(p) - before;
    return p;
}
void countedFree(void* p) {
    if (!p)
        return;
    engineBytes -= usable(p);
    std::free(p);
}
char* countedStrdup(const char* text) {
    size_t size = std::strlen(text) + 1;
    auto* p = static_cast<char*>(countedMalloc(size));
    if (p)
        std::memcpy(p, text, size);
    return p;
}

// ---- The per-instruction check ----

// What one running transformation has used; reached from libxslt's callbacks through the
// transformation context's user pointer, and from node creation through the thread.
struct TransformGuard {
    const TransformLimits* limits = nullptr;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    unsigned long steps = 0;
    unsigned long nodes = 0;
    long long bytesAtStart = engineBytes;
    std::string stopped; // why the guard stopped the engine
};

thread_local TransformGuard* runningGuard = nullptr;

void countNode(xmlNodePtr) {
    if (runningGuard)
        ++runningGuard->nodes;
}

// The user's text for a limit reached: what was done, the limit and its unit.
std::string stoppedText(const char* what, unsigned long long limit, const char* unit) {
    return std::string(texts::TransformStopped) + what + std::to_string(limit) + unit;
}

// Why the transformation must stop now; the empty text while it is within its limits.
std::string limitReached(TransformGuard& guard, xsltTransformContextPtr ctxt) {
    const TransformLimits& limits = *guard.limits;
    if (guard.nodes > limits.maxNodes)
        return stoppedText(texts::TransformNodes1, limits.maxNodes, texts::TransformNodes2);
    if (ctxt->lasttext && static_cast<unsigned long>(ctxt->lasttsize) > limits.maxTextBytes)
        return stoppedText(texts::TransformText1, limits.maxTextBytes, texts::TransformText2);
    // Strings grow without making nodes: a variable that doubles at every call fills the
    // memory within a few dozen instructions.
    if (engineBytes - guard.bytesAtStart >
        static_cast<long long>(limits.maxMemoryBytes))
        return stoppedText(texts::TransformMemory1, limits.maxMemoryBytes >> 20,
                           texts::TransformMemory2);
    if (++guard.steps % 16 == 0) {
        auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - guard.start);
        if (spent.count() > limits.maxMilliseconds)
            return stoppedText(texts::TransformTime1,
                               static_cast<unsigned long long>(limits.maxMilliseconds),
                               texts::TransformTime2);
    }
    return {};
}

// libxslt calls this before every instruction once the context's debug status is set; it is
// the one place where a running transformation can be looked at and stopped.
void onInstruction(xmlNodePtr, xmlNodePtr, xsltTemplatePtr, xsltTransformContextPtr ctxt) {
    auto* guard = ctxt ? static_cast<TransformGuard*>(ctxt->_private) : nullptr;
    if (!guard || !guard->stopped.empty())
        return;
    guard->stopped = limitReached(*guard, ctxt);
    // What xsltStopEngine does; libxslt checks the state between instructions.
    if (!guard->stopped.empty())
        ctxt->state = XSLT_STATE_STOPPED;
}

int noCallFrame(xsltTemplatePtr, xmlNodePtr) {
    return 0;
}
void noCallFrameDrop() {}

// ---- One transformation ----

using StylesheetPtr = std::unique_ptr<xsltStylesheet, StylesheetFree>;
using TransformCtxtPtr = std::unique_ptr<xsltTransformContext, TransformCtxtFree>;

StylesheetPtr compile(xmlDoc* stylesheet, const ErrorCollector& errors) {
    // The stylesheet takes ownership of the document it is built from: give it a copy.
    xmlDoc* copy = xmlCopyDoc(stylesheet, 1);
    if (!copy)
        throw Error("XSLT: out of memory");
    StylesheetPtr style(xsltParseStylesheetDoc(copy));
    if (!style) {
        xmlFreeDoc(copy);
        throw Error(errors.message("XSLT: the stylesheet is not valid"));
    }
    if (style->errors > 0)
        throw Error(errors.message("XSLT: the stylesheet is not valid"));
    return style;
}

// A context that may not write files, create folders or use the network, and whose every
// instruction is checked against guard.
TransformCtxtPtr sandboxedContext(xsltStylesheet* style, xmlDoc* source, TransformGuard& guard,
                                  std::unique_ptr<xsltSecurityPrefs, SecurityPrefsFree>& prefs) {
    prefs.reset(xsltNewSecurityPrefs());
    TransformCtxtPtr ctxt(xsltNewTransformContext(style, source));
    if (!prefs || !ctxt)
        throw Error("XSLT: out of memory");
    for (xsltSecurityOption option : {XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                                      XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK})
        xsltSetSecurityPrefs(prefs.get(), option, xsltSecurityForbid);
    if (xsltSetCtxtSecurityPrefs(prefs.get(), ctxt.get()) != 0)
        throw Error("XSLT: cannot set the security preferences");
    const TransformLimits& limits = *guard.limits;
    ctxt->maxTemplateDepth = limits.maxDepth;
    ctxt->maxTemplateVars = limits.maxVariables;
    if (ctxt->xpathCtxt)
        ctxt->xpathCtxt->opLimit = limits.maxXPathOperations;
    ctxt->_private = &guard;
    ctxt->debugStatus = XSLT_DEBUG_RUN;
    // The memory limit is the stylesheet's, not the context's own.
    guard.bytesAtStart = engineBytes;
    return ctxt;
}

// Counts the nodes the calling thread makes while it lives.
class NodeCounting {
public:
    explicit NodeCounting(TransformGuard* guard) {
        // The node hook belongs to the calling thread.
        xmlRegisterNodeDefault(countNode);
        runningGuard = guard;
    }
    ~NodeCounting() { runningGuard = nullptr; }
    NodeCounting(const NodeCounting&) = delete;
    NodeCounting& operator=(const NodeCounting&) = delete;
};

std::string failure(const TransformGuard& guard, const ErrorCollector& errors) {
    std::string why = errors.message("XSLT: the transformation failed");
    if (!guard.stopped.empty())
        return guard.stopped + (errors.any() ? "\n" + why : "");
    if (guard.nodes > guard.limits->maxNodes)
        return stoppedText(texts::TransformNodes1, guard.limits->maxNodes, texts::TransformNodes2);
    return why;
}

} // namespace

void installCountingAllocator() {
    xmlMemSetup(countedFree, countedMalloc, countedRealloc, countedStrdup);
}

void installInstructionHook() {
    // The debugger hooks are libxslt's only per-instruction callback.
    struct {
        xsltHandleDebuggerCallback handler;
        xsltAddCallCallback add;
        xsltDropCallCallback drop;
    } hooks = {onInstruction, noCallFrame, noCallFrameDrop};
    xsltSetDebuggerCallbacks(3, &hooks);
}

} // namespace detail

Document transform(const Document& source, const Document& stylesheet,
                   const TransformLimits& limits) {
    using namespace detail;
    ErrorCollector errors;
    StylesheetPtr style = compile(stylesheet.raw(), errors);
    TransformGuard guard;
    guard.limits = &limits;
    std::unique_ptr<xsltSecurityPrefs, SecurityPrefsFree> prefs;
    TransformCtxtPtr ctxt = sandboxedContext(style.get(), source.raw(), guard, prefs);
    NodeCounting counting(&guard);

    xmlDoc* result =
        xsltApplyStylesheetUser(style.get(), source.raw(), nullptr, nullptr, nullptr, ctxt.get());
    if (!result || ctxt->state == XSLT_STATE_ERROR || ctxt->state == XSLT_STATE_STOPPED ||
        !guard.stopped.empty() || guard.nodes > limits.maxNodes) {
        if (result)
            xmlFreeDoc(result);
        throw Error(failure(guard, errors));
    }
    return Document(result);
}

} // namespace vedris::xml
