#pragma once
// The client's settings and the program's single settings object.
#include <string>

#include "settings/uAppRegistry.h"

namespace vedris {

// Recipient of the results mail when the settings file names none.
inline constexpr const char* DefaultRRGAddress = "rrg@vedris.org.ua";

class TClientRegistry : public TAppRegistry {
public:
    using TAppRegistry::TAppRegistry;

    // "AssessmentsDir", "ResultsDir", "TransformationsDir" (= "AssessmentsDir"),
    // "ClientAssessments", "RRGAddress", "ClientId", "NewCandidate" ("1" or "0"), "Zoom",
    // "SpellCheck"; anything else as TAppRegistry.
    Variant GetValue(const std::string& Name) override;

    std::string GetAssessmentsDir();
    std::string GetResultsDir();
    std::string GetClientAssessments() const;
    std::string GetRRGAddress() const;
    std::string GetClientId() const;
    // Whether the menu offers a new candidate's turn: false only for NewCandidate=0.
    bool GetNewCandidate() const;
    // The page zoom a user starts with before choosing one, in percent ("" when not set).
    std::string GetZoom() const;
    // Whether the pages check spelling (in Ukrainian): "0" (off) when not set.
    std::string GetSpellCheck() const;
};

// The program's settings object. Exists from before the main window is created until
// after it is destroyed; main() creates it with CreateClientRegistry.
extern TClientRegistry* ClientRegistry;

// The settings file of the running executable: /proc/self/exe with its extension
// replaced by ".ini" (appended when it has none).
std::string ClientSettingsFileName();
// The settings file of the executable at the given path, by the same rule: the extension is
// the file name's part from its last "." on.
std::string SettingsFileNameFor(const std::string& executable);

// Creates ClientRegistry from fileName (ClientSettingsFileName() when empty); destroys a
// previous one. DestroyClientRegistry frees it.
void CreateClientRegistry(const std::string& fileName = {});
void DestroyClientRegistry();

} // namespace vedris
