#include "platform/xml/ErrorCollector.h"

#include <cstdarg>
#include <cstdio>

#include <libxml/globals.h>
#include <libxslt/xsltutils.h>

#include "platform/xml/XmlEngine.h"

namespace vedris::xml::detail {

void ignoreGenericError(void*, const char*, ...) {}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

ErrorCollector::ErrorCollector() {
    initialiseEngine();
    prevStructured_ = xmlStructuredError;
    prevStructuredCtx_ = xmlStructuredErrorContext;
    xmlSetStructuredErrorFunc(this, &ErrorCollector::onStructured);
    xsltSetGenericErrorFunc(this, &ErrorCollector::onGeneric);
}

ErrorCollector::~ErrorCollector() {
    xmlSetStructuredErrorFunc(prevStructuredCtx_, prevStructured_);
    xsltSetGenericErrorFunc(nullptr, ignoreGenericError);
}

std::string ErrorCollector::message(const std::string& fallback) const {
    std::string text;
    for (const std::string& line : lines_)
        text += (text.empty() ? "" : "\n") + line;
    if (!partial_.empty())
        text += (text.empty() ? "" : "\n") + trimmed(partial_);
    return text.empty() ? fallback : text;
}

// After a recursion error libxslt lists its template and variable stacks and tells how to
// raise its limit on the command line; neither says why, and the user cannot act on the hint.
bool ErrorCollector::isStackDump(const std::string& line) {
    if (line == "Templates:" || line == "Variables:") {
        inStackDump_ = true;
        return true;
    }
    if (inStackDump_ && line.front() == '#')
        return true;
    inStackDump_ = false;
    return line.rfind("You can adjust xsltMax", 0) == 0;
}

void ErrorCollector::add(std::string line) {
    line = trimmed(std::move(line));
    while (!line.empty() && line.front() == ' ')
        line.erase(0, 1);
    if (line.empty() || isStackDump(line))
        return;
    if (line.size() > MaxLineBytes)
        line = line.substr(0, MaxLineBytes) + "…";
    if (lines_.size() < MaxLines)
        lines_.push_back(std::move(line));
    else if (lines_.size() == MaxLines)
        lines_.push_back("…");
}

void ErrorCollector::onStructured(void* self, xmlErrorPtr err) {
    auto* c = static_cast<ErrorCollector*>(self);
    if (!err || err->level < XML_ERR_ERROR)
        return;
    std::string text = err->message ? err->message : "unknown error";
    std::string where;
    if (err->file && *err->file)
        where = std::string(err->file) + ":" + std::to_string(err->line) + ": ";
    else if (err->line > 0)
        where = "line " + std::to_string(err->line) + ": ";
    // A message of several lines keeps them all.
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        c->add((start == 0 ? where : "") + text.substr(start, nl - start));
    if (start < text.size())
        c->add((start == 0 ? where : "") + text.substr(start));
}

void ErrorCollector::onGeneric(void* self, const char* fmt, ...) {
    auto* c = static_cast<ErrorCollector*>(self);
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    // libxslt writes a line in several calls; a line is complete at its line feed.
    c->partial_ += buf;
    for (std::size_t nl; (nl = c->partial_.find('\n')) != std::string::npos;) {
        c->add(c->partial_.substr(0, nl));
        c->partial_.erase(0, nl + 1);
    }
}

std::string parseFailure(const ErrorCollector& errors, const xmlError& last,
                         const std::string& name) {
    std::string fallback = name + ": not well-formed";
    if (last.message)
        fallback = name + ":" + std::to_string(last.line) + ": " + trimmed(last.message);
    std::string message = errors.message(fallback);
    // Some engine errors (a byte the declared encoding cannot decode) come without the file.
    return message.rfind(name, 0) == 0 ? message : name + ": " + message;
}

} // namespace vedris::xml::detail
