// The page maker's HTML sanitiser on untrusted material: no crash, and what it keeps, read
// again as a browser would tokenize it, holds only allowed tags, no event handler or style,
// and links and images only to addresses beside the page. Sanitising twice changes nothing.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "HtmlScan.h"

using namespace vedris::assessments;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::set<std::string> forbidden = {"script", "style",  "iframe", "object",
                                                    "embed",  "form",   "input",  "textarea",
                                                    "select", "button", "link",   "meta",
                                                    "base",   "svg",    "math",   "frame"};
    const std::string html(reinterpret_cast<const char*>(data), size);
    const std::string clean = SanitizeHtml(html);
    ScanHtml(clean, [](const HtmlTag& tag) {
        if (forbidden.count(tag.name))
            std::abort();
        for (const auto& [name, value] : tag.attributes) {
            if (name.rfind("on", 0) == 0 || name == "style" || name == "name" || name == "id")
                std::abort();
            if ((name == "href" || name == "src") && !IsRelativeAddress(value))
                std::abort();
        }
    });
    if (SanitizeHtml(clean) != clean)
        std::abort();
    return 0;
}
