#pragma once
// The typed view of a page's form that the binders use: the members of the browser's
// document object model they call, and nothing more. A member that an element does not
// have (options on a text field, checked on a text area) raises html::Error, as a
// late-bound call on the browser's object would.
#include <stdexcept>
#include <string>

namespace vedris::html {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ElementCollection;

class Element {
public:
    virtual ~Element() = default;
    // input, select, textarea, option: read; write on every one of them.
    virtual std::string value() const = 0;
    virtual void setValue(const std::string& value) = 0;
    // input only.
    virtual bool checked() const = 0;
    virtual void setChecked(bool checked) = 0;
    // The text of a text area (what the candidate sees); read only elsewhere.
    virtual std::string innerText() const = 0;
    virtual void setInnerText(const std::string& text) = 0;
    // select only: its option elements, in order.
    virtual ElementCollection& options() = 0;
    // option only.
    virtual bool selected() const = 0;
    virtual void setSelected(bool selected) = 0;
    // select: whether the list lets the candidate choose several options. A document that
    // cannot tell answers false, which keeps the single-choice handling of lists.
    virtual bool multiple() const { return false; }
};

class ElementCollection {
public:
    virtual ~ElementCollection() = default;
    virtual int length() const = 0;
    // The entry at index, from 0; raises Error outside 0..length-1.
    virtual Element& item(int index) = 0;
};

class Form {
public:
    virtual ~Form() = default;
    // Runs the form's own handler of the named event ("onSubmit") and returns its verdict:
    // true unless the handler cancelled the event.
    virtual bool fireEvent(const std::string& eventName) = 0;
};

class FormCollection {
public:
    virtual ~FormCollection() = default;
    virtual int length() const = 0;
    // The form at index; raises Error when there is none.
    virtual Form& item(int index) = 0;
};

class FormDocument {
public:
    virtual ~FormDocument() = default;
    // The elements whose name attribute equals name, in document order. The collection
    // stays valid as long as the document.
    virtual ElementCollection& getElementsByName(const std::string& name) = 0;
    virtual FormCollection& forms() = 0;
};

} // namespace vedris::html
