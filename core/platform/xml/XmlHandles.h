#pragma once
// Inside the xml module only: the named deleters of libxml2 and libxslt handles and the small
// conversions the DOM adapter and the transformation sandbox share.
#include <memory>
#include <string>

#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>

namespace vedris::xml::detail {

struct XmlCharFree {
    void operator()(xmlChar* p) const { xmlFree(p); }
};
using XmlString = std::unique_ptr<xmlChar, XmlCharFree>;

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

// The text of an engine-allocated string, which is freed; the empty text for none.
inline std::string take(xmlChar* p) {
    XmlString owned(p);
    return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
}

inline const xmlChar* X(const std::string& s) {
    return reinterpret_cast<const xmlChar*>(s.c_str());
}

} // namespace vedris::xml::detail
