#pragma once
// Reading a document as it is parsed, without building its tree: for files read once and
// thrown away, where making and freeing every node would cost more than the reading. The
// same safety as Document::parse: no network, no DTD loaded, a document that declares an
// entity refused, and the same Error (file, line, the engine's text) for a broken one.
#include <string>
#include <string_view>

namespace vedris::xml {

class EventReader {
public:
    virtual ~EventReader() = default;

    // An element begins. name is its local name, prefix the one it is written with ("" for
    // none); namespaced whether it is in a namespace. The views are valid during the call.
    struct Element {
        std::string_view name;
        std::string_view prefix;
        bool namespaced = false;
        int line = 0;
        int attributeCount = 0;
        const void* const* attributes = nullptr; // the engine's, read through attribute()
        // The value of the attribute in no namespace with entities replaced; "" when absent.
        std::string attribute(const char* name) const;
    };
    virtual void startElement(const Element& element) = 0;
    virtual void endElement() = 0;
    // Character data (CDATA sections included), in as many pieces as the engine gives it.
    virtual void text(std::string_view piece) = 0;
};

// Parses the text, telling reader what it meets in document order. Raises Error as
// Document::parse does; what the reader was told until then stands.
void readEvents(std::string_view text, const std::string& name, EventReader& reader);

} // namespace vedris::xml
