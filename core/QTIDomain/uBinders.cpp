#include "QTIDomain/uBinders.h"

#include "QTIDomain/uStorageManager.h"
#include "Texts.h"
#include "platform/text/AsciiCase.h"

namespace vedris {

namespace {

bool SameNameIgnoringCase(const std::string& a, const char* b) {
    return text::asciiLower(a) == b;
}

} // namespace

TBinderKind BinderKindOf(xml::Node Response) {
    if (Response.matches(".//render_fib"))
        return Response.matches(".//render_fib[@rows = 1]") ? TBinderKind::InputText
                                                            : TBinderKind::TextArea;
    if (SameNameIgnoringCase(Response.name(), "response_lid"))
        return TBinderKind::RadioCheck;
    if (SameNameIgnoringCase(Response.name(), "response_str"))
        return TBinderKind::Select;
    return TBinderKind::None;
}

THTMLControls::THTMLControls(TStorageManager& StorageManager, const std::string& ItemIdent,
                             const std::string& ResponseIdent) {
    html::FormDocument* document = StorageManager.FFormDocument();
    if (!document)
        throw EStorageError(texts::NoPageForControl + ControlName(ItemIdent, ResponseIdent) + ".");
    FElements = &document->getElementsByName(ControlName(ItemIdent, ResponseIdent));
}

std::string THTMLControls::ControlName(const std::string& ItemIdent,
                                       const std::string& ResponseIdent) {
    return ItemIdent + "." + ResponseIdent;
}

int THTMLControls::Count() const {
    return FElements->length();
}

html::Element& THTMLControls::Items(int Index) const {
    return FElements->item(Index);
}

TRespStorageManager::TRespStorageManager(xml::Node Item, xml::Node Response,
                                         TStorageManager& StorageManager) {
    std::string itemIdent = Item.attribute("ident");
    std::string responseIdent = Response.attribute("ident");
    FControls = std::make_unique<THTMLControls>(StorageManager, itemIdent, responseIdent);
    FResponse = std::make_unique<TResponse>(StorageManager, itemIdent, responseIdent);
}

TRespStorageManager::~TRespStorageManager() = default;

void TRespStorageManager::LoadControls() {
    FLoading = FResponse->GetStoredValues();
    FTaken = 0;
    int n = FControls->Count();
    for (int i = 0; i < n; ++i)
        LoadControl(i);
    const std::vector<std::string> leftovers(FLoading.begin() + static_cast<long>(FTaken),
                                             FLoading.end());
    FLoading.clear();
    for (const std::string& value : leftovers)
        LoadLeftover(value);
}

bool TRespStorageManager::TakeNext(const std::string& Value) {
    if (FTaken >= FLoading.size() || FLoading[FTaken] != Value)
        return false;
    ++FTaken;
    return true;
}

void TRespStorageManager::SaveControls() {
    FResponse->ClearValues();
    int n = FControls->Count();
    for (int i = 0; i < n; ++i)
        SaveControl(i);
    if (FResponse->ValueCount() == 0)
        FResponse->MarkNotAnswered();
}

void TInputTextManager::LoadControl(int Index) {
    FControls->Items(Index).setValue(FResponse->GetStoredValue(Index));
}

void TInputTextManager::SaveControl(int Index) {
    std::string value = FControls->Items(Index).value();
    if (!value.empty())
        FResponse->AddValue(value, rsValid);
}

void TTextAreaManager::LoadControl(int Index) {
    FControls->Items(Index).setInnerText(FResponse->GetStoredValue(Index));
}

void TTextAreaManager::SaveControl(int Index) {
    std::string text = FControls->Items(Index).innerText();
    if (!text.empty())
        FResponse->AddValue(text, rsValid);
}

void TInputRadioCheckManager::LoadControl(int Index) {
    html::Element& control = FControls->Items(Index);
    control.setChecked(TakeNext(control.value()));
}

void TInputRadioCheckManager::LoadLeftover(const std::string& Value) {
    for (int i = 0; i < FControls->Count(); ++i) {
        html::Element& control = FControls->Items(i);
        if (!control.checked() && control.value() == Value) {
            control.setChecked(true);
            return;
        }
    }
}

void TInputRadioCheckManager::SaveControl(int Index) {
    html::Element& control = FControls->Items(Index);
    if (control.checked())
        FResponse->AddValue(control.value(), rsValid);
}

void TSelectManager::LoadControl(int Index) {
    html::Element& list = FControls->Items(Index);
    int n = list.options().length();
    // Read after options, so that a control which is no list fails on that member first.
    bool multiple = list.multiple();
    bool chosen = false;
    for (int j = 0; j < n; ++j) {
        html::Element& option = FControls->Items(Index).options().item(j);
        const bool take = (multiple || !chosen) && TakeNext(option.value());
        chosen = chosen || take;
        option.setSelected(take);
    }
}

void TSelectManager::LoadLeftover(const std::string& Value) {
    for (int i = 0; i < FControls->Count(); ++i) {
        html::ElementCollection& options = FControls->Items(i).options();
        const bool multiple = FControls->Items(i).multiple();
        bool taken = false;
        for (int j = 0; j < options.length() && !multiple && !taken; ++j)
            taken = options.item(j).selected();
        for (int j = 0; j < options.length() && !taken; ++j) {
            html::Element& option = options.item(j);
            if (!option.selected() && option.value() == Value) {
                option.setSelected(true);
                return;
            }
        }
    }
}

void TSelectManager::SaveControl(int Index) {
    html::Element& list = FControls->Items(Index);
    int n = list.options().length();
    for (int j = 0; j < n; ++j) {
        html::Element& option = FControls->Items(Index).options().item(j);
        if (option.selected())
            FResponse->AddValue(option.value(), rsValid);
    }
}

} // namespace vedris
