#pragma once
// Inside the xml module only: the messages of libxml2 and libxslt gathered for one call.
#include <cstddef>
#include <string>
#include <vector>

#include <libxml/xmlerror.h>

namespace vedris::xml::detail {

// Collects the engine's messages while it is alive and restores the previous handlers.
// Every line is kept, in the order the engine gave them: libxslt says where on one line and
// why on the next, and libxml2 may report a cause before its consequence.
// The handlers it replaces are the calling thread's (libxml2 keeps them per thread), so it
// belongs on the stack of the call whose messages it gathers.
class ErrorCollector {
public:
    ErrorCollector();
    ~ErrorCollector();
    ErrorCollector(const ErrorCollector&) = delete;
    ErrorCollector& operator=(const ErrorCollector&) = delete;

    bool any() const { return !lines_.empty() || !partial_.empty(); }
    // All lines collected, or fallback when there are none.
    std::string message(const std::string& fallback) const;

private:
    // A hostile document can raise an error per element; the first ones say enough.
    static constexpr std::size_t MaxLines = 20;
    static constexpr std::size_t MaxLineBytes = 1000;

    void add(std::string line);
    bool isStackDump(const std::string& line);
    static void onStructured(void* self, xmlErrorPtr err);
    static void onGeneric(void* self, const char* fmt, ...);

    xmlStructuredErrorFunc prevStructured_ = nullptr;
    void* prevStructuredCtx_ = nullptr;
    std::vector<std::string> lines_;
    std::string partial_;
    bool inStackDump_ = false;
};

// The generic error sink used when no collector listens: the text is dropped.
void ignoreGenericError(void*, const char*, ...);

// s without its trailing line feeds and spaces.
std::string trimmed(std::string s);

// The text of Error for a document that did not parse: every line collected, or else the
// engine's last error; either way naming the file first.
std::string parseFailure(const ErrorCollector& errors, const xmlError& last,
                         const std::string& name);

} // namespace vedris::xml::detail
