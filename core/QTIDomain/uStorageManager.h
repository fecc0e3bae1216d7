#pragma once
// Results storage: binds one assessment to results.xml and, when given one, to the form
// that shows the assessment. This is the unit's entry: it brings the response record and
// the binders along.
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QTIDomain/uBinders.h"
#include "QTIDomain/uResponse.h"
#include "QTIDomain/uStorageErrors.h"
#include "platform/html/FormDocument.h"
#include "platform/xml/XmlDocument.h"

namespace vedris {

class TResultsIndex;
class TDetachedNodes;
struct TDerivedResult;

class TStorageManager {
public:
    // Opens the assessment file and results.xml, derives, appends and saves the
    // assessment's result when results.xml lacks it, and, with a form document, creates
    // one binder per response of every item. The form document is not owned and must
    // outlive the manager. Failures raise std::runtime_error subclasses with Ukrainian
    // messages (EStorageError, EAssertionFailed) or the XML engine's own (xml::Error);
    // a result that could not be found again is never appended.
    TStorageManager(const std::string& AssessmentFileName, const std::string& ResultsFileName,
                    html::FormDocument* FormDocument);
    ~TStorageManager();
    TStorageManager(const TStorageManager&) = delete;
    TStorageManager& operator=(const TStorageManager&) = delete;

    // Fills every control of the form from the stored responses; nothing without a form.
    void LoadResponses();
    // Fires the form's submit handler; when it accepts, stores every control, stamps the
    // result's datetime and saves results.xml. Returns the handler's verdict; on false
    // nothing is changed in memory or on disk.
    bool SubmitResponses();

    // This assessment's result in the results document; none when missing.
    xml::Node FindResult() const;
    // The result's context/date/datetime element; none when missing.
    xml::Node GetDateTimeNode() const;
    // The assessment's ident, trimmed of surrounding spaces and control characters.
    std::string GetAssessmentIdent() const;
    // A fingerprint of this assessment's result as it stands in memory: its stored values,
    // statuses and time stamp. Two saves that store anything different differ in it,
    // whatever the clock said.
    std::string ResultDigest() const;
    // The fingerprint of the result as it was read, when binding had to add the items or
    // responses that an updated assessment gained (and saved them); empty otherwise.
    const std::string& DigestBeforeUpdate() const { return FDigestBeforeUpdate; }
    html::FormDocument* FFormDocument() const { return FFormDocument_; }
    const std::string& ResultsFileName() const { return FResultsFileName; }
    // The binders in creation order: items in document order, within an item its responses.
    const std::vector<std::unique_ptr<TRespStorageManager>>& Binders() const { return FBinders; }

    // For the response records: the in-memory results document, where their nodes stand,
    // and the removal of a response's content.
    xml::Document& ResultsDocument() { return *FResultsDoc; }
    const TResultsIndex& ResultsIndex();
    void RemoveChildNodes(xml::Node Element);

private:
    void DeriveResult();
    TDerivedResult Derive() const;
    void GainMissingResponses();
    void CreateBinders();
    void ForEachBinder(const std::function<void(TRespStorageManager&)>& Operation);

    std::string FAssessmentFileName;
    std::string FResultsFileName;
    std::unique_ptr<xml::Document> FAssessmentDoc;
    std::unique_ptr<xml::Document> FResultsDoc;
    html::FormDocument* FFormDocument_ = nullptr;
    // Declared after the documents: freed before them.
    std::unique_ptr<TDetachedNodes> FDetached;
    std::unique_ptr<TResultsIndex> FIndex;
    bool FIndexStale = true;
    std::vector<std::unique_ptr<TRespStorageManager>> FBinders;
    std::string FDigestBeforeUpdate;
};

// Loads an assessment file as the client reads it: elements in a namespace (QTI 1.2 exports
// put every element in the IMS one) are read as if they had none.
xml::Document LoadAssessmentDocument(const std::string& FileName);
// The ident of the assessment element under the document element, trimmed of surrounding
// spaces and control characters; raises EStorageError naming FileName when there is none.
std::string AssessmentIdentOf(const xml::Document& Assessment, const std::string& FileName);

struct TDerivedResult {
    xml::Document Output; // the stylesheet's whole output
    xml::Node Result;     // its first result, which the client appends
};
// Applies the result stylesheet to the assessment. Raises EStorageError when the output
// holds no result, or when the result's assessment_result does not carry Ident, so that
// the lookup would not find it again. An engine error names the stylesheet or the
// assessment file (AssessmentFileName) and the step before the engine's own text.
TDerivedResult DeriveResultFrom(const xml::Document& Assessment, const std::string& Ident,
                                const std::string& StylesheetFileName,
                                const std::string& AssessmentFileName);

// The fingerprint of a result element (ResultDigest); the empty text for none.
std::string DigestOfResult(xml::Node Result);

// The submission time stamp: local time as "yyyy-mm-ddThh:nn:ss".
std::string FormatDateTime(std::time_t Time);

} // namespace vedris
