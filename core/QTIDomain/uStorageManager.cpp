#include "QTIDomain/uStorageManager.h"

#include <cstdio>
#include <filesystem>

#include "QTIDomain/uResultsIndex.h"
#include "Texts.h"
#include "platform/text/AsciiCase.h"
#include "settings/uRegistry.h"

namespace vedris {

namespace {

// Runs one step; an engine error leaves it as an engine error, with the step's sentence
// and then every line of the engine's text.
template <class Step>
auto InStep(const char* sentence, const std::string& file, Step&& step) -> decltype(step()) {
    try {
        return step();
    } catch (const xml::Error& e) {
        throw xml::Error(FormatMessage(sentence, file) + "\n" + e.what());
    }
}

// Spaces and control characters, as the assessment's ident is trimmed of them.
std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

} // namespace

std::string FormatDateTime(std::time_t Time) {
    std::tm local{};
    localtime_r(&Time, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

TStorageManager::TStorageManager(const std::string& AssessmentFileName,
                                 const std::string& ResultsFileName,
                                 html::FormDocument* FormDocument)
    : FAssessmentFileName(AssessmentFileName), FResultsFileName(ResultsFileName),
      FDetached(std::make_unique<TDetachedNodes>()) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(AssessmentFileName, ec))
        throw EStorageError(FormatMessage(texts::AssessmentFileMissing, AssessmentFileName));
    FAssessmentDoc = std::make_unique<xml::Document>(LoadAssessmentDocument(AssessmentFileName));
    // Without its assessment element nothing in the file ties it to a result; say so now
    // rather than deriving or binding anything.
    GetAssessmentIdent();
    FResultsDoc = InStep(texts::StepReadResults, ResultsFileName, [&] {
        return std::make_unique<xml::Document>(xml::Document::load(ResultsFileName));
    });
    if (!FindResult())
        DeriveResult();
    FFormDocument_ = FormDocument;
    if (FormDocument)
        CreateBinders();
}

TStorageManager::~TStorageManager() = default;

xml::Document LoadAssessmentDocument(const std::string& FileName) {
    xml::Document document =
        InStep(texts::StepReadAssessment, FileName, [&] { return xml::Document::load(FileName); });
    document.dropElementNamespaces();
    return document;
}

std::string AssessmentIdentOf(const xml::Document& Assessment, const std::string& FileName) {
    xml::Node root = Assessment.documentElement();
    xml::Node assessment = root ? root.selectFirst("assessment") : xml::Node();
    if (!assessment)
        throw EStorageError(FormatMessage(texts::NoAssessmentElement, FileName));
    return Trim(assessment.attribute("ident"));
}

TDerivedResult DeriveResultFrom(const xml::Document& Assessment, const std::string& Ident,
                                const std::string& StylesheetFileName,
                                const std::string& AssessmentFileName) {
    xml::Document stylesheet = InStep(texts::StepReadStylesheet, StylesheetFileName,
                                      [&] { return xml::Document::load(StylesheetFileName); });
    xml::Document output = InStep(texts::StepDerive, AssessmentFileName,
                                  [&] { return xml::transform(Assessment, stylesheet); });
    xml::Node result = output.selectFirst("//result");
    if (!result)
        throw EStorageError(FormatMessage(texts::NoResultInOutput, Ident));
    // A result that the lookup would not find again would be appended anew at every
    // opening; refuse it before the file is touched.
    if (!result.matches(xml::formatXPath("assessment_result[@ident_ref = \"%s\"]", {Ident})))
        throw EStorageError(FormatMessage(texts::DerivedResultNotFound, Ident));
    return TDerivedResult{std::move(output), result};
}

std::string TStorageManager::GetAssessmentIdent() const {
    return AssessmentIdentOf(*FAssessmentDoc, FAssessmentFileName);
}

xml::Node TStorageManager::FindResult() const {
    xml::Node root = FResultsDoc->documentElement();
    if (!root)
        return {};
    return root.selectFirst(
        xml::formatXPath("result[assessment_result[@ident_ref = \"%s\"]]", {GetAssessmentIdent()}));
}

xml::Node TStorageManager::GetDateTimeNode() const {
    xml::Node result = FindResult();
    return result ? result.selectFirst("context/date/datetime") : xml::Node();
}

void TStorageManager::DeriveResult() {
    if (!ClientRegistry)
        throw EStorageError(texts::NoSettings);
    TDerivedResult derived = DeriveResultFrom(
        *FAssessmentDoc, GetAssessmentIdent(),
        std::string(ClientRegistry->GetValue("TransformationsDir")) + "ims_qtiasi2res.xslt",
        FAssessmentFileName);
    xml::Node root = FResultsDoc->documentElement();
    root.appendChild(FResultsDoc->importCopy(derived.Result));
    FIndexStale = true;
    InStep(texts::StepSaveResults, FResultsFileName, [&] { FResultsDoc->save(FResultsFileName); });
}

void TStorageManager::CreateBinders() {
    for (xml::Node item : FAssessmentDoc->selectAll("//item")) {
        for (xml::Node response :
             item.selectAll(".//response_lid | .//response_str | .//response_num")) {
            std::unique_ptr<TRespStorageManager> binder;
            switch (BinderKindOf(response)) {
            case TBinderKind::InputText:
                binder = std::make_unique<TInputTextManager>(item, response, *this);
                break;
            case TBinderKind::TextArea:
                binder = std::make_unique<TTextAreaManager>(item, response, *this);
                break;
            case TBinderKind::RadioCheck:
                binder = std::make_unique<TInputRadioCheckManager>(item, response, *this);
                break;
            case TBinderKind::Select:
                binder = std::make_unique<TSelectManager>(item, response, *this);
                break;
            case TBinderKind::None:
                // A numeric response without a fill-in-blank rendering (a slider, say) has
                // no control kind here. Refusing the whole page would lose every other
                // answer on it, so it is left unbound and its stored content untouched.
                continue;
            }
            FBinders.push_back(std::move(binder));
        }
    }
}

void TStorageManager::ForEachBinder(const std::function<void(TRespStorageManager&)>& Operation) {
    for (auto& binder : FBinders)
        Operation(*binder);
}

void TStorageManager::LoadResponses() {
    ForEachBinder([](TRespStorageManager& binder) { binder.LoadControls(); });
}

bool TStorageManager::SubmitResponses() {
    bool verdict = false;
    try {
        if (!FFormDocument_)
            throw html::Error(texts::NoFormDocument);
        verdict = FFormDocument_->forms().item(0).fireEvent("onSubmit");
    } catch (const std::exception& e) {
        throw ESubmitCallFailed(FormatMessage(texts::FireEventFailed, e.what()));
    }
    if (!verdict)
        return false;
    // Checked before any response is rewritten, so a result that cannot be stamped leaves
    // the document as it was.
    if (!GetDateTimeNode())
        throw EStorageError(FormatMessage(texts::NoDateTime, GetAssessmentIdent()));
    ForEachBinder([](TRespStorageManager& binder) { binder.SaveControls(); });
    GetDateTimeNode().setText(FormatDateTime(std::time(nullptr)));
    InStep(texts::StepSaveResults, FResultsFileName, [&] { FResultsDoc->save(FResultsFileName); });
    return true;
}

const TResultsIndex& TStorageManager::ResultsIndex() {
    if (!FIndex || FIndexStale) {
        FIndex = std::make_unique<TResultsIndex>(FResultsDoc->documentElement(), FindResult());
        FIndexStale = false;
    }
    return *FIndex;
}

void TStorageManager::RemoveChildNodes(xml::Node Element) {
    if (FDetached->RemoveChildNodes(Element))
        FIndexStale = true;
}

} // namespace vedris
