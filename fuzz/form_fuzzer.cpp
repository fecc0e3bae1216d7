// The page snapshot read into the in-memory form document: no crash on any JSON, and a
// document that was built writes a snapshot that builds the same document again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/html/MemoryFormDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nlohmann::json snapshot = nlohmann::json::parse(data, data + size, nullptr, false);
    if (snapshot.is_discarded())
        return 0;
    try {
        vedris::html::MemoryFormDocument doc(snapshot);
        nlohmann::json written = doc.toJson();
        vedris::html::MemoryFormDocument again(written);
        if (again.toJson() != written)
            std::abort();
        if (written.contains("elements") && written["elements"].is_array()) {
            for (const auto& element : written["elements"]) {
                if (!element.contains("name") || !element["name"].is_string())
                    continue;
                auto& found = doc.getElementsByName(element["name"].get<std::string>());
                for (int i = 0; i < found.length(); ++i) {
                    found.item(i).setValue("x");
                    (void)found.item(i).value();
                }
            }
        }
        (void)doc.changes();
        doc.update(snapshot);
    } catch (const vedris::html::Error&) {
    }
    return 0;
}
