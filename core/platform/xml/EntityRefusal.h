#pragma once
// Inside the xml module only: what keeps a parsed document from reaching outside itself or
// from growing when its text is read.
#include <string>

#include <libxml/parser.h>

namespace vedris::xml::detail {

// Refuses, for the one parse it is attached to, every document that declares an entity: an
// entity referenced thousands of times, each referencing others, expands to gigabytes
// wherever its text is read (value-of, attribute values), and nothing this program reads
// needs one. The parser is stopped at the declaration.
class EntityRefusal {
public:
    // Takes over the context's entity declaration handlers and its _private pointer; lives
    // as long as the parse.
    explicit EntityRefusal(xmlParserCtxt* ctxt);
    EntityRefusal(const EntityRefusal&) = delete;
    EntityRefusal& operator=(const EntityRefusal&) = delete;

    bool refused() const { return refused_; }
    // The user's message for the refused document: its name, the line, the entity.
    std::string message(const std::string& documentName) const;

private:
    static void refuse(void* ctx, const xmlChar* name);
    static void onEntityDecl(void* ctx, const xmlChar* name, int, const xmlChar*, const xmlChar*,
                             xmlChar*);
    static void onUnparsedEntityDecl(void* ctx, const xmlChar* name, const xmlChar*, const xmlChar*,
                                     const xmlChar*);

    xmlParserCtxt* ctxt_;
    bool refused_ = false;
    std::string entity_;
};

// The external entity loader of the whole process (set by initialiseEngine): nothing this
// program reads may pull in another resource, since a hostile file would otherwise read
// local files or reach the network through an external entity, a DTD or an include. The
// parser reports the refused load as its own error.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr);

} // namespace vedris::xml::detail
