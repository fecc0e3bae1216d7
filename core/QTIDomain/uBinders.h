#pragma once
// Binders: each ties one response of one item to the form controls that show it, named
// item ident + "." + response ident, and moves values between them and its response record.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "QTIDomain/uResponse.h"
#include "platform/html/FormDocument.h"
#include "platform/xml/XmlDocument.h"

namespace vedris {

class TStorageManager;

// Which binder a response gets, and so which controls its page must carry for it.
enum class TBinderKind {
    None,       // a response_num without a fill-in-blank rendering: not bound
    InputText,  // one-line text fields
    TextArea,   // multi-line text areas
    RadioCheck, // radio buttons or check boxes
    Select      // selection lists
};

// The kind for a response element of the assessment (response_lid, response_str or
// response_num): a render_fib below it decides first (one row: text fields, otherwise text
// areas), then the element's name, compared without regard to case.
TBinderKind BinderKindOf(xml::Node Response);

// The controls of one response: the form document's live collection for their name.
class THTMLControls {
public:
    THTMLControls(TStorageManager& StorageManager, const std::string& ItemIdent,
                  const std::string& ResponseIdent);

    static std::string ControlName(const std::string& ItemIdent, const std::string& ResponseIdent);
    // Read afresh at every call.
    int Count() const;
    html::Element& Items(int Index) const;

private:
    html::ElementCollection* FElements;
};

class TRespStorageManager {
public:
    // Reads the idents of the assessment's item and response elements, finds their
    // controls and their stored response; the record's assertion error passes out.
    TRespStorageManager(xml::Node Item, xml::Node Response, TStorageManager& StorageManager);
    virtual ~TRespStorageManager();
    TRespStorageManager(const TRespStorageManager&) = delete;
    TRespStorageManager& operator=(const TRespStorageManager&) = delete;

    // Fills every control from the stored values. Controls that match by value (boxes,
    // lists) take the stored values in turn, each value once, so that several lists or
    // groups of boxes sharing the response give back exactly what they stored; a value no
    // control took in turn (stored in another order) then goes to the first free match.
    void LoadControls();
    // Replaces the stored values by what the controls hold; the empty "NA" placeholder when
    // they hold nothing.
    void SaveControls();

    virtual void LoadControl(int Index) = 0;
    virtual void SaveControl(int Index) = 0;

    TResponse& Response() const { return *FResponse; }

protected:
    // While loading: true, taking it, when value is the next stored value not yet taken.
    bool TakeNext(const std::string& Value);
    // A stored value that no control took in turn; nothing by default.
    virtual void LoadLeftover(const std::string& Value) { (void)Value; }

    std::unique_ptr<THTMLControls> FControls;
    std::unique_ptr<TResponse> FResponse;

private:
    std::vector<std::string> FLoading; // the stored values while loading
    std::size_t FTaken = 0;            // how many of them controls took
};

// One-line text fields: positional, control i shows the i-th stored value; empty fields
// are not stored.
class TInputTextManager : public TRespStorageManager {
public:
    using TRespStorageManager::TRespStorageManager;
    void LoadControl(int Index) override;
    void SaveControl(int Index) override;
};

// Radio buttons and check boxes: a control is checked when its value is stored, each
// stored value checking one control.
class TInputRadioCheckManager : public TRespStorageManager {
public:
    using TRespStorageManager::TRespStorageManager;
    void LoadControl(int Index) override;
    void SaveControl(int Index) override;

protected:
    void LoadLeftover(const std::string& Value) override;
};

// Selection lists. Saving stores every selected option, list by list. Loading gives the
// stored values back in that order: a single-choice list selects the option equal to the
// next stored value, a list allowing several choices every option that the stored values
// name in turn; so each list shows again what the candidate chose on it, and values stored
// in another order are still shown in full.
class TSelectManager : public TRespStorageManager {
public:
    using TRespStorageManager::TRespStorageManager;
    void LoadControl(int Index) override;
    void SaveControl(int Index) override;

protected:
    void LoadLeftover(const std::string& Value) override;
};

// Multi-line text areas: positional, like the one-line fields.
class TTextAreaManager : public TRespStorageManager {
public:
    using TRespStorageManager::TRespStorageManager;
    void LoadControl(int Index) override;
    void SaveControl(int Index) override;
};

} // namespace vedris
