#include "settings/uRegistry.h"

#include "Texts.h"
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace vedris {
namespace {

const char* const General = "General";

} // namespace

TClientRegistry* ClientRegistry = nullptr;

Variant TClientRegistry::GetValue(const std::string& Name) {
    if (SameName(Name, "AssessmentsDir"))
        return GetAssessmentsDir();
    if (SameName(Name, "ResultsDir"))
        return GetResultsDir();
    // The client's transformation lies among its assessments; a TransformationsDir key in
    // the settings file is not consulted.
    if (SameName(Name, "TransformationsDir"))
        return GetAssessmentsDir();
    if (SameName(Name, "ClientAssessments"))
        return GetClientAssessments();
    if (SameName(Name, "RRGAddress"))
        return GetRRGAddress();
    if (SameName(Name, "ClientId"))
        return GetClientId();
    if (SameName(Name, "NewCandidate"))
        return GetNewCandidate() ? "1" : "0";
    if (SameName(Name, "Zoom"))
        return GetZoom();
    if (SameName(Name, "SpellCheck"))
        return GetSpellCheck();
    return TAppRegistry::GetValue(Name);
}

std::string TClientRegistry::GetAssessmentsDir() {
    return GetValue("AppDir") + "Assessments/";
}

std::string TClientRegistry::GetResultsDir() {
    return GetValue("AppDir") + "Results/";
}

std::string TClientRegistry::GetClientAssessments() const {
    return IniFile().readString(General, "ClientAssessments", "");
}

std::string TClientRegistry::GetRRGAddress() const {
    return IniFile().readString(General, "RRGAddress", DefaultRRGAddress);
}

std::string TClientRegistry::GetClientId() const {
    return IniFile().readString(General, "ClientId", "NONAME");
}

bool TClientRegistry::GetNewCandidate() const {
    // Only a plain "0" turns it off: a computer shared by a class is the usual case.
    return IniFile().readString(General, "NewCandidate", "1") != "0";
}

std::string TClientRegistry::GetZoom() const {
    return IniFile().readString(General, "Zoom", "");
}

std::string TClientRegistry::GetSpellCheck() const {
    return IniFile().readString(General, "SpellCheck", "0");
}

std::string SettingsFileNameFor(const std::string& executable) {
    std::size_t nameStart = executable.rfind('/');
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    std::size_t dot = executable.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return executable + ".ini";
    return executable.substr(0, dot) + ".ini";
}

std::string ClientSettingsFileName() {
    std::error_code ec;
    std::string exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (ec || exe.empty())
        throw std::runtime_error(texts::ProgramPathUnknown + ec.message());
    // An executable replaced on disk while it runs is reported with this mark; its settings
    // file is still the one beside the new executable.
    constexpr std::string_view deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.ends_with(deleted) && !std::filesystem::exists(exe, ec))
        exe.resize(exe.size() - deleted.size());
    return SettingsFileNameFor(exe);
}

void CreateClientRegistry(const std::string& fileName) {
    auto created =
        std::make_unique<TClientRegistry>(fileName.empty() ? ClientSettingsFileName() : fileName);
    delete ClientRegistry;
    ClientRegistry = created.release();
}

void DestroyClientRegistry() {
    delete ClientRegistry;
    ClientRegistry = nullptr;
}

} // namespace vedris
