#include "QTIDomain/uStorageManager.h"

#include <cstdio>
#include <filesystem>

#include "QTIDomain/uResultsIndex.h"
#include "settings/uRegistry.h"

namespace vedris {

namespace {

const char* const MsgAssessmentFileMissing =
    "Не знайдено файл з описом анкети. Можливо пошкоджено інсталяцію.\n\rФайл: %s";
const char* const MsgFireEventFailed = "Помилка при виконанні метода fireEvent. Можливо, не "
                                       "встановлено Internet Explorer версії 5.5 або вище.\r\n%s";
const char* const MsgNoAssessmentElement =
    "У файлі з описом анкети немає елемента assessment. Можливо пошкоджено інсталяцію.\nФайл: %s";
const char* const MsgNoSettings = "Налаштування клієнта не завантажено, тож невідомо, де шукати "
                                  "ims_qtiasi2res.xslt. Файл результатів не змінено.";
const char* const MsgNoResultInOutput = "Перетворення ims_qtiasi2res.xslt не створило елемента "
                                        "result для анкети «%s». Файл результатів не змінено.";
const char* const MsgDerivedResultNotFound =
    "Результат, створений перетворенням ims_qtiasi2res.xslt, не містить елемента "
    "assessment_result з ident_ref «%s». Файл результатів не змінено.";
const char* const MsgNoDateTime = "Результат анкети «%s» у файлі результатів не містить елемента "
                                  "context/date/datetime. Відповіді не збережено.";
const char* const MsgNoFormDocument = "сторінку з формою анкети не передано";

// The step in which the XML engine failed, put before its own text so that the candidate
// and support can tell which file and what was being done.
const char* const MsgReadAssessment = "Не вдалося прочитати файл з описом анкети %s.";
const char* const MsgReadResults = "Не вдалося прочитати файл результатів %s.";
const char* const MsgReadStylesheet = "Не вдалося прочитати перетворення %s.";
const char* const MsgDerive = "Не вдалося отримати результат анкети з файлу %s перетворенням "
                              "ims_qtiasi2res.xslt.";
const char* const MsgSaveResults = "Не вдалося зберегти файл результатів %s.";

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

bool SameNameIgnoringCase(const std::string& a, const char* b) {
    std::string lowered = a;
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lowered == b;
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
        throw EStorageError(FormatMessage(MsgAssessmentFileMissing, AssessmentFileName));
    FAssessmentDoc = InStep(MsgReadAssessment, AssessmentFileName, [&] {
        return std::make_unique<xml::Document>(xml::Document::load(AssessmentFileName));
    });
    // Without its assessment element nothing in the file ties it to a result; say so now
    // rather than deriving or binding anything.
    GetAssessmentIdent();
    FResultsDoc = InStep(MsgReadResults, ResultsFileName, [&] {
        return std::make_unique<xml::Document>(xml::Document::load(ResultsFileName));
    });
    if (!FindResult())
        DeriveResult();
    FFormDocument_ = FormDocument;
    if (FormDocument)
        CreateBinders();
}

TStorageManager::~TStorageManager() = default;

std::string TStorageManager::GetAssessmentIdent() const {
    xml::Node root = FAssessmentDoc->documentElement();
    xml::Node assessment = root ? root.selectFirst("assessment") : xml::Node();
    if (!assessment)
        throw EStorageError(FormatMessage(MsgNoAssessmentElement, FAssessmentFileName));
    return Trim(assessment.attribute("ident"));
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
        throw EStorageError(MsgNoSettings);
    std::string ident = GetAssessmentIdent();
    const std::string stylesheetFile =
        std::string(ClientRegistry->GetValue("TransformationsDir")) + "ims_qtiasi2res.xslt";
    xml::Document stylesheet = InStep(MsgReadStylesheet, stylesheetFile,
                                      [&] { return xml::Document::load(stylesheetFile); });
    xml::Document output = InStep(MsgDerive, FAssessmentFileName,
                                  [&] { return xml::transform(*FAssessmentDoc, stylesheet); });
    xml::Node result = output.selectFirst("//result");
    if (!result)
        throw EStorageError(FormatMessage(MsgNoResultInOutput, ident));
    // A result that the lookup would not find again would be appended anew at every
    // opening; refuse it before the file is touched.
    if (!result.matches(xml::formatXPath("assessment_result[@ident_ref = \"%s\"]", {ident})))
        throw EStorageError(FormatMessage(MsgDerivedResultNotFound, ident));
    xml::Node root = FResultsDoc->documentElement();
    root.appendChild(FResultsDoc->importCopy(result));
    FIndexStale = true;
    InStep(MsgSaveResults, FResultsFileName, [&] { FResultsDoc->save(FResultsFileName); });
}

void TStorageManager::CreateBinders() {
    for (xml::Node item : FAssessmentDoc->selectAll("//item")) {
        for (xml::Node response :
             item.selectAll(".//response_lid | .//response_str | .//response_num")) {
            std::unique_ptr<TRespStorageManager> binder;
            if (response.matches(".//render_fib")) {
                if (response.matches(".//render_fib[@rows = 1]"))
                    binder = std::make_unique<TInputTextManager>(item, response, *this);
                else
                    binder = std::make_unique<TTextAreaManager>(item, response, *this);
            } else if (SameNameIgnoringCase(response.name(), "response_lid")) {
                binder = std::make_unique<TInputRadioCheckManager>(item, response, *this);
            } else if (SameNameIgnoringCase(response.name(), "response_str")) {
                binder = std::make_unique<TSelectManager>(item, response, *this);
            } else {
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
            throw html::Error(MsgNoFormDocument);
        verdict = FFormDocument_->forms().item(0).fireEvent("onSubmit");
    } catch (const std::exception& e) {
        throw EStorageError(FormatMessage(MsgFireEventFailed, e.what()));
    }
    if (!verdict)
        return false;
    // Checked before any response is rewritten, so a result that cannot be stamped leaves
    // the document as it was.
    if (!GetDateTimeNode())
        throw EStorageError(FormatMessage(MsgNoDateTime, GetAssessmentIdent()));
    ForEachBinder([](TRespStorageManager& binder) { binder.SaveControls(); });
    GetDateTimeNode().setText(FormatDateTime(std::time(nullptr)));
    InStep(MsgSaveResults, FResultsFileName, [&] { FResultsDoc->save(FResultsFileName); });
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
