#pragma once
// Results storage: binds one assessment to results.xml and, when given one, to the form
// that shows the assessment.
#include <memory>
#include <string>
#include <vector>

#include "platform/html/FormDocument.h"
#include "platform/xml/XmlDocument.h"

namespace vedris {

class TRespStorageManager;

class TStorageManager {
public:
    // Opens the assessment file and results.xml, derives, appends and saves the
    // assessment's result when results.xml lacks it, and, with a form document, creates
    // one binder per response of every item. The form document is not owned and must
    // outlive the manager. Failures raise std::runtime_error subclasses with Ukrainian
    // messages or the XML engine's own.
    TStorageManager(const std::string& AssessmentFileName, const std::string& ResultsFileName,
                    html::FormDocument* FormDocument);
    ~TStorageManager();

    // Fills every control of the form from the stored responses.
    void LoadResponses();
    // Fires the form's submit handler; when it accepts, stores every control, stamps the
    // result's datetime and saves results.xml. Returns the handler's verdict.
    bool SubmitResponses();

    // This assessment's result in the results document; none when missing.
    xml::Node FindResult() const;
    xml::Node GetDateTimeNode() const;
    html::FormDocument* FFormDocument() const { return FFormDocument_; }
    const std::string& ResultsFileName() const { return FResultsFileName; }

private:
    // (implementation details are the module's own)
    std::string FResultsFileName;
    html::FormDocument* FFormDocument_ = nullptr;
};

} // namespace vedris
