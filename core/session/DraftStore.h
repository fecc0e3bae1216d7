#pragma once
// Drafts: what an assessment page showed a few seconds after the candidate last changed it,
// kept beside results.xml (Results/drafts/<assessment name>.json) so that a crash, a kill or
// a dead web process does not take the answers typed since the last accepted submission.
// results.xml never learns of a draft; only an accepted submission stores answers there.
//
// The drafts in Results/drafts/ belong to the results.xml beside them: when results.xml is
// made anew, the folder is set aside whole (SetAllAside) before the new file exists.
//
// File format (UTF-8 JSON, written durably: temporary file, fsync, rename):
//   {"format": "vedris-draft", "version": 2,
//    "assessment": "alpha",              // the name in ClientAssessments
//    "ident": "ALPHA",                   // the assessment's ident in its QTI file
//    "base": "5c1f0e9a77b2d301",         // the fingerprint of the result as last saved in
//                                        // results.xml when the draft was taken
//                                        // (TStorageManager::ResultDigest)
//    "saved": "2026-12-09T10:17:42+0200",// local time of the capture
//    "snapshot": {...}}                  // the page's controls, as html::MemoryFormDocument
// Version 1 drafts, still read, had the result's datetime text as their base.
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace vedris {

struct Draft {
    std::string assessment;
    std::string ident;
    std::string base;
    std::string saved;
    nlohmann::json snapshot;
    int version = 2; // 1: base is the result's datetime text
};

// A draft file that cannot be used: not JSON, not a draft, or not the shape written here.
class DraftError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DraftStore {
public:
    // resultsDir ends with "/".
    explicit DraftStore(std::string resultsDir);

    // Results/drafts/<assessment>.json; raises DraftError for a name that is no plain file
    // name, so a draft is never written outside its folder.
    std::string PathOf(const std::string& assessment) const;
    // Durably replaces the assessment's draft, creating the folder so that every member of
    // the results folder's group may write in it; raises fs::WriteError.
    void Write(const Draft& draft) const;
    // None when there is no draft; DraftError when the file cannot be used.
    std::optional<Draft> Read(const std::string& assessment) const;
    // Removes the draft; no draft is no error.
    void Remove(const std::string& assessment) const;
    // Renames an unusable draft to <name>.json.damaged-<local time> beside it and returns
    // the new path, so it is neither read again nor lost.
    std::string MoveAside(const std::string& assessment) const;

    // Renames the drafts folder, when it holds anything, to drafts-<local time> beside it,
    // so that none of its drafts is ever restored and none is lost; returns the new path,
    // or the empty text when there was nothing to set aside. Raises fs::WriteError.
    std::string SetAllAside() const;

    static std::string Serialize(const Draft& draft);
    static Draft Parse(const std::string& text);
    // The local time now, as "yyyy-mm-ddThh:mm:ss+hhmm".
    static std::string Now();
    // "yyyy-mm-ddThh:mm:ss..." as the candidate reads it: "dd.mm.yyyy hh:mm:ss".
    static std::string Readable(const std::string& saved);

private:
    std::string folder_;
};

// The writes (MemoryFormDocument's changes format: [{i, value|checked|selected}]) that put
// the draft's values on the page whose controls are pageSnapshot. A control is matched by
// tag, type and name (and value, for check boxes and radio buttons), the n-th of a kind to
// the n-th; controls of the draft the page no longer has, and values the page already
// shows, are skipped.
nlohmann::json DraftWrites(const nlohmann::json& draftSnapshot, const nlohmann::json& pageSnapshot);

// The writes that put every control of snapshot, as it stands, on a page with the same
// elements: for a page whose controls something else has written.
nlohmann::json FormWrites(const nlohmann::json& snapshot);

} // namespace vedris
