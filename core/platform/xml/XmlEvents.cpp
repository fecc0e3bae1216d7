#include "platform/xml/XmlEvents.h"

#include <cstdint>
#include <exception>
#include <memory>

#include <libxml/SAX2.h>
#include <libxml/parser.h>

#include "platform/xml/EntityRefusal.h"
#include "platform/xml/ErrorCollector.h"
#include "platform/xml/XmlDocument.h"
#include "platform/xml/XmlHandles.h"

namespace vedris::xml {

namespace {

// As Document::parse, and entities replaced: the predefined ones and character references
// are all a document can hold, since one that declares an entity is refused.
constexpr int kEventOptions = XML_PARSE_NONET | XML_PARSE_NOENT;

const char* C(const xmlChar* text) {
    return reinterpret_cast<const char*>(text);
}

// Between libxml2's callbacks and the reader: nothing may be thrown through the engine, so
// the first exception stops the parser and is raised again once it has returned.
struct Session {
    EventReader& reader;
    std::exception_ptr failure;

    static Session& of(void* ctx) {
        return *static_cast<Session*>(static_cast<xmlParserCtxt*>(ctx)->sax->_private);
    }
    template <typename Call> static void guarded(void* ctx, Call call) {
        Session& s = of(ctx);
        if (s.failure)
            return;
        try {
            call(s.reader);
        } catch (...) {
            s.failure = std::current_exception();
            xmlStopParser(static_cast<xmlParserCtxt*>(ctx));
        }
    }

    static void onStart(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                        const xmlChar* uri,
                        int, const xmlChar**, int count, int, const xmlChar** attributes) {
        EventReader::Element e;
        e.name = C(localname);
        if (prefix)
            e.prefix = C(prefix);
        e.namespaced = uri != nullptr;
        e.line = xmlSAX2GetLineNumber(ctx);
        e.attributeCount = count;
        e.attributes = reinterpret_cast<const void* const*>(attributes);
        guarded(ctx, [&](EventReader& r) { r.startElement(e); });
    }
    static void onEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
        guarded(ctx, [](EventReader& r) { r.endElement(); });
    }
    static void onText(void* ctx, const xmlChar* text, int length) {
        guarded(ctx, [&](EventReader& r) { r.text(std::string_view(C(text), size_t(length))); });
    }
};

} // namespace

std::string EventReader::Element::attribute(const char* name) const {
    auto* a = reinterpret_cast<const xmlChar* const*>(attributes);
    for (int i = 0; i < attributeCount; ++i, a += 5)
        if (a[2] == nullptr && xmlStrEqual(a[0], reinterpret_cast<const xmlChar*>(name)))
            return std::string(C(a[3]), size_t(a[4] - a[3]));
    return {};
}

void readEvents(std::string_view text, const std::string& name, EventReader& reader) {
    detail::ErrorCollector errors;
    if (text.size() > static_cast<std::size_t>(INT32_MAX))
        throw Error(name + ": the file is too large");
    std::unique_ptr<xmlParserCtxt, detail::ParserCtxtFree> ctxt(xmlNewParserCtxt());
    if (!ctxt || !ctxt->sax)
        throw Error("XML: out of memory");
    detail::EntityRefusal refusal(ctxt.get());
    Session session{reader, nullptr};
    xmlSAXHandler* sax = ctxt->sax;
    sax->_private = &session;
    sax->startElementNs = Session::onStart;
    sax->endElementNs = Session::onEnd;
    sax->characters = Session::onText;
    sax->cdataBlock = Session::onText;
    sax->ignorableWhitespace = Session::onText;
    // Comments and processing instructions are read (for the same errors as a parse) and
    // dropped.
    sax->comment = [](void*, const xmlChar*) {};
    sax->processingInstruction = [](void*, const xmlChar*, const xmlChar*) {};
    // The document node alone is made (and freed here): there is no tree to hang text on.
    xmlDoc* doc = xmlCtxtReadMemory(ctxt.get(), text.data(), static_cast<int>(text.size()),
                                    name.c_str(), nullptr, kEventOptions);
    if (doc)
        xmlFreeDoc(doc);
    if (session.failure)
        std::rethrow_exception(session.failure);
    if (refusal.refused())
        throw Error(refusal.message(name));
    if (!ctxt->wellFormed)
        throw Error(detail::parseFailure(errors, ctxt->lastError, name));
}

} // namespace vedris::xml
