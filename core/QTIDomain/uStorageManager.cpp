#include "QTIDomain/uStorageManager.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "QTIDomain/uResultsIndex.h"
#include "Texts.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Format.h"
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
        throw xml::Error(text::format(sentence, {file}) + "\n" + e.what());
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

// Puts node before ref among parent's children (at the end when ref is none) with
// appendChild alone: ref and the siblings after it move behind node.
void InsertBefore(xml::Node parent, xml::Node ref, xml::Node node) {
    std::vector<xml::Node> after;
    for (xml::Node n = ref; n; n = n.nextSibling())
        after.push_back(n);
    parent.appendChild(node);
    for (xml::Node n : after)
        parent.appendChild(n);
}

xml::Node NextElementNamed(xml::Node from, const char* name) {
    for (xml::Node n = from; n; n = n.nextSibling())
        if (n.isElementNamed(name))
            return n;
    return {};
}

// Puts a copy of derived into the stored parent: after previous (the stored counterpart of
// the derived node before it), or before the first stored element of its name.
xml::Node PlaceCopy(xml::Document& doc, xml::Node parent, xml::Node previous, xml::Node derived,
                    const char* name) {
    xml::Node copy = doc.importCopy(derived);
    if (previous)
        InsertBefore(previous.parent(), previous.nextSibling(), copy);
    else
        InsertBefore(parent, NextElementNamed(parent.firstChild(), name), copy);
    return copy;
}

} // namespace

std::string DigestOfResult(xml::Node Result) {
    if (!Result)
        return {};
    // FNV-1a over every element's name, idents, status and first text, each closed by a
    // byte that UTF-8 text never holds.
    std::uint64_t hash = 14695981039346656037ull;
    auto feed = [&hash](const std::string& text) {
        for (unsigned char c : text + '\xff') {
            hash ^= c;
            hash *= 1099511628211ull;
        }
    };
    auto visit = [&feed](xml::Node n) {
        feed(n.name());
        feed(n.attribute("ident_ref"));
        feed(n.attribute("response_status"));
        feed(n.firstChildValue());
    };
    visit(Result);
    Result.forEachElementBelow(visit);
    char text[24];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

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
        throw EStorageError(text::format(texts::AssessmentFileMissing, {AssessmentFileName}));
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
    if (!FormDocument)
        return;
    try {
        CreateBinders();
    } catch (const EAssertionFailed&) {
        // The assessment has gained items or responses since its answers were stored.
        FBinders.clear();
        GainMissingResponses();
        CreateBinders();
    }
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
        throw EStorageError(text::format(texts::NoAssessmentElement, {FileName}));
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
        throw EStorageError(text::format(texts::NoResultInOutput, {Ident}));
    // A result that the lookup would not find again would be appended anew at every
    // opening; refuse it before the file is touched.
    if (!result.matches(xml::formatXPath("assessment_result[@ident_ref = \"%s\"]", {Ident})))
        throw EStorageError(text::format(texts::DerivedResultNotFound, {Ident}));
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

std::string TStorageManager::ResultDigest() const {
    return DigestOfResult(FindResult());
}

TDerivedResult TStorageManager::Derive() const {
    if (!ClientRegistry)
        throw EStorageError(texts::NoSettings);
    return DeriveResultFrom(*FAssessmentDoc, GetAssessmentIdent(),
                            std::string(ClientRegistry->GetValue("TransformationsDir")) +
                                "ims_qtiasi2res.xslt",
                            FAssessmentFileName);
}

void TStorageManager::GainMissingResponses() {
    // What the stylesheet derives now, merged into the stored result: what it lacks is
    // added in the derived order, and nothing stored is changed or taken away, not even the
    // answers to items the assessment no longer has.
    xml::Node result = FindResult();
    const TDerivedResult derived = Derive();
    const TResultsIndex index(FResultsDoc->documentElement(), result);
    const std::string before = DigestOfResult(result);
    xml::Node previousItem;
    for (xml::Node item : derived.Result.selectAll(".//item_result")) {
        const std::string ident = item.attribute("ident_ref");
        xml::Node stored = index.FirstItemResult(ident);
        if (!stored) {
            previousItem = PlaceCopy(*FResultsDoc, result, previousItem, item, "item_result");
            continue;
        }
        xml::Node previous;
        for (xml::Node response : ChildElements(item, "response")) {
            xml::Node found = index.FirstResponse(ident, response.attribute("ident_ref"));
            previous =
                found ? found : PlaceCopy(*FResultsDoc, stored, previous, response, "response");
        }
        previousItem = stored;
    }
    FIndexStale = true;
    if (DigestOfResult(result) == before)
        return;
    FDigestBeforeUpdate = before;
    InStep(texts::StepSaveResults, FResultsFileName, [&] { FResultsDoc->save(FResultsFileName); });
}

void TStorageManager::DeriveResult() {
    TDerivedResult derived = Derive();
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
        throw ESubmitCallFailed(text::format(texts::FireEventFailed, {e.what()}));
    }
    if (!verdict)
        return false;
    // Checked before any response is rewritten, so a result that cannot be stamped leaves
    // the document as it was.
    if (!GetDateTimeNode())
        throw EStorageError(text::format(texts::NoDateTime, {GetAssessmentIdent()}));
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
