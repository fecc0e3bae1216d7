#include "QTIDomain/uResponse.h"

#include "QTIDomain/uResultsIndex.h"
#include "QTIDomain/uStorageManager.h"

namespace vedris {

TResponse::TResponse(TStorageManager& StorageManager, const std::string& ItemIdent,
                     const std::string& ResponseIdent)
    : FStorageManager(StorageManager), FItemIdent(ItemIdent), FResponseIdent(ResponseIdent) {
    const TResultsIndex& index = FStorageManager.ResultsIndex();
    FItemResultNode = index.CurrentResult() ? index.FirstItemResult(ItemIdent) : xml::Node();
    if (!FItemResultNode)
        throw EAssertionFailed(286);
    FResponseNode = index.FirstResponse(ItemIdent, ResponseIdent);
    if (!FResponseNode)
        throw EAssertionFailed(290);
}

std::vector<xml::Node> TResponse::StoredValues() const {
    return ChildElements(FResponseNode, "response_value");
}

std::string TResponse::GetStoredValue(int Index) const {
    if (Index < 0)
        return {};
    auto values = StoredValues();
    return static_cast<size_t>(Index) < values.size() ? values[static_cast<size_t>(Index)].text()
                                                      : std::string();
}

std::vector<std::string> TResponse::GetStoredValues() const {
    std::vector<std::string> values;
    for (const xml::Node& v : StoredValues())
        values.push_back(v.text());
    return values;
}

int TResponse::ValueCount() const {
    return static_cast<int>(StoredValues().size());
}

bool TResponse::HasValue(const std::string& Value) const {
    for (const xml::Node& v : StoredValues())
        if (v.text() == Value)
            return true;
    return false;
}

std::vector<xml::Node> TResponse::SelectResponseNodes() const {
    return FStorageManager.ResultsIndex().Responses(FItemIdent, FResponseIdent);
}

void TResponse::AddValue(const std::string& Value, TResponseStatus Status) {
    xml::Document& doc = FStorageManager.ResultsDocument();
    for (xml::Node response : SelectResponseNodes()) {
        xml::Node v = doc.createElement("response_value");
        response.appendChild(v);
        v.setText(Value);
        v.setAttribute("response_status", ResponseStatusNames[Status]);
    }
}

void TResponse::MarkNotAnswered() {
    AddValue("", rsNA);
}

void TResponse::ClearValues() {
    for (xml::Node response : SelectResponseNodes())
        FStorageManager.RemoveChildNodes(response);
}

} // namespace vedris
