#include "platform/xml/EntityRefusal.h"

#include <libxml/SAX2.h>

#include "Texts.h"

namespace vedris::xml::detail {

xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

EntityRefusal::EntityRefusal(xmlParserCtxt* ctxt) : ctxt_(ctxt) {
    ctxt->_private = this;
    ctxt->sax->entityDecl = onEntityDecl;
    ctxt->sax->unparsedEntityDecl = onUnparsedEntityDecl;
}

std::string EntityRefusal::message(const std::string& documentName) const {
    return documentName + ":" + std::to_string(xmlSAX2GetLineNumber(ctxt_)) +
           texts::EntityDeclared1 + entity_ + texts::EntityDeclared2;
}

void EntityRefusal::refuse(void* ctx, const xmlChar* name) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    auto* self = static_cast<EntityRefusal*>(ctxt->_private);
    if (self && !self->refused_) {
        self->refused_ = true;
        self->entity_ = name ? reinterpret_cast<const char*>(name) : "";
    }
    xmlStopParser(ctxt);
}

void EntityRefusal::onEntityDecl(void* ctx, const xmlChar* name, int, const xmlChar*,
                                 const xmlChar*, xmlChar*) {
    refuse(ctx, name);
}

void EntityRefusal::onUnparsedEntityDecl(void* ctx, const xmlChar* name, const xmlChar*,
                                         const xmlChar*, const xmlChar*) {
    refuse(ctx, name);
}

} // namespace vedris::xml::detail
