#pragma once
// The errors the results storage raises on its own account.
#include <stdexcept>
#include <string>

namespace vedris {

// A failure of the results storage with a message for the candidate (Ukrainian).
class EStorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The page's submit call itself failed, typically because the page has no form: the handler
// never ran and nothing was read from the page, so leaving it loses no answer.
class ESubmitCallFailed : public EStorageError {
public:
    using EStorageError::EStorageError;
};

// A broken invariant of the results document: a result that lacks the item_result or
// response an assessment page needs. The text names this unit and the line of the check
// as the program has always reported it, so support can tell the two cases apart.
class EAssertionFailed : public std::runtime_error {
public:
    explicit EAssertionFailed(int line);
    int Line() const { return FLine; }

private:
    int FLine;
};

// "Assertion failure (QTIDomain\uStorageManager, line N)".
std::string AssertionMessage(int line);

} // namespace vedris
