#pragma once
// Runs the real main window with a real WebKit view on an installation laid out in a
// temporary folder (settings file, Assessments/ from tests/data/gui_assessments plus the
// shipped result stylesheet, Results/), and drives its pages with JavaScript the way a
// candidate would.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <gtk/gtk.h>

#include "window/ufrmMain.h"
#include "desktop/MessageBox.h"
#include "platform/xml/XmlDocument.h"
#include "settings/uRegistry.h"
#include "support/TempDir.h"

namespace vedris::test {

namespace stdfs = std::filesystem;

class GtkEnvironment : public ::testing::Environment {
public:
    void SetUp() override { gtk_init(); }
};

// Runs the main loop until done() holds; false when seconds passed first.
inline bool waitFor(const std::function<bool()>& done, double seconds = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(500);
    }
    return true;
}

// Runs the main loop for a while (for things that must NOT happen).
inline void pumpFor(double seconds) {
    waitFor([] { return false; }, seconds);
}

// An installation of the client in a temporary folder.
class Installation {
public:
    // assessments: the ClientAssessments line of the settings file.
    explicit Installation(const std::string& assessments) {
        const stdfs::path data = stdfs::path(VEDRIS_SOURCE_DIR) / "tests/data/gui_assessments";
        const stdfs::path target = dir.path() / "Assessments";
        stdfs::create_directories(target);
        for (const auto& entry : stdfs::directory_iterator(data)) {
            std::string name = entry.path().filename().string();
            // A page and an assessment file with a Cyrillic name.
            if (name.rfind("opytuvannia.", 0) == 0)
                name = "опитування" + name.substr(std::string("opytuvannia").size());
            stdfs::copy_file(entry.path(), target / name);
        }
        stdfs::copy_file(stdfs::path(VEDRIS_SOURCE_DIR) / "demo/Assessments/ims_qtiasi2res.xslt",
                         target / "ims_qtiasi2res.xslt");
        dir.write("vedris.ini", "[General]\nClientAssessments=" + assessments + "\n");
        // The window saves and restores the user's page setup; keep it off the real one.
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    }

    std::string ini() const { return dir.file("vedris.ini"); }
    std::string assessments() const { return dir.file("Assessments") + "/"; }
    std::string resultsDir() const { return dir.file("Results") + "/"; }
    std::string results() const { return dir.file("Results/results.xml"); }

    TempDir dir;
};

// The results document on disk.
struct Results {
    explicit Results(const std::string& path) : doc(xml::Document::load(path)) {}

    // The values of a response of an assessment, in order, as "status:text".
    std::vector<std::string> values(const std::string& assessment, const std::string& item,
                                    const std::string& response) const {
        std::vector<std::string> out;
        std::string path = "/qti_result_report/result[assessment_result/@ident_ref = '" +
                           assessment + "']//item_result[@ident_ref = '" + item +
                           "']/response[@ident_ref = '" + response + "']/response_value";
        for (const xml::Node& v : doc.selectAll(path))
            out.push_back(v.attribute("response_status") + ":" + v.text());
        return out;
    }
    std::string datetime(const std::string& assessment) const {
        xml::Node n = doc.selectFirst("/qti_result_report/result[assessment_result/@ident_ref = '" +
                                      assessment + "']/context/date/datetime");
        return n ? n.text() : "(none)";
    }
    std::vector<std::string> assessmentOrder() const {
        std::vector<std::string> out;
        for (const xml::Node& r : doc.selectAll("/qti_result_report/result/assessment_result"))
            out.push_back(r.attribute("ident_ref"));
        return out;
    }

    xml::Document doc;
};

// The main window on an installation, with the settings object it needs.
class Client {
public:
    explicit Client(const Installation& installation, bool waitForStart = true) {
        CreateClientRegistry(installation.ini());
        window_ = std::make_unique<TfrmMain>(nullptr);
        window_->Show();
        if (waitForStart)
            started = waitFor([this] { return w().Stats().topCompleted >= 1 && !w().Busy(); });
    }

    ~Client() {
        closeMessageBoxes();
        window_.reset();
        pumpFor(0.02);
        DestroyClientRegistry();
    }

    TfrmMain& w() { return *window_; }

    // Runs a script in the top page's own world; the value as text, or "!error: ...".
    std::string page(const std::string& script) {
        bool finished = false;
        std::string value;
        w().Browser().evaluateInPage(script, [&](const web::ScriptResult& r) {
            value = r.ok ? r.value : "!error: " + r.error;
            finished = true;
        });
        if (!waitFor([&] { return finished; }))
            return "!error: script timed out";
        return value;
    }
    // The same against the form frame's document, reached as doc.
    std::string frame(const std::string& body) {
        return page("(function (doc) { " + body + " })(window.frames['form_frame'].document)");
    }
    std::string frameFile() {
        std::string href = page("String(window.frames['form_frame'].location.pathname)");
        auto slash = href.rfind('/');
        return slash == std::string::npos ? href : href.substr(slash + 1);
    }

    void click(const std::string& selectorInTop) {
        page("document.querySelector('" + selectorInTop + "').click()");
    }
    void clickInFrame(const std::string& selector) {
        frame("doc.querySelector('" + selector + "').click();");
    }

    // Runs an action that ends in a new binding, and waits until the form is filled.
    bool bindsAfter(const std::function<void()>& action) {
        int bound = w().Stats().bound;
        action();
        return waitFor([&] { return w().Stats().bound > bound && !w().Busy(); });
    }
    // Runs an action that ends with the frame showing fileName and the window idle.
    bool arrivesAfter(const std::function<void()>& action, const std::string& fileName) {
        int completed = w().Stats().completed;
        action();
        return waitFor([&] {
            return w().Stats().completed > completed && !w().Busy() && frameFile() == fileName;
        });
    }
    // Runs an action whose navigation is cancelled, and waits until it was.
    bool cancelledAfter(const std::function<void()>& action) {
        int ignored = w().Stats().ignored;
        action();
        return waitFor([&] { return w().Stats().ignored > ignored && !w().Busy(); });
    }
    // Closes as from the title bar and waits until the window is gone (false if not).
    bool closes() {
        gtk_window_close(w().Window());
        return waitFor([&] { return w().Destroyed(); }, 10);
    }

    static void closeMessageBoxes() {
        for (const auto& box : desktop::OpenMessageBoxes())
            desktop::AnswerMessageBox(box.window, false);
    }

    bool started = false;

private:
    std::unique_ptr<TfrmMain> window_;
};

} // namespace vedris::test
