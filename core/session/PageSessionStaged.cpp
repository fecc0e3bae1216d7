// The page session's head start: when a navigation to an assessment page shown before is
// allowed, that page's binding is worked out at once from the form it showed last time, and
// the page writes it on its controls itself as it loads. Its load report says whether it
// did; only then, and only for the very binding still staged, is it bound without being
// written to again.
#include "session/PageSession.h"

#include <utility>

#include "QTIDomain/uStorageManager.h"
#include "platform/html/MemoryFormDocument.h"
#include "session/AssessmentList.h"

namespace vedris {

void PageSession::Stage(const std::optional<Destination>& to) {
    // A navigation to any other page leaves a staged binding be: it is laid only beside the
    // page it was staged for.
    if (!to || !to->path || stopped_)
        return;
    const int index = IndexOfName(assessments_, PageNameFromPath(*to->path));
    const auto form = forms_.find(index);
    if (index < 0 || form == forms_.end() || form->second.is_null())
        return;
    Unstage();
    // Only a head start: whatever goes wrong here, the binding at the page's load does
    // again and reports.
    try {
        Staged staged{++stagings_, index, form->second, nullptr, nullptr};
        staged.document = std::make_unique<html::MemoryFormDocument>(staged.form);
        staged.manager = std::make_unique<TStorageManager>(
            GetAssessmentFileName(index), GetResultsFileName(), staged.document.get());
        staged.manager->LoadResponses();
        const nlohmann::json changes = staged.document->changes();
        staged.document->clearChanges();
        if (page_.stage(staged.id, to->url, staged.form, changes))
            staged_ = std::move(staged);
    } catch (const std::exception& e) {
        Log("page not staged: %s", e.what());
    } catch (...) {
        Log("page not staged");
    }
}

void PageSession::Unstage() {
    if (std::exchange(staged_, std::nullopt))
        page_.unstage();
}

bool PageSession::BindStaged(int index, const Capture& capture) {
    std::optional<Staged> staged = std::exchange(staged_, std::nullopt);
    // The page wrote this very binding, on the form it was worked out for, and nothing has
    // been saved or released since it was.
    if (capture.filledBy <= 0 || !staged || staged->id != capture.filledBy ||
        staged->index != index || staged->form != capture.snapshot)
        return false;
    document_ = std::move(staged->document);
    manager_ = std::move(staged->manager);
    boundName_ = assessments_.at(static_cast<std::size_t>(index));
    draftClock_.bound(manager_->ResultDigest(), manager_->DigestBeforeUpdate());
    bindError_.clear();
    ++stats_.bound;
    ++stats_.staged;
    return true;
}

void PageSession::RememberForm(int index, const Capture& capture) {
    // A form read after the page was filled is no form to stage on; and a page whose form
    // is not the same at each visit (its script makes it) is not staged again, which would
    // only do the binding's work twice.
    if (!capture.asLoaded)
        return;
    const auto known = forms_.find(index);
    if (known == forms_.end())
        forms_.emplace(index, capture.snapshot);
    else if (!known->second.is_null() && known->second != capture.snapshot)
        known->second = nullptr;
}

} // namespace vedris
