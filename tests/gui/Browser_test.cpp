// The browser bridge in a real view: frame events, the private script world, the form
// frame scripts, and page dialogs shown as the program's own boxes.
#include <gtest/gtest.h>

#include "gui/ClientHarness.h"
#include "web/FormFrame.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

// A bare browser in a window, recording what it reports.
class BareBrowser {
public:
    explicit BareBrowser(const Installation& inst) : browser(inst.assessments()) {
        window = GTK_WINDOW(gtk_window_new());
        gtk_window_set_default_size(window, 600, 400);
        gtk_window_set_child(window, browser.widget());
        browser.setDialogParent(window);
        browser.onFrameEvent = [this](const web::FrameEvent& e) {
            if (observer)
                observer->observe(e);
            events.push_back(
                std::string(e.kind == web::FrameEvent::Kind::Navigated ? "nav " : "done ") +
                (e.top ? "top " : "frame ") + e.frameName + " " + PathTail(e.url));
        };
        gtk_window_present(window);
    }
    ~BareBrowser() {
        Client::closeMessageBoxes();
        gtk_window_destroy(window);
    }

    static std::string PathTail(const std::string& url) { return url.substr(url.rfind('/') + 1); }
    std::string run(const std::string& script, bool inPage) {
        bool finished = false;
        std::string value;
        auto done = [&](const web::ScriptResult& r) {
            value = r.ok ? r.value : "!error";
            finished = true;
        };
        if (inPage)
            browser.evaluateInPage(script, done);
        else
            browser.evaluate(script, done);
        waitFor([&] { return finished; });
        return value;
    }
    bool loaded() {
        return std::find(events.begin(), events.end(), "done top  index.html") != events.end();
    }

    web::Browser browser;
    GtkWindow* window = nullptr;
    std::vector<std::string> events;
    web::FormFrame* observer = nullptr; // sees every report when set
};

TEST(Browser, EveryFrameReportsItsNavigationAndItsLoad) {
    Installation inst("alpha");
    BareBrowser b(inst);
    b.browser.navigate(inst.assessments() + "index.html");
    ASSERT_TRUE(waitFor([&] { return b.loaded(); }));
    EXPECT_EQ(b.events, (std::vector<std::string>{
                            "nav top  index.html", "nav frame form_frame welcome.html",
                            "done frame form_frame welcome.html", "done top  index.html"}));
    EXPECT_EQ(b.browser.recognitionPath(b.browser.url()), inst.assessments() + "index.html");
    EXPECT_THROW(b.browser.navigate(inst.dir.file("vedris.ini")), web::Error);
}

TEST(Browser, PagesCannotReachTheBridge) {
    Installation inst("alpha");
    BareBrowser b(inst);
    b.browser.navigate(inst.assessments() + "index.html");
    ASSERT_TRUE(waitFor([&] { return b.loaded(); }));
    web::FormFrame form(b.browser);
    bool captured = false;
    form.capture(
        7, [&](const Capture&) { captured = true; }, [](const std::string&) {});
    ASSERT_TRUE(waitFor([&] { return captured; }));

    // The handler and the bound document exist only in the bridge's world.
    EXPECT_EQ(b.run("typeof (window.webkit && window.webkit.messageHandlers &&"
                    " window.webkit.messageHandlers.vedrisFrames)",
                    true),
              "undefined");
    EXPECT_EQ(b.run("typeof window.vedrisBound", true), "undefined");
    EXPECT_EQ(b.run("typeof window.vedrisBound", false), "object");
    // A page that plants its own vedrisBound changes nothing for the bridge.
    b.run("window.vedrisBound = {token: 8, doc: frames.form_frame.document}", true);
    std::optional<web::SubmitReply> reply;
    form.submit(
        8, [&](const web::SubmitReply& r) { reply = r; }, [](const std::string&) {});
    ASSERT_TRUE(waitFor([&] { return reply.has_value(); }));
    EXPECT_FALSE(reply->displayed);
    reply.reset();
    form.submit(
        7, [&](const web::SubmitReply& r) { reply = r; }, [](const std::string&) {});
    ASSERT_TRUE(waitFor([&] { return reply.has_value(); }));
    EXPECT_TRUE(reply->displayed);
    // welcome.html has no form: nothing refuses.
    EXPECT_TRUE(reply->verdict);
    EXPECT_EQ(reply->snapshot.value("hasForm", true), false);
}

TEST(Browser, FormFrameCaptureApplyAndSubmit) {
    Installation inst("alpha");
    BareBrowser b(inst);
    b.browser.navigate(inst.assessments() + "index.html");
    ASSERT_TRUE(waitFor([&] { return b.loaded(); }));
    size_t before = b.events.size();
    b.run("frames.form_frame.location.href = 'alpha.html'", true);
    ASSERT_TRUE(waitFor([&] {
        return b.events.size() >= before + 2 &&
               b.events.back() == "done frame form_frame alpha.html";
    }));

    web::FormFrame form(b.browser);
    std::string error;
    nlohmann::json snapshot;
    form.capture(
        1, [&](const Capture& c) { snapshot = c.snapshot; },
        [&](const std::string& e) { error = e; });
    ASSERT_TRUE(waitFor([&] { return !snapshot.is_null() || !error.empty(); }));
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_TRUE(snapshot.at("hasForm").get<bool>());
    const auto& elements = snapshot.at("elements");
    // Every named element in document order: the form's own name comes first.
    ASSERT_EQ(elements.size(), 11u);
    EXPECT_EQ(elements[0].value("tag", ""), "form");
    EXPECT_EQ(elements[1].value("name", ""), "A1.TEXT");
    EXPECT_EQ(elements[1].value("type", ""), "text");
    EXPECT_EQ(elements[2].value("tag", ""), "textarea");
    EXPECT_EQ(elements[2].value("value", ""), "Типовий текст");
    EXPECT_EQ(elements[3].value("type", ""), "radio");
    EXPECT_EQ(elements[9].value("tag", ""), "select");
    EXPECT_EQ(elements[9].at("options").size(), 4u);
    EXPECT_EQ(elements[10].value("multiple", false), true);

    // Writes go by index, guarded by the element's name.
    nlohmann::json changes =
        nlohmann::json::array({{{"i", 1}, {"value", "Ярина"}},
                               {{"i", 2}, {"value", "рядок\nще"}},
                               {{"i", 4}, {"checked", true}},
                               {{"i", 9}, {"selected", {false, false, true, false}}},
                               {{"i", 10}, {"selected", {false, false, false}}}});
    std::optional<bool> applied;
    form.apply(
        1, changes, snapshot, [&](bool a) { applied = a; },
        [&](const std::string& e) { error = e; });
    ASSERT_TRUE(waitFor([&] { return applied.has_value(); }));
    EXPECT_TRUE(*applied);
    EXPECT_EQ(b.run("(function (d) { return [d.getElementsByName('A1.TEXT')[0].value,"
                    " d.getElementsByName('A2.LONG')[0].value,"
                    " d.getElementsByName('A3.CHOICE')[1].checked,"
                    " d.getElementsByName('A5.PICK')[0].value,"
                    " d.getElementsByName('A6.MANY')[0].selectedIndex].join('|') })"
                    "(frames.form_frame.document)",
                    true),
              "Ярина|рядок\nще|true|два|-1");

    // The page's handler runs and its verdict comes back with the controls after it.
    b.run("frames.form_frame.allowLeave = false", true);
    std::optional<web::SubmitReply> reply;
    form.submit(
        1, [&](const web::SubmitReply& r) { reply = r; }, [&](const std::string& e) { error = e; });
    ASSERT_TRUE(waitFor([&] { return reply.has_value(); }));
    EXPECT_TRUE(reply->displayed);
    EXPECT_FALSE(reply->verdict);
    EXPECT_EQ(reply->snapshot.at("elements")[1].value("value", ""), "Ярина");
    EXPECT_EQ(b.run("String(frames.form_frame.submitCount)", true), "1");

    // Another document in the frame: nothing is written into it or submitted from it.
    before = b.events.size();
    b.run("frames.form_frame.location.href = 'alpha.html?again'", true);
    ASSERT_TRUE(waitFor([&] { return b.events.size() >= before + 2; }));
    applied.reset();
    form.apply(
        1, changes, snapshot, [&](bool a) { applied = a; },
        [&](const std::string& e) { error = e; });
    ASSERT_TRUE(waitFor([&] { return applied.has_value(); }));
    EXPECT_FALSE(*applied);
    EXPECT_EQ(b.run("frames.form_frame.document.getElementsByName('A1.TEXT')[0].value", true), "");

    // No frame of that name: the capture fails with our own message.
    web::FormFrame missing(b.browser, "no_such_frame");
    error.clear();
    missing.capture(
        2, [](const Capture&) {}, [&](const std::string& e) { error = e; });
    ASSERT_TRUE(waitFor([&] { return !error.empty(); }));
    EXPECT_EQ(error, "На сторінці немає фрейму \"no_such_frame\" з анкетою");
}

TEST(Browser, TheFormFrameSendsItsFormWithItsLoad) {
    Installation inst("alpha");
    inst.dir.write("Assessments/onload.html",
                   "<!DOCTYPE html><html><body onload=\"document.forms[0].elements[0].value = "
                   "'з обробника'\" onpageshow=\"document.forms[0].elements[0].value += '!'\">"
                   "<form><input name=\"T\"></form></body></html>");
    // The same, with a frame inside whose navigation the test holds: its load waits for it.
    inst.dir.write("Assessments/held.html",
                   "<!DOCTYPE html><html><body onload=\"document.forms[0].elements[0].value = "
                   "'з обробника'\" onpageshow=\"document.forms[0].elements[0].value += '!'\">"
                   "<form><input name=\"T\"></form><iframe src=\"child.html\"></iframe></body>"
                   "</html>");
    BareBrowser b(inst);
    web::FormFrame form(b.browser);
    b.observer = &form;
    b.browser.navigate(inst.assessments() + "index.html");
    ASSERT_TRUE(waitFor([&] { return b.loaded(); }));
    b.run("frames.form_frame.location.href = 'onload.html'", true);
    ASSERT_TRUE(waitFor([&] { return b.events.back() == "done frame form_frame onload.html"; }));

    // The capture answers at once, with the form as the page's own load and pageshow
    // handlers left it.
    nlohmann::json snapshot;
    form.capture(
        1, [&](const Capture& c) { snapshot = c.snapshot; }, [](const std::string&) {});
    ASSERT_FALSE(snapshot.is_null());
    EXPECT_EQ(snapshot.at("elements")[0].value("value", ""), "з обробника!");
    // Its first write binds that document.
    const nlohmann::json changes = nlohmann::json::array({{{"i", 0}, {"value", "збережене"}}});
    std::optional<bool> applied;
    form.apply(
        1, changes, snapshot, [&](bool a) { applied = a; }, [](const std::string&) {});
    ASSERT_TRUE(waitFor([&] { return applied.has_value(); }));
    EXPECT_TRUE(*applied);
    const std::string shown = "frames.form_frame.document.getElementsByName('T')[0].value";
    EXPECT_EQ(b.run(shown, true), "збережене");

    // A binding staged for the next document from a URL: that document writes it as it
    // loads, when its form is still the one staged, and says so; the one after it, or one
    // whose form differs, writes nothing.
    const std::string url = b.run("frames.form_frame.location.href", true);
    auto visit = [&](const std::string& query) {
        const std::size_t before = b.events.size();
        b.run("frames.form_frame.location.href = 'onload.html" + query + "'", true);
        EXPECT_TRUE(waitFor([&] {
            return b.events.size() > before + 1 &&
                   b.events.back() == "done frame form_frame onload.html" + query;
        }));
        long filledBy = -2;
        form.capture(
            3, [&](const Capture& c) { filledBy = c.filledBy; }, [](const std::string&) {});
        return filledBy;
    };
    ASSERT_TRUE(form.stage(5, url + "?staged", snapshot, changes));
    EXPECT_EQ(visit("?staged"), 5);
    EXPECT_EQ(b.run(shown, true), "збережене");
    EXPECT_EQ(visit("?staged"), 0);
    EXPECT_EQ(b.run(shown, true), "з обробника!");
    nlohmann::json other = snapshot;
    other["elements"][0]["value"] = "інше";
    ASSERT_TRUE(form.stage(6, url + "?other", other, changes));
    EXPECT_EQ(visit("?other"), 0);
    EXPECT_EQ(b.run(shown, true), "з обробника!");
    // Withdrawn after the document started with it, before its load: it writes nothing.
    std::shared_ptr<web::NavigationDecision> child;
    b.browser.onBeforeNavigate = [&](std::shared_ptr<web::NavigationDecision> d) {
        d->url().find("child.html") == std::string::npos ? d->use() : void(child = d);
    };
    ASSERT_TRUE(form.stage(7, url.substr(0, url.rfind('/') + 1) + "held.html", snapshot, changes));
    b.run("frames.form_frame.location.href = 'held.html'", true);
    ASSERT_TRUE(waitFor([&] { return child != nullptr; }));
    form.unstage();
    b.run("0", false);
    std::exchange(child, nullptr)->use();
    ASSERT_TRUE(waitFor([&] { return b.events.back() == "done frame form_frame held.html"; }));
    long filledBy = -2;
    form.capture(
        4, [&](const Capture& c) { filledBy = c.filledBy; }, [](const std::string&) {});
    EXPECT_EQ(filledBy, 0);
    EXPECT_EQ(b.run(shown, true), "з обробника!");
    b.browser.onBeforeNavigate = nullptr;

    // A report whose document the frame no longer shows binds nothing.
    b.run("frames.form_frame.location.href = 'onload.html?again'", true);
    ASSERT_TRUE(waitFor([&] { return b.events.back() == "done frame form_frame onload.html?again"; }));
    b.observer = nullptr;
    b.run("frames.form_frame.location.href = 'onload.html?third'", true);
    ASSERT_TRUE(waitFor([&] { return b.events.back() == "done frame form_frame onload.html?third"; }));
    snapshot = nullptr;
    form.capture(
        2, [&](const Capture& c) { snapshot = c.snapshot; }, [](const std::string&) {});
    ASSERT_FALSE(snapshot.is_null());
    applied.reset();
    form.apply(
        2, changes, snapshot, [&](bool a) { applied = a; }, [](const std::string&) {});
    ASSERT_TRUE(waitFor([&] { return applied.has_value(); }));
    EXPECT_FALSE(*applied);
    EXPECT_EQ(b.run(shown, true), "з обробника!");
}

TEST(Browser, PageDialogsAreTheProgramsOwnBoxes) {
    Installation inst("alpha");
    BareBrowser b(inst);
    b.browser.navigate(inst.assessments() + "index.html");
    ASSERT_TRUE(waitFor([&] { return b.loaded(); }));
    auto nextBox = [] {
        waitFor([] { return !desktop::OpenMessageBoxes().empty(); }, 10);
        auto boxes = desktop::OpenMessageBoxes();
        return boxes.empty() ? desktop::OpenBox{} : boxes.back();
    };

    b.run("setTimeout(function () { window.r = confirm('Продовжити?'); }, 0)", true);
    auto box = nextBox();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.kind, desktop::MessageKind::Confirm);
    EXPECT_EQ(box.caption, "Ведрис");
    EXPECT_EQ(box.text, "Продовжити?");
    EXPECT_TRUE(box.modal);
    EXPECT_EQ(box.parent, b.window);
    desktop::AnswerMessageBox(box.window, false);
    ASSERT_TRUE(waitFor([&] { return b.run("String(window.r)", true) == "false"; }));

    b.run("setTimeout(function () { window.r = prompt('Ваше ім\\'я?', 'Іван'); }, 0)", true);
    box = nextBox();
    EXPECT_EQ(box.kind, desktop::MessageKind::Prompt);
    EXPECT_EQ(box.text, "Ваше ім'я?");
    desktop::AnswerMessageBox(box.window, true, std::string("Тарас"));
    ASSERT_TRUE(waitFor([&] { return b.run("String(window.r)", true) == "Тарас"; }));

    // The page waits for the box: a script sent meanwhile runs only after it is answered.
    b.run("setTimeout(function () { alert('Увага'); window.r = 'after'; }, 0)", true);
    box = nextBox();
    EXPECT_EQ(box.kind, desktop::MessageKind::Information);
    EXPECT_EQ(box.text, "Увага");
    std::string seen;
    b.browser.evaluateInPage("String(window.r)",
                             [&](const web::ScriptResult& r) { seen = r.value; });
    pumpFor(0.2);
    EXPECT_EQ(seen, "");
    desktop::AnswerMessageBox(box.window, true);
    ASSERT_TRUE(waitFor([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, "after");

    // The buttons carry Ukrainian texts.
    b.run("setTimeout(function () { window.r = confirm('Так?'); }, 0)", true);
    box = nextBox();
    std::vector<std::string> labels;
    std::function<void(GtkWidget*)> collect = [&](GtkWidget* w) {
        if (GTK_IS_BUTTON(w) && gtk_button_get_label(GTK_BUTTON(w)))
            labels.push_back(gtk_button_get_label(GTK_BUTTON(w)));
        for (GtkWidget* c = gtk_widget_get_first_child(w); c; c = gtk_widget_get_next_sibling(c))
            collect(c);
    };
    collect(GTK_WIDGET(box.window));
    EXPECT_EQ(labels, (std::vector<std::string>{"Скасувати", "Гаразд"}));
    desktop::AnswerMessageBox(box.window, true);
    ASSERT_TRUE(waitFor([&] { return b.run("String(window.r)", true) == "true"; }));
}

} // namespace
