#include "session/DraftStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <utility>

#include "Texts.h"
#include "platform/fs/AtomicFile.h"
#include "platform/fs/SharedFolder.h"

namespace vedris {

namespace {

constexpr const char* FormatName = "vedris-draft";
constexpr int FormatVersion = 2;

std::string LocalTime(const char* format) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

bool IsControl(const nlohmann::json& e) {
    const std::string tag = e.value("tag", "");
    if (tag == "textarea" || tag == "select")
        return true;
    if (tag != "input")
        return false;
    const std::string type = e.value("type", "text");
    return type != "file" && type != "submit" && type != "button" && type != "reset" &&
           type != "image";
}

std::string KeyOf(const nlohmann::json& e) {
    const std::string tag = e.value("tag", "");
    const std::string type = tag == "input" ? e.value("type", "text") : "";
    std::string key = tag + '\n' + type + '\n' + e.value("name", "");
    // Each box of a group is a control of its own, told apart by its value.
    if (type == "checkbox" || type == "radio")
        key += '\n' + e.value("value", "");
    return key;
}

nlohmann::json WriteFor(const nlohmann::json& from, const nlohmann::json& to, std::size_t i) {
    nlohmann::json w = {{"i", i}};
    const std::string tag = to.value("tag", "");
    const std::string type = to.value("type", "text");
    if (tag == "select") {
        std::map<std::string, bool> chosen;
        for (const auto& o : from.value("options", nlohmann::json::array()))
            if (o.is_object() && o.value("selected", false))
                chosen[o.value("value", "")] = true;
        nlohmann::json selected = nlohmann::json::array();
        for (const auto& o : to.value("options", nlohmann::json::array()))
            selected.push_back(o.is_object() && chosen.count(o.value("value", "")) > 0);
        w["selected"] = std::move(selected);
    } else if (tag == "input" && (type == "checkbox" || type == "radio")) {
        w["checked"] = from.value("checked", false);
    } else {
        w["value"] = from.value("value", "");
    }
    return w;
}

} // namespace

DraftStore::DraftStore(std::string resultsDir) : folder_(std::move(resultsDir) + "drafts/") {}

std::string DraftStore::PathOf(const std::string& assessment) const {
    if (assessment.empty() || assessment == "." || assessment == ".." ||
        assessment.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
        throw DraftError(texts::DraftBadName + assessment + "\"");
    return folder_ + assessment + ".json";
}

void DraftStore::Write(const Draft& draft) const {
    const std::string path = PathOf(draft.assessment);
    fs::createSharedFolder(folder_);
    fs::writeFileAtomically(path, Serialize(draft));
}

std::optional<Draft> DraftStore::Read(const std::string& assessment) const {
    std::optional<std::string> text;
    try {
        text = fs::readFileIfPresent(PathOf(assessment));
    } catch (const fs::WriteError& e) {
        throw DraftError(e.what());
    }
    if (!text)
        return std::nullopt;
    return Parse(*text);
}

void DraftStore::Remove(const std::string& assessment) const {
    const std::string path = PathOf(assessment);
    if (std::remove(path.c_str()) != 0 && errno != ENOENT)
        throw fs::WriteError(texts::FileNotWritten + path + ": " + std::strerror(errno), errno);
}

namespace {

// Renames path to stem, or stem-2, stem-3... when that is taken; returns the new name.
std::string RenameBeside(const std::string& path, const std::string& stem) {
    std::string target = stem;
    std::error_code ec;
    for (int n = 2; std::filesystem::symlink_status(target, ec).type() !=
                    std::filesystem::file_type::not_found;
         ++n)
        target = stem + "-" + std::to_string(n);
    std::filesystem::rename(path, target, ec);
    if (ec)
        throw fs::WriteError(texts::FileNotWritten + path + ": " + ec.message(), ec.value());
    return target;
}

} // namespace

std::string DraftStore::MoveAside(const std::string& assessment) const {
    const std::string path = PathOf(assessment);
    return RenameBeside(path, path + ".damaged-" + LocalTime("%Y%m%dT%H%M%S"));
}

std::string DraftStore::SetAllAside() const {
    const std::string folder = folder_.substr(0, folder_.size() - 1);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec) || std::filesystem::is_empty(folder, ec))
        return {};
    return RenameBeside(folder, folder + "-" + LocalTime("%Y%m%dT%H%M%S")) + "/";
}

std::string DraftStore::Serialize(const Draft& draft) {
    nlohmann::json j = {
        {"format", FormatName},      {"version", draft.version}, {"assessment", draft.assessment},
        {"ident", draft.ident},      {"base", draft.base},       {"saved", draft.saved},
        {"snapshot", draft.snapshot}};
    // Page texts may hold anything; invalid UTF-8 becomes U+FFFD rather than no draft.
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

Draft DraftStore::Parse(const std::string& text) {
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    auto isText = [&j](const char* key) { return j.contains(key) && j[key].is_string(); };
    if (!j.is_object() || j.value("format", "") != FormatName || !j.contains("version") ||
        !j["version"].is_number_integer() || j["version"].get<int>() < 1 ||
        j["version"].get<int>() > FormatVersion || !isText("assessment") || !isText("ident") ||
        !isText("base") || !isText("saved") || !j.contains("snapshot") ||
        !j["snapshot"].is_object() || !j["snapshot"].contains("elements") ||
        !j["snapshot"]["elements"].is_array())
        throw DraftError(texts::DraftUnreadable);
    for (const auto& e : j["snapshot"]["elements"])
        if (!e.is_object() || !e.contains("name") || !e["name"].is_string())
            throw DraftError(texts::DraftUnreadable);
    return Draft{j["assessment"], j["ident"],    j["base"],
                 j["saved"],      j["snapshot"], j["version"].get<int>()};
}

std::string DraftStore::Now() {
    return LocalTime("%Y-%m-%dT%H:%M:%S%z");
}

std::string DraftStore::Readable(const std::string& saved) {
    // yyyy-mm-ddThh:mm:ss
    if (saved.size() < 19 || saved[4] != '-' || saved[7] != '-' || saved[10] != 'T')
        return saved;
    return saved.substr(8, 2) + "." + saved.substr(5, 2) + "." + saved.substr(0, 4) + " " +
           saved.substr(11, 8);
}

nlohmann::json DraftWrites(const nlohmann::json& draftSnapshot,
                           const nlohmann::json& pageSnapshot) {
    nlohmann::json writes = nlohmann::json::array();
    const auto& page = pageSnapshot.at("elements");
    std::map<std::string, std::vector<std::size_t>> onPage;
    for (std::size_t i = 0; i < page.size(); ++i)
        if (page[i].is_object() && IsControl(page[i]))
            onPage[KeyOf(page[i])].push_back(i);
    std::map<std::string, std::size_t> seen;
    for (const auto& e : draftSnapshot.at("elements")) {
        if (!e.is_object() || !IsControl(e))
            continue;
        const std::string key = KeyOf(e);
        const std::size_t n = seen[key]++;
        auto found = onPage.find(key);
        if (found == onPage.end() || n >= found->second.size())
            continue;
        const std::size_t i = found->second[n];
        nlohmann::json w = WriteFor(e, page[i], i);
        // A write that puts back what the page already shows changes nothing.
        if (w != WriteFor(page[i], page[i], i))
            writes.push_back(std::move(w));
    }
    return writes;
}

nlohmann::json FormWrites(const nlohmann::json& snapshot) {
    nlohmann::json writes = nlohmann::json::array();
    const auto& elements = snapshot.at("elements");
    for (std::size_t i = 0; i < elements.size(); ++i)
        if (elements[i].is_object() && IsControl(elements[i]))
            writes.push_back(WriteFor(elements[i], elements[i], i));
    return writes;
}

} // namespace vedris
