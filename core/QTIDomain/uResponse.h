#pragma once
// The stored answer to one response of one item: the response element of the current
// result in the results document, read by the binders at page load and rewritten, in
// every result that shares the item's and response's idents, at each submission.
#include <string>
#include <vector>

#include "QTIDomain/uStorageErrors.h"
#include "platform/xml/XmlDocument.h"

namespace vedris {

class TStorageManager;

enum TResponseStatus { rsNull, rsValid, rsNA, rsInvalid };

inline constexpr const char* ResponseStatusNames[] = {"Null", "Valid", "NA", "Invalid"};

class TResponse {
public:
    // Binds to the first item_result with ItemIdent below the storage manager's result and
    // to the first response with ResponseIdent under such an item_result. Raises
    // EAssertionFailed (line 286) when the item_result is missing, (line 290) when the
    // response is.
    TResponse(TStorageManager& StorageManager, const std::string& ItemIdent,
              const std::string& ResponseIdent);

    // Reads look at this result's response only.
    // The index-th stored value (from 0); the empty text beyond the last.
    std::string GetStoredValue(int Index) const;
    int ValueCount() const;
    // Every stored value, in order.
    std::vector<std::string> GetStoredValues() const;
    // True when a stored value is exactly Value (whole text, case-sensitive).
    bool HasValue(const std::string& Value) const;

    // Writes go to every response of these idents in the whole document.
    // Appends a value with its status to each of them.
    void AddValue(const std::string& Value, TResponseStatus Status);
    // Stores the empty "NA" placeholder of an unanswered response.
    void MarkNotAnswered();
    // Removes every child node, of any kind, from each of them.
    void ClearValues();
    // Every response of these idents in the whole document, in document order.
    std::vector<xml::Node> SelectResponseNodes() const;

    xml::Node ItemResultNode() const { return FItemResultNode; }
    xml::Node ResponseNode() const { return FResponseNode; }

private:
    std::vector<xml::Node> StoredValues() const;

    TStorageManager& FStorageManager;
    std::string FItemIdent;
    std::string FResponseIdent;
    xml::Node FItemResultNode;
    xml::Node FResponseNode;
};

} // namespace vedris
