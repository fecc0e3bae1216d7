#include "QTIDomain/uStorageErrors.h"

namespace vedris {

std::string AssertionMessage(int line) {
    return "Assertion failure (QTIDomain\\uStorageManager, line " + std::to_string(line) + ")";
}

EAssertionFailed::EAssertionFailed(int line)
    : std::runtime_error(AssertionMessage(line)), FLine(line) {}

} // namespace vedris
