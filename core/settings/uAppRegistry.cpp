#include "settings/uAppRegistry.h"

#include "Texts.h"
#include <filesystem>
#include <stdexcept>

namespace vedris {
namespace {

const char* const General = "General";

// Absolute against the current folder, with "." and ".." resolved by the text alone (a
// folder that does not exist yet can still be named).
std::string absoluteNormal(const std::string& path) {
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(path, ec);
    if (ec)
        abs = std::filesystem::path(path);
    return abs.lexically_normal().string();
}

} // namespace

bool SameName(const std::string& a, const std::string& b) {
    return ini::sameNameIgnoringAsciiCase(a, b);
}

TAppRegistry::TAppRegistry(const std::string& fileName) {
    std::string path = absoluteNormal(fileName);
    FIniFile = std::make_unique<ini::IniFile>(path);
    FAppDir = path.substr(0, path.rfind('/') + 1);
}

TAppRegistry::~TAppRegistry() = default;

Variant TAppRegistry::GetValue(const std::string& Name) {
    if (SameName(Name, "AppDir"))
        return GetAppDir();
    if (SameName(Name, "ConnectionString"))
        return GetConnectionString();
    if (SameName(Name, "TransformationsDir"))
        return GetTransformationsDir();
    return Variant();
}

void TAppRegistry::SetValue(const std::string& Name, const Variant& Value) {
    if (SameName(Name, "ConnectionString"))
        SetConnectionString(Value);
}

std::string TAppRegistry::GetAppDir() const {
    return FAppDir;
}

std::string TAppRegistry::GetConnectionString() const {
    return IniFile().readString(General, "ConnectionString", "");
}

void TAppRegistry::SetConnectionString(const std::string& Value) {
    IniFile().writeString(General, "ConnectionString", Value);
}

std::string TAppRegistry::GetTransformationsDir() {
    // Virtual on purpose: a derived class's answer for "AppDir" moves the default too.
    std::string Default = GetValue("AppDir") + "../Transformations/";
    std::optional<std::string> Raw = IniFile().read(General, "TransformationsDir");
    if (!Raw)
        return CheckDir(Default);
    if (Raw->empty())
        throw std::runtime_error(texts::TransformationsDirEmpty1 + IniFile().path() +
                                 texts::TransformationsDirEmpty2);
    return CheckDir(*Raw);
}

std::string TAppRegistry::CheckDir(const std::string& Path) const {
    if (Path.empty())
        throw std::runtime_error(texts::FolderNotGiven);
    // Only a leading full stop makes the path relative to the application folder; any other
    // relative path is taken against the current folder.
    std::string Candidate = absoluteNormal(Path.front() == '.' ? FAppDir + Path : Path);
    if (Candidate.back() != '/')
        Candidate += '/';
    std::error_code ec;
    if (!std::filesystem::is_directory(Candidate, ec))
        throw std::runtime_error(texts::FolderMissing + Candidate + ".");
    return Candidate;
}

} // namespace vedris
