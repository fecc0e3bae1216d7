// An assessment file read and its result derived with the demo stylesheet, as the storage
// does it: no crash, no hang, no unbounded memory on any input.
#include <cstdint>
#include <string_view>

#include "platform/xml/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vedris::xml;
    static const Document stylesheet = Document::load(VEDRIS_DEMO_STYLESHEET);
    try {
        Document source =
            Document::parse(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
        Document output = transform(source, stylesheet);
        if (Node result = output.selectFirst("//result"))
            (void)result.selectAll(".//item_result");
        (void)source.toString();
    } catch (const Error&) {
    }
    return 0;
}
