#include "QTIDomain/uStorageErrors.h"

namespace vedris {

std::string AssertionMessage(int line) {
    return "Assertion failure (QTIDomain\\uStorageManager, line " + std::to_string(line) + ")";
}

EAssertionFailed::EAssertionFailed(int line)
    : std::runtime_error(AssertionMessage(line)), FLine(line) {}

std::string FormatMessage(const std::string& format, const std::string& arg) {
    std::string out = format;
    auto at = out.find("%s");
    if (at != std::string::npos)
        out.replace(at, 2, arg);
    return out;
}

} // namespace vedris
