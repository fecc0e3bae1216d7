// The menu actions that take the results out of the program or archive them for the next
// candidate, and the assessment's print margins.
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

#include <gtk/gtk.h>

#include "ShellTexts.h"
#include "desktop/FolderChooser.h"
#include "desktop/Mail.h"
#include "desktop/MessageBox.h"
#include "platform/fs/AtomicFile.h"
#include "session/CandidateTurn.h"
#include "settings/uRegistry.h"
#include "window/ufrmMain.h"

namespace vedris {

const std::vector<TfrmMain::WindowAction>& TfrmMain::WindowActions() {
    static const std::vector<WindowAction> actions{
        {"acSaveTo", &TfrmMain::acSaveToExecute, true},
        // Sending is made disabled and nothing enables it.
        {"acSend", &TfrmMain::acSendExecute, false},
        {"acNewCandidate", &TfrmMain::acNewCandidateExecute, true},
        // An action without a handler shows disabled.
        {"acPrint", nullptr, false},
        {"acExit", &TfrmMain::acExitExecute, true},
        // The About item does nothing.
        {"miAbout", nullptr, true},
        {"closeNotice", &TfrmMain::CloseNotice, true},
        {"focusNextPart", &TfrmMain::FocusNextPart, true},
    };
    return actions;
}

const TfrmMain::WindowAction* TfrmMain::FindAction(const std::string& name) {
    for (const WindowAction& action : WindowActions())
        if (name == action.name)
            return &action;
    return nullptr;
}

void TfrmMain::RunAction(const std::string& Name) {
    const WindowAction* action = FindAction(Name);
    if (action && action->execute)
        RunHandler([this, action] { (this->*action->execute)(); });
}

void TfrmMain::acSaveToExecute() {
    std::weak_ptr<bool> alive = FAlive;
    desktop::SelectResultsFolder(
        FWindow, texts::SaveToFolderTitle, [this, alive](const std::optional<std::string>& folder) {
            if (!folder || alive.expired() || Destroyed())
                return;
            SaveCurrentPage([this, folder = *folder](bool saved) {
                if (!saved)
                    return;
                const std::string results = GetResultsFileName();
                const std::string target =
                    folder + "/" + std::filesystem::path(results).filename().string();
                // The copy goes through a temporary file renamed over the target, so a
                // failure leaves the folder as it was rather than with a cut-off file.
                try {
                    fs::copyFileAtomically(results, target);
                } catch (const fs::WriteError& e) {
                    throw std::runtime_error(texts::NotSavedMessage + std::string(e.what()));
                }
                desktop::ShowMessageBox(FWindow, desktop::MessageKind::Information,
                                        texts::SavedMessage + target);
            });
        });
}

void TfrmMain::acSendExecute() {
    SaveCurrentPage([this](bool saved) {
        if (!saved)
            return;
        desktop::MailMessage message;
        message.Subject = texts::MailSubject;
        message.RecipientName = texts::MailRecipientName;
        message.RecipientAddress = ClientRegistry->GetValue("RRGAddress");
        message.Attachment = GetResultsFileName();
        desktop::ComposeMail(message);
    });
}

void TfrmMain::acNewCandidateExecute() {
    desktop::ShowMessageBox(
        FWindow, desktop::MessageKind::Confirm, texts::NewCandidateQuestion,
        [this, alive = std::weak_ptr<bool>(FAlive)](const desktop::Answer& answer) {
            if (!answer.ok || alive.expired() || Destroyed())
                return;
            FCandidateTurn->Start([this](const std::string& archive) { StartAfresh(archive); });
        });
}

void TfrmMain::StartAfresh(const std::string& archive) {
    // Nothing of the previous candidate stays on screen, not even a notice about a draft.
    CloseNotice();
    wbrBrowser->navigate(ClientRegistry->GetValue("AssessmentsDir") + "index.html");
    desktop::ShowMessageBox(FWindow, desktop::MessageKind::Information,
                            texts::NewCandidateDone1 + archive + texts::NewCandidateDone2);
}

void TfrmMain::FocusNextPart() {
    std::vector<GtkWidget*> parts;
    if (gtk_revealer_get_reveal_child(GTK_REVEALER(FNoticeBar)))
        parts.push_back(FNoticeButton);
    if (View().findBarShown())
        parts.push_back(View().findEntry());
    parts.push_back(wbrBrowser->widget());
    GtkWidget* focus = gtk_window_get_focus(FWindow);
    std::size_t current = parts.size() - 1;
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (focus && (focus == parts[i] || gtk_widget_is_ancestor(focus, parts[i])))
            current = i;
    gtk_widget_grab_focus(parts[(current + 1) % parts.size()]);
}

void TfrmMain::ApplyAssessmentMargins(int Index) {
    if (!FAssessmentPageSetup)
        FAssessmentPageSetup = std::make_unique<TPrinterSettings>();
    try {
        SaveAssessmentMargins(GetAssessmentFileName(Index), *FAssessmentPageSetup);
    } catch (const PageSetupStoreError& e) {
        // The answers do not depend on the print margins: the page is bound all the same.
        ShowError(e.what());
    }
}

} // namespace vedris
