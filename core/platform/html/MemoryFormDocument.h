#pragma once
// The form document of a page held in memory: the page's named controls with their state.
// The browser bridge fills it from a JSON snapshot of the page, the binders read and write
// it, and the bridge writes what changed back to the page. Tests and benchmarks build
// one directly.
//
// Snapshot (toJson / update):
//   {"hasForm": true,
//    "elements": [                      // every element with a name attribute, in document order
//      {"tag": "input", "type": "text", "name": "Q1.R1", "value": "x", "checked": false},
//      {"tag": "textarea", "name": "Q2.R1", "value": "long text"},
//      {"tag": "select", "name": "Q3.R1", "multiple": true,
//       "options": [{"value": "a", "selected": true}, {"value": "b", "selected": false}]},
//      ...]}
// Other tags ("button", "a", ...) have a value and none of the other members.
//
// Changes (changes()): the elements written since the last update/clearChanges that no
// longer show what they showed then, with their whole new state:
//   [{"i": 0, "value": "x"}, {"i": 4, "checked": true},
//    {"i": 7, "selected": [true, false, true]}]       // i = index in "elements"
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/html/FormDocument.h"

namespace vedris::html {

struct OptionState {
    std::string value;
    bool selected = false;
};

class MemoryFormDocument : public FormDocument {
public:
    MemoryFormDocument();
    explicit MemoryFormDocument(const nlohmann::json& snapshot);
    ~MemoryFormDocument() override;
    MemoryFormDocument(const MemoryFormDocument&) = delete;
    MemoryFormDocument& operator=(const MemoryFormDocument&) = delete;

    // Replaces the whole state by a snapshot and clears the record of changes. Collections
    // handed out earlier stay valid: they are live views by name, as in the browser.
    // Raises Error on a malformed snapshot.
    void update(const nlohmann::json& snapshot);
    nlohmann::json toJson() const;
    nlohmann::json changes() const;
    void clearChanges();

    // What fireEvent("onSubmit") on the first form returns (the page's handler ran in the
    // browser). True until set.
    void setSubmitVerdict(bool verdict);
    void setHasForm(bool hasForm);

    // Building a document by hand (tests, benchmarks). Each returns the element's index.
    int addInput(const std::string& name, const std::string& type, const std::string& value,
                 bool checked = false);
    int addTextArea(const std::string& name, const std::string& text);
    int addSelect(const std::string& name, bool multiple, const std::vector<OptionState>& options);
    int addOther(const std::string& tag, const std::string& name, const std::string& value);

    ElementCollection& getElementsByName(const std::string& name) override;
    FormCollection& forms() override;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace vedris::html
