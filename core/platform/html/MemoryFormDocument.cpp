#include "platform/html/MemoryFormDocument.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "platform/text/AsciiCase.h"

namespace vedris::html {

namespace {

std::string lower(std::string s) {
    return text::asciiLower(std::move(s));
}

// Elements whose DOM interface has a value property holding text.
bool hasValueMember(const std::string& tag) {
    static const std::set<std::string> tags = {"input",  "select", "textarea", "option",
                                               "button", "output", "data",     "param"};
    return tags.count(tag) != 0;
}

// Reading the snapshot: every field is checked for its type so a page that sends something
// unexpected fails loudly instead of binding answers to the wrong controls.
const nlohmann::json* field(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

std::string textField(const nlohmann::json& object, const char* key, const std::string& where,
                      const std::string& fallback = {}) {
    const nlohmann::json* f = field(object, key);
    if (!f)
        return fallback;
    if (!f->is_string())
        throw Error("Malformed form snapshot: " + where + "." + key + " is not a string");
    return f->get<std::string>();
}

bool boolField(const nlohmann::json& object, const char* key, const std::string& where,
               bool fallback = false) {
    const nlohmann::json* f = field(object, key);
    if (!f)
        return fallback;
    if (!f->is_boolean())
        throw Error("Malformed form snapshot: " + where + "." + key + " is not a boolean");
    return f->get<bool>();
}

} // namespace

class MemElement;

// The options of one list, as the list's "options" member hands them out.
class MemOption : public Element {
public:
    MemOption(MemElement* list, std::string value, bool selected)
        : list_(list), value_(std::move(value)), selected_(selected) {}

    std::string value() const override { return value_; }
    void setValue(const std::string&) override {
        // The record of changes carries only the selection of a list, so a changed option
        // value could never reach the page.
        throw Error("NotSupportedError: option values cannot be changed in this document");
    }
    bool checked() const override { throw missing("checked"); }
    void setChecked(bool) override { throw missing("checked"); }
    std::string innerText() const override { return {}; }
    void setInnerText(const std::string&) override { throw missing("innerText"); }
    ElementCollection& options() override { throw missing("options"); }
    bool selected() const override { return selected_; }
    void setSelected(bool selected) override;
    bool multiple() const override { throw missing("multiple"); }

    bool selectedFlag() const { return selected_; }
    void setSelectedFlag(bool selected) { selected_ = selected; }

private:
    Error missing(const std::string& member) const {
        return Error("Object doesn't support property or method '" + member +
                     "' (<option value=\"" + value_ + "\">)");
    }

    MemElement* list_;
    std::string value_;
    bool selected_;
};

class MemElement : public Element {
public:
    MemElement(MemoryFormDocument::Impl* doc, int index)
        : doc_(doc), index_(index), optionList_(this) {}

    std::string tag, type, name, value_;
    bool checked_ = false;
    bool multiple_ = false;
    std::vector<std::unique_ptr<MemOption>> optionItems;

    std::string value() const override {
        if (tag == "select") {
            for (const auto& o : optionItems)
                if (o->selectedFlag())
                    return o->value();
            return {};
        }
        if (!hasValueMember(tag))
            throw missing("value");
        return value_;
    }
    void setValue(const std::string& value) override;
    bool checked() const override {
        if (tag != "input")
            throw missing("checked");
        return checked_;
    }
    void setChecked(bool checked) override;
    std::string innerText() const override { return tag == "textarea" ? value_ : std::string(); }
    void setInnerText(const std::string& text) override;
    ElementCollection& options() override {
        if (tag != "select")
            throw missing("options");
        return optionList_;
    }
    bool selected() const override { throw missing("selected"); }
    void setSelected(bool) override { throw missing("selected"); }
    bool multiple() const override {
        if (tag != "select")
            throw missing("multiple");
        return multiple_;
    }

    // A list allowing one choice keeps at most one option selected, as the browser does.
    void optionSelected(MemOption* option, bool selected);
    void changed();

    nlohmann::json state() const;
    nlohmann::json change() const;
    // Takes the present state as what the page shows.
    void markShown() {
        shownValue_ = value_;
        shownChecked_ = checked_;
        shownSelection_ = selection();
    }
    bool differsFromShown() const {
        return value_ != shownValue_ || checked_ != shownChecked_ || selection() != shownSelection_;
    }

private:
    class OptionList : public ElementCollection {
    public:
        explicit OptionList(MemElement* list) : list_(list) {}
        int length() const override { return static_cast<int>(list_->optionItems.size()); }
        Element& item(int index) override {
            if (index < 0 || index >= length())
                throw Error("IndexSizeError: option " + std::to_string(index) +
                            " does not exist (the list has " + std::to_string(length()) + ")");
            return *list_->optionItems[static_cast<size_t>(index)];
        }

    private:
        MemElement* list_;
    };

    Error missing(const std::string& member) const {
        std::string d = "<" + tag;
        if (!type.empty())
            d += " type=\"" + type + "\"";
        d += " name=\"" + name + "\">";
        return Error("Object doesn't support property or method '" + member + "' (" + d + ")");
    }

    std::vector<bool> selection() const {
        std::vector<bool> selected;
        selected.reserve(optionItems.size());
        for (const auto& o : optionItems)
            selected.push_back(o->selectedFlag());
        return selected;
    }

    MemoryFormDocument::Impl* doc_;
    int index_;
    OptionList optionList_;
    // The state the page showed at the last update or clearChanges: a write that leaves
    // an element as it was is no news to the page.
    std::string shownValue_;
    bool shownChecked_ = false;
    std::vector<bool> shownSelection_;
};

namespace {

// The elements of one name, looked up afresh on every call so that it follows updates.
class NamedCollection : public ElementCollection {
public:
    NamedCollection(MemoryFormDocument::Impl* doc, std::string name)
        : doc_(doc), name_(std::move(name)) {}
    int length() const override;
    Element& item(int index) override;

private:
    MemoryFormDocument::Impl* doc_;
    std::string name_;
};

class MemForm : public Form {
public:
    explicit MemForm(const bool& verdict) : verdict_(verdict) {}
    bool fireEvent(const std::string& eventName) override {
        if (lower(eventName) != "onsubmit")
            throw Error("NotSupportedError: the event '" + eventName +
                        "' cannot be fired on this document");
        return verdict_;
    }

private:
    const bool& verdict_;
};

class MemForms : public FormCollection {
public:
    MemForms(const bool& hasForm, MemForm& form) : hasForm_(hasForm), form_(form) {}
    int length() const override { return hasForm_ ? 1 : 0; }
    Form& item(int index) override {
        if (!hasForm_ || index != 0)
            throw Error("TypeError: null is not an object (evaluating 'document.forms.item(" +
                        std::to_string(index) + ")')");
        return form_;
    }

private:
    const bool& hasForm_;
    MemForm& form_;
};

} // namespace

struct MemoryFormDocument::Impl {
    std::vector<std::unique_ptr<MemElement>> elements;
    std::unordered_map<std::string, std::vector<int>> byName;
    std::unordered_map<std::string, std::unique_ptr<NamedCollection>> collections;
    std::set<int> changed;
    bool hasForm = true;
    bool verdict = true;
    MemForm form{verdict};
    MemForms forms{hasForm, form};

    MemElement& add(const std::string& tag, const std::string& name) {
        int index = static_cast<int>(elements.size());
        auto e = std::make_unique<MemElement>(this, index);
        e->tag = lower(tag);
        e->name = name;
        byName[name].push_back(index);
        elements.push_back(std::move(e));
        return *elements.back();
    }
};

int NamedCollection::length() const {
    auto it = doc_->byName.find(name_);
    return it == doc_->byName.end() ? 0 : static_cast<int>(it->second.size());
}

Element& NamedCollection::item(int index) {
    auto it = doc_->byName.find(name_);
    int n = it == doc_->byName.end() ? 0 : static_cast<int>(it->second.size());
    if (index < 0 || index >= n)
        throw Error("IndexSizeError: element " + std::to_string(index) + " named \"" + name_ +
                    "\" does not exist (there are " + std::to_string(n) + ")");
    return *doc_->elements[static_cast<size_t>(it->second[static_cast<size_t>(index)])];
}

void MemOption::setSelected(bool selected) {
    list_->optionSelected(this, selected);
}

void MemElement::changed() {
    doc_->changed.insert(index_);
}

void MemElement::setValue(const std::string& value) {
    if (tag == "select") {
        // As in the browser: the first option with that value becomes the selection.
        bool found = false;
        for (auto& o : optionItems) {
            bool hit = !found && o->value() == value;
            found = found || hit;
            o->setSelectedFlag(hit);
        }
        changed();
        return;
    }
    if (!hasValueMember(tag))
        throw missing("value");
    if (tag == "input" && type == "file" && !value.empty())
        throw Error("InvalidStateError: a file field's value can only be cleared");
    value_ = value;
    changed();
}

void MemElement::setChecked(bool checked) {
    if (tag != "input")
        throw missing("checked");
    if (checked && type == "radio") {
        // Checking a radio button unchecks the others of its group.
        for (int other : doc_->byName[name]) {
            MemElement& e = *doc_->elements[static_cast<size_t>(other)];
            if (other != index_ && e.tag == "input" && e.type == "radio" && e.checked_) {
                e.checked_ = false;
                e.changed();
            }
        }
    }
    checked_ = checked;
    changed();
}

void MemElement::setInnerText(const std::string& text) {
    if (tag != "textarea")
        throw missing("innerText");
    value_ = text;
    changed();
}

void MemElement::optionSelected(MemOption* option, bool selected) {
    if (selected && !multiple_)
        for (auto& o : optionItems)
            o->setSelectedFlag(false);
    option->setSelectedFlag(selected);
    changed();
}

nlohmann::json MemElement::state() const {
    nlohmann::json j = {{"tag", tag}, {"name", name}};
    if (tag == "input") {
        j["type"] = type;
        j["value"] = value_;
        j["checked"] = checked_;
    } else if (tag == "select") {
        j["multiple"] = multiple_;
        nlohmann::json options = nlohmann::json::array();
        for (const auto& o : optionItems)
            options.push_back({{"value", o->value()}, {"selected", o->selectedFlag()}});
        j["options"] = std::move(options);
    } else {
        j["value"] = value_;
    }
    return j;
}

nlohmann::json MemElement::change() const {
    nlohmann::json j = {{"i", index_}};
    if (tag == "select") {
        nlohmann::json selected = nlohmann::json::array();
        for (const auto& o : optionItems)
            selected.push_back(o->selectedFlag());
        j["selected"] = std::move(selected);
    } else {
        j["value"] = value_;
        if (tag == "input")
            j["checked"] = checked_;
    }
    return j;
}

MemoryFormDocument::MemoryFormDocument() : d(std::make_unique<Impl>()) {}

MemoryFormDocument::MemoryFormDocument(const nlohmann::json& snapshot) : MemoryFormDocument() {
    update(snapshot);
}

MemoryFormDocument::~MemoryFormDocument() = default;

void MemoryFormDocument::update(const nlohmann::json& snapshot) {
    if (!snapshot.is_object())
        throw Error("Malformed form snapshot: not an object");
    bool hasForm = boolField(snapshot, "hasForm", "snapshot", true);
    const nlohmann::json* list = field(snapshot, "elements");
    if (list && !list->is_array())
        throw Error("Malformed form snapshot: elements is not an array");

    // Build the new state aside, so a malformed snapshot leaves the document as it was.
    Impl fresh;
    if (list) {
        for (size_t i = 0; i < list->size(); ++i) {
            const nlohmann::json& e = (*list)[i];
            std::string where = "elements[" + std::to_string(i) + "]";
            if (!e.is_object())
                throw Error("Malformed form snapshot: " + where + " is not an object");
            const nlohmann::json* tag = field(e, "tag");
            if (!tag || !tag->is_string())
                throw Error("Malformed form snapshot: " + where + ".tag is missing");
            MemElement& m = fresh.add(tag->get<std::string>(), textField(e, "name", where));
            if (m.tag == "input") {
                m.type = lower(textField(e, "type", where, "text"));
                m.value_ = textField(e, "value", where);
                m.checked_ = boolField(e, "checked", where);
            } else if (m.tag == "select") {
                m.multiple_ = boolField(e, "multiple", where);
                const nlohmann::json* options = field(e, "options");
                if (options && !options->is_array())
                    throw Error("Malformed form snapshot: " + where + ".options is not an array");
                for (size_t k = 0; options && k < options->size(); ++k) {
                    const nlohmann::json& o = (*options)[k];
                    std::string at = where + ".options[" + std::to_string(k) + "]";
                    if (!o.is_object())
                        throw Error("Malformed form snapshot: " + at + " is not an object");
                    m.optionItems.push_back(std::make_unique<MemOption>(
                        &m, textField(o, "value", at), boolField(o, "selected", at)));
                }
            } else {
                m.value_ = textField(e, "value", where);
            }
        }
    }

    // The elements point back at the state they belong to, so they move over one by one.
    d->elements.clear();
    d->byName.clear();
    d->changed.clear();
    for (auto& e : fresh.elements) {
        MemElement& m = d->add(e->tag, e->name);
        m.type = e->type;
        m.value_ = e->value_;
        m.checked_ = e->checked_;
        m.multiple_ = e->multiple_;
        for (auto& o : e->optionItems)
            m.optionItems.push_back(std::make_unique<MemOption>(&m, o->value(), o->selectedFlag()));
        m.markShown();
    }
    d->hasForm = hasForm;
}

nlohmann::json MemoryFormDocument::toJson() const {
    nlohmann::json elements = nlohmann::json::array();
    for (const auto& e : d->elements)
        elements.push_back(e->state());
    return {{"hasForm", d->hasForm}, {"elements", std::move(elements)}};
}

nlohmann::json MemoryFormDocument::changes() const {
    nlohmann::json out = nlohmann::json::array();
    for (int i : d->changed)
        if (const MemElement& e = *d->elements[static_cast<size_t>(i)]; e.differsFromShown())
            out.push_back(e.change());
    return out;
}

void MemoryFormDocument::clearChanges() {
    for (int i : d->changed)
        d->elements[static_cast<size_t>(i)]->markShown();
    d->changed.clear();
}

void MemoryFormDocument::setSubmitVerdict(bool verdict) {
    d->verdict = verdict;
}

void MemoryFormDocument::setHasForm(bool hasForm) {
    d->hasForm = hasForm;
}

int MemoryFormDocument::addInput(const std::string& name, const std::string& type,
                                 const std::string& value, bool checked) {
    MemElement& m = d->add("input", name);
    m.type = lower(type);
    m.value_ = value;
    m.checked_ = checked;
    m.markShown();
    return static_cast<int>(d->elements.size()) - 1;
}

int MemoryFormDocument::addTextArea(const std::string& name, const std::string& text) {
    MemElement& m = d->add("textarea", name);
    m.value_ = text;
    m.markShown();
    return static_cast<int>(d->elements.size()) - 1;
}

int MemoryFormDocument::addSelect(const std::string& name, bool multiple,
                                  const std::vector<OptionState>& options) {
    MemElement& m = d->add("select", name);
    m.multiple_ = multiple;
    for (const auto& o : options)
        m.optionItems.push_back(std::make_unique<MemOption>(&m, o.value, o.selected));
    m.markShown();
    return static_cast<int>(d->elements.size()) - 1;
}

int MemoryFormDocument::addOther(const std::string& tag, const std::string& name,
                                 const std::string& value) {
    MemElement& m = d->add(tag, name);
    m.value_ = value;
    m.markShown();
    return static_cast<int>(d->elements.size()) - 1;
}

ElementCollection& MemoryFormDocument::getElementsByName(const std::string& name) {
    auto& slot = d->collections[name];
    if (!slot)
        slot = std::make_unique<NamedCollection>(d.get(), name);
    return *slot;
}

FormCollection& MemoryFormDocument::forms() {
    return d->forms;
}

} // namespace vedris::html
