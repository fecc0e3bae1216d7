#pragma once
// Base settings object: named settings computed from an INI file and its folder.
#include <memory>
#include <string>

#include "platform/ini/IniFile.h"

namespace vedris {

// A setting's value. It always holds a text (the empty text for an unknown name).
using Variant = std::string;

class TAppRegistry {
public:
    // fileName is made absolute against the current folder; the file need not exist.
    explicit TAppRegistry(const std::string& fileName);
    virtual ~TAppRegistry();

    // Names compare without regard to ASCII case: "AppDir", "ConnectionString",
    // "TransformationsDir"; any other name gives the empty text.
    virtual Variant GetValue(const std::string& Name);
    // Only "ConnectionString" is written; other names are ignored.
    virtual void SetValue(const std::string& Name, const Variant& Value);

    // The settings file's folder, ending with "/".
    std::string GetAppDir() const;
    std::string GetConnectionString() const;
    void SetConnectionString(const std::string& Value);
    // The configured or default transformations folder, normalised by CheckDir.
    std::string GetTransformationsDir();
    // Normalises a folder path (a leading "." is taken against the application folder)
    // and raises "Відсутній необхідний каталог %s." when the folder does not exist.
    std::string CheckDir(const std::string& Path) const;

protected:
    ini::IniFile& IniFile() { return *FIniFile; }
    const ini::IniFile& IniFile() const { return *FIniFile; }

private:
    std::string FAppDir;
    std::unique_ptr<ini::IniFile> FIniFile;
};

// True when two setting names are equal without regard to ASCII case.
bool SameName(const std::string& a, const std::string& b);

} // namespace vedris
