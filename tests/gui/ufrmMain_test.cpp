// The main window end to end: a real WebKit view under Xvfb shows an assessments folder
// from a temporary installation; the tests click links, fill controls, submit forms and
// close the window as a candidate would, and read results.xml from disk.
#include <gtest/gtest.h>

#include <regex>

#include "gui/ClientHarness.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

// Fills every control of alpha.html as a candidate would.
void answerAlpha(Client& c) {
    c.frame(R"JS(
        doc.getElementsByName('A1.TEXT')[0].value = 'Олена Ґонта-Їжак';
        doc.getElementsByName('A2.LONG')[0].value = 'Рядок перший\nрядок «другий» — є';
        doc.getElementsByName('A3.CHOICE')[1].checked = true;
        doc.getElementsByName('A4.MULTI')[1].checked = true;
        doc.getElementsByName('A4.MULTI')[2].checked = true;
        doc.getElementsByName('A5.PICK')[0].value = 'два';
        var many = doc.getElementsByName('A6.MANY')[0];
        many.options[0].selected = true; many.options[2].selected = true;
    )JS");
}

// The state of alpha.html's controls in one line.
std::string alphaControls(Client& c) {
    return c.frame(R"JS(
        function checked(name) {
          return Array.from(doc.getElementsByName(name)).filter(e => e.checked).map(e => e.value).join('+');
        }
        var many = doc.getElementsByName('A6.MANY')[0];
        return [doc.getElementsByName('A1.TEXT')[0].value,
                doc.getElementsByName('A2.LONG')[0].value,
                checked('A3.CHOICE'), checked('A4.MULTI'),
                doc.getElementsByName('A5.PICK')[0].value,
                Array.from(many.options).filter(o => o.selected).map(o => o.value).join('+')].join('|');
    )JS");
}

const char* const AlphaAnswered =
    "Олена Ґонта-Їжак|Рядок перший\nрядок «другий» — є|y|q+r|два|m1+m3";

TEST(StartUp, MissingResultsFileIsCreatedWithSkeletonsInListOrder) {
    Installation inst("beta, Alpha,beta");
    Client c(inst);
    ASSERT_TRUE(c.started);
    EXPECT_EQ(c.w().Assessments(), (std::vector<std::string>{"beta", "alpha", "beta"}));
    EXPECT_EQ(c.w().CurrentIndex(), -1);
    EXPECT_EQ(c.frameFile(), "welcome.html");
    EXPECT_TRUE(c.w().ReportedErrors().empty());

    // The folder did not exist; the file holds the declaration and one result per name,
    // in list order, the duplicate adding none.
    std::string text = readFile(inst.results());
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << text;
    Results r(inst.results());
    EXPECT_EQ(r.assessmentOrder(), (std::vector<std::string>{"BETA", "ALPHA"}));
    EXPECT_EQ(r.doc.documentElement().name(), "qti_result_report");
    EXPECT_EQ(c.w().GetAssessmentFileName(1), inst.assessments() + "alpha.xml");
    EXPECT_EQ(c.w().GetResultsFileName(), inst.results());
}

TEST(StartUp, ExistingResultsFileIsLeftAsItIs) {
    Installation inst("alpha, beta");
    const std::string existing =
        "<?xml version=\"1.0\"?>\n<qti_result_report><!-- own --></qti_result_report>\n";
    inst.dir.write("Results/results.xml", existing);
    Client c(inst);
    ASSERT_TRUE(c.started);
    EXPECT_EQ(readFile(inst.results()), existing);
}

TEST(StartUp, AnErrorInFormCreateIsReportedAndTheWindowStillShows) {
    Installation inst("alpha");
    // The results folder cannot be made: a file stands in its place.
    inst.dir.write("Results", "not a folder");
    Client c(inst, false);
    ASSERT_TRUE(waitFor([&] { return !desktop::OpenMessageBoxes().empty(); }, 5));
    auto boxes = desktop::OpenMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, desktop::MessageKind::Error);
    EXPECT_EQ(boxes[0].caption, "Ведрис");
    EXPECT_TRUE(boxes[0].modal);
    EXPECT_EQ(boxes[0].parent, c.w().Window());
    EXPECT_NE(boxes[0].text.find("Results"), std::string::npos) << boxes[0].text;
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(c.w().Window())));
    // The remaining steps were skipped: the browser was not sent to the start page.
    pumpFor(0.3);
    EXPECT_EQ(c.w().Browser().url(), "");
}

// Entries that name folders and an assessment that declares an entity are each reported;
// the window comes up on the start page, and the other assessments get their results.
TEST(StartUp, HostileListEntriesAndFilesAreReportedAndTheOthersStillWork) {
    Installation inst("../alpha, alpha, #..\\beta#, #a/b#, ., bomb, beta");
    std::string bomb =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE questestinterop [\n"
        "<!ENTITY a \"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\">\n"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
        "]><questestinterop><assessment ident=\"&c;&c;\"><section>";
    while (bomb.size() < 20000)
        bomb += "<item ident=\"&c;\"><presentation><response_str ident=\"R\"/>&c;&c;&c;"
                "</presentation></item>";
    inst.dir.write("Assessments/bomb.xml", bomb + "</section></assessment></questestinterop>");
    Client c(inst);
    ASSERT_TRUE(c.started);
    EXPECT_EQ(c.frameFile(), "welcome.html");
    const auto& errors = c.w().ReportedErrors();
    ASSERT_EQ(errors.size(), 5u);
    EXPECT_NE(errors[0].find("«../alpha»"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("«..\\beta»"), std::string::npos) << errors[1];
    EXPECT_NE(errors[2].find("«a/b»"), std::string::npos) << errors[2];
    EXPECT_NE(errors[3].find("«.»"), std::string::npos) << errors[3];
    EXPECT_EQ(errors[4].rfind("Не вдалося прочитати файл з описом анкети " + inst.assessments() +
                                  "bomb.xml.",
                              0),
              0u)
        << errors[4];
    Results r(inst.results());
    EXPECT_EQ(r.assessmentOrder(), (std::vector<std::string>{"ALPHA", "BETA"}));
    EXPECT_LT(readFile(inst.results()).size(), 10000u);
}

TEST(Binding, AnswersAreSavedWhenLeavingByALinkAndShownWhenThePageComesBack) {
    Installation inst("alpha, beta");
    Client c(inst);
    ASSERT_TRUE(c.started);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    EXPECT_EQ(c.w().CurrentIndex(), 0);
    // Nothing stored yet: the textarea loses its default text, the list its selection.
    EXPECT_EQ(alphaControls(c), "|||||");

    answerAlpha(c);
    ASSERT_TRUE(c.bindsAfter([&] { c.clickInFrame("#to-beta"); }));
    EXPECT_EQ(c.w().CurrentIndex(), 1);
    EXPECT_EQ(c.frameFile(), "beta.html");

    Results r(inst.results());
    EXPECT_EQ(r.values("ALPHA", "A1", "TEXT"),
              (std::vector<std::string>{"Valid:Олена Ґонта-Їжак"}));
    EXPECT_EQ(r.values("ALPHA", "A2", "LONG"),
              (std::vector<std::string>{"Valid:Рядок перший\nрядок «другий» — є"}));
    EXPECT_EQ(r.values("ALPHA", "A3", "CHOICE"), (std::vector<std::string>{"Valid:y"}));
    EXPECT_EQ(r.values("ALPHA", "A4", "MULTI"), (std::vector<std::string>{"Valid:q", "Valid:r"}));
    EXPECT_EQ(r.values("ALPHA", "A5", "PICK"), (std::vector<std::string>{"Valid:два"}));
    EXPECT_EQ(r.values("ALPHA", "A6", "MANY"), (std::vector<std::string>{"Valid:m1", "Valid:m3"}));
    EXPECT_TRUE(
        std::regex_match(r.datetime("ALPHA"), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")))
        << r.datetime("ALPHA");
    // Beta's page was only shown, never left.
    EXPECT_EQ(r.datetime("BETA"), "");

    ASSERT_TRUE(c.bindsAfter([&] { c.clickInFrame("#to-alpha"); }));
    EXPECT_EQ(c.w().CurrentIndex(), 0);
    EXPECT_EQ(alphaControls(c), AlphaAnswered);
    EXPECT_TRUE(c.w().ReportedErrors().empty());
}

TEST(Binding, LeavingByTheFormsSubmitButtonSaves) {
    Installation inst("beta");
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-beta"); }));
    c.frame("doc.getElementsByName('B1.CITY')[0].value = 'Київ';");
    ASSERT_TRUE(c.arrivesAfter([&] { c.clickInFrame("#send"); }, "thanks.html"));
    EXPECT_EQ(c.w().CurrentIndex(), -1);
    EXPECT_EQ(Results(inst.results()).values("BETA", "B1", "CITY"),
              (std::vector<std::string>{"Valid:Київ"}));
}

TEST(Binding, LeavingByAMenuLinkOfTheTopPageSaves) {
    Installation inst("alpha, beta");
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    c.frame("doc.getElementsByName('A1.TEXT')[0].value = 'з меню';");
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-beta"); }));
    EXPECT_EQ(c.frameFile(), "beta.html");
    EXPECT_EQ(Results(inst.results()).values("ALPHA", "A1", "TEXT"),
              (std::vector<std::string>{"Valid:з меню"}));
}

TEST(Binding, ARefusingHandlerKeepsThePageAndItsValuesAndWritesNothing) {
    Installation inst("alpha, beta");
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    answerAlpha(c);
    c.frame("doc.defaultView.allowLeave = false;");
    const std::string before = readFile(inst.results());

    ASSERT_TRUE(c.cancelledAfter([&] { c.clickInFrame("#to-beta"); }));
    ASSERT_TRUE(c.cancelledAfter([&] { c.click("#to-other"); }));
    // The form's own button: the browser runs the handler, which refuses, so nothing
    // navigates; then the page stays as it is.
    c.clickInFrame("#send");
    pumpFor(0.2);
    EXPECT_EQ(c.frameFile(), "alpha.html");
    EXPECT_EQ(alphaControls(c), AlphaAnswered);
    EXPECT_EQ(readFile(inst.results()), before);
    EXPECT_EQ(c.w().CurrentIndex(), 0);

    // Once the handler accepts, the same link goes ahead and saves.
    c.frame("doc.defaultView.allowLeave = true;");
    ASSERT_TRUE(c.bindsAfter([&] { c.clickInFrame("#to-beta"); }));
    EXPECT_EQ(Results(inst.results()).values("ALPHA", "A3", "CHOICE"),
              (std::vector<std::string>{"Valid:y"}));
}

TEST(Closing, SavesOnceMoreAndCloses) {
    Installation inst("alpha");
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    c.frame("doc.getElementsByName('A1.TEXT')[0].value = 'на виході';");
    // The Exit item closes exactly like the title bar.
    gtk_widget_activate_action(GTK_WIDGET(c.w().Window()), "win.acExit", nullptr);
    ASSERT_TRUE(waitFor([&] { return c.w().Destroyed(); }, 10));
    EXPECT_EQ(Results(inst.results()).values("ALPHA", "A1", "TEXT"),
              (std::vector<std::string>{"Valid:на виході"}));
}

TEST(Closing, ClosesEvenWhenTheHandlerRefuses) {
    Installation inst("alpha");
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    c.frame("doc.getElementsByName('A1.TEXT')[0].value = 'не піде';"
            "doc.defaultView.allowLeave = false;");
    const std::string before = readFile(inst.results());
    ASSERT_TRUE(c.closes());
    EXPECT_EQ(readFile(inst.results()), before);
    EXPECT_EQ(c.w().Stats().submissions, 1);
}

TEST(Binding, ASaveThatFailsKeepsThePageAndTheWindow) {
    Installation inst("alpha, beta");
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    answerAlpha(c);
    // results.xml cannot be replaced while a folder stands in its place.
    std::filesystem::remove(inst.results());
    inst.dir.write("Results/results.xml/blocker", "");

    // Going on would lose the answers that could not be saved: the page stays unless the
    // candidate chooses to leave it unsaved.
    ASSERT_TRUE(c.cancelledAfter([&] {
        c.clickInFrame("#to-beta");
        ASSERT_TRUE(waitFor([] { return !desktop::OpenMessageBoxes().empty(); }));
        EXPECT_EQ(desktop::OpenMessageBoxes()[0].kind, desktop::MessageKind::StayOrLeave);
        desktop::AnswerMessageBox(desktop::OpenMessageBoxes()[0].window, true);
    }));
    EXPECT_EQ(c.frameFile(), "alpha.html");
    EXPECT_EQ(alphaControls(c), AlphaAnswered);
    ASSERT_EQ(c.w().ReportedErrors().size(), 1u);
    EXPECT_NE(c.w().ReportedErrors()[0].find("results.xml"), std::string::npos)
        << c.w().ReportedErrors()[0];
    // Closing reports the error and keeps the window open.
    gtk_window_close(c.w().Window());
    ASSERT_TRUE(waitFor([&] { return c.w().ReportedErrors().size() == 2 && !c.w().Busy(); }));
    EXPECT_FALSE(c.w().Destroyed());
    Client::closeMessageBoxes();

    // Once the file can be written again, leaving saves everything shown.
    std::filesystem::remove_all(inst.results());
    ASSERT_TRUE(c.bindsAfter([&] { c.clickInFrame("#to-beta"); }));
    EXPECT_EQ(Results(inst.results()).values("ALPHA", "A4", "MULTI"),
              (std::vector<std::string>{"Valid:q", "Valid:r"}));
}

TEST(Closing, ASaveThatKeepsFailingLetsTheCandidateCloseWithoutSaving) {
    Installation inst("alpha");
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    std::filesystem::remove(inst.results());
    inst.dir.write("Results/results.xml/blocker", "");
    auto confirmBoxes = [] {
        int n = 0;
        for (const auto& box : desktop::OpenMessageBoxes())
            n += box.kind == desktop::MessageKind::Confirm;
        return n;
    };

    // The first failure only reports; the second asks, and "Скасувати" keeps the window.
    gtk_window_close(c.w().Window());
    ASSERT_TRUE(waitFor([&] { return c.w().ReportedErrors().size() == 1 && !c.w().Busy(); }));
    EXPECT_EQ(confirmBoxes(), 0);
    gtk_window_close(c.w().Window());
    ASSERT_TRUE(waitFor([&] { return confirmBoxes() == 1 && !c.w().Busy(); }));
    Client::closeMessageBoxes();
    pumpFor(0.2);
    EXPECT_FALSE(c.w().Destroyed());

    gtk_window_close(c.w().Window());
    ASSERT_TRUE(waitFor([&] { return confirmBoxes() == 1 && !c.w().Busy(); }));
    for (const auto& box : desktop::OpenMessageBoxes())
        if (box.kind == desktop::MessageKind::Confirm)
            desktop::AnswerMessageBox(box.window, true);
    EXPECT_TRUE(waitFor([&] { return c.w().Destroyed(); }, 10));
}

TEST(Binding, APageNotInTheListLeavesTheLastManagerInPlace) {
    Installation inst("alpha");
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    c.frame("doc.getElementsByName('A1.TEXT')[0].value = 'перше';");
    ASSERT_TRUE(c.arrivesAfter([&] { c.clickInFrame("#to-other"); }, "other.html"));
    EXPECT_EQ(c.w().CurrentIndex(), -1);
    EXPECT_TRUE(c.w().HasStorageManager());
    Results saved(inst.results());
    EXPECT_EQ(saved.values("ALPHA", "A1", "TEXT"), (std::vector<std::string>{"Valid:перше"}));

    // Saving now goes through the manager of a page no longer shown: the answers given
    // when it was left are stored again, not lost.
    std::optional<bool> accepted;
    c.w().SaveCurrentPage([&](bool ok) { accepted = ok; });
    ASSERT_TRUE(waitFor([&] { return accepted.has_value() && !c.w().Busy(); }));
    EXPECT_TRUE(*accepted);
    EXPECT_EQ(Results(inst.results()).values("ALPHA", "A1", "TEXT"),
              (std::vector<std::string>{"Valid:перше"}));

    // Navigations from a page that is no assessment page save nothing more.
    int submissions = c.w().Stats().submissions;
    ASSERT_TRUE(c.bindsAfter([&] { c.clickInFrame("#to-alpha"); }));
    EXPECT_EQ(c.w().Stats().submissions, submissions);
    EXPECT_EQ(alphaControls(c), "перше|||||");
    EXPECT_TRUE(c.w().ReportedErrors().empty());
}

TEST(Binding, AMissingAssessmentFileIsReportedAndThePageCanBeLeft) {
    Installation inst("alpha, gamma");
    // An existing results file: start-up does not derive anything.
    inst.dir.write("Results/results.xml",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qti_result_report/>\n");
    Client c(inst);
    ASSERT_TRUE(c.started);
    c.click("#to-gamma");
    ASSERT_TRUE(waitFor([&] { return !desktop::OpenMessageBoxes().empty() && !c.w().Busy(); }));
    auto boxes = desktop::OpenMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    // The margins step reads the assessment file first and fails on it; whichever step
    // fails, the box names the file and the binding stops with no manager.
    const std::string& text = boxes[0].text;
    EXPECT_NE(text.find(inst.assessments() + "gamma.xml"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '.');
    EXPECT_EQ(boxes[0].caption, "Ведрис");
    EXPECT_EQ(boxes[0].kind, desktop::MessageKind::Error);
    EXPECT_EQ(c.w().ReportedErrors(), (std::vector<std::string>{text}));
    desktop::AnswerMessageBox(boxes[0].window, true);
    EXPECT_TRUE(desktop::OpenMessageBoxes().empty());

    EXPECT_EQ(c.w().CurrentIndex(), 1);
    EXPECT_FALSE(c.w().HasStorageManager());
    // Nothing bound is nothing to save: the candidate goes on.
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    EXPECT_EQ(c.frameFile(), "alpha.html");
    EXPECT_EQ(c.w().ReportedErrors().size(), 1u);
}

TEST(Binding, AMissingPageOrAPageWithoutAFormDoesNotLockTheCandidateIn) {
    Installation inst("alpha, delta, plain");
    inst.dir.write("Results/results.xml",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qti_result_report/>\n");
    // plain.html has no form; its assessment file is a copy of alpha's.
    inst.dir.write("Assessments/plain.xml",
                   readFile(VEDRIS_SOURCE_DIR "/tests/data/gui_assessments/alpha.xml"));
    Client c(inst);
    ASSERT_TRUE(c.started);
    auto show = [&](const std::string& file) {
        return c.arrivesAfter([&] { c.page("frames.form_frame.location.href = '" + file + "'"); },
                              file);
    };

    // delta is listed but its page is missing: the "not found" page is not bound.
    ASSERT_TRUE(show("delta.html"));
    EXPECT_EQ(c.w().CurrentIndex(), -1);
    EXPECT_EQ(c.w().Stats().bound, 0);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));

    // plain is bound, but cannot be submitted: the error is shown and the candidate goes on.
    ASSERT_TRUE(c.bindsAfter([&] { show("plain.html"); }));
    EXPECT_EQ(c.w().CurrentIndex(), 2);
    ASSERT_TRUE(c.arrivesAfter([&] { c.click("#to-beta"); }, "beta.html"));
    ASSERT_EQ(c.w().ReportedErrors().size(), 1u);
    EXPECT_NE(c.w().ReportedErrors()[0].find("немає форми анкети"), std::string::npos);
    Client::closeMessageBoxes();
}

TEST(Binding, CyrillicPageNamesAreRecognised) {
    Installation inst("Опитування");
    Client c(inst);
    ASSERT_TRUE(c.started);
    EXPECT_EQ(c.w().Assessments(), (std::vector<std::string>{"опитування"}));
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-opyt"); }));
    EXPECT_EQ(c.w().CurrentIndex(), 0);
    c.frame("doc.getElementsByName('O1.ANSWER')[0].value = 'Так, звісно';");
    ASSERT_TRUE(c.closes());
    EXPECT_EQ(Results(inst.results()).values("OPYT", "O1", "ANSWER"),
              (std::vector<std::string>{"Valid:Так, звісно"}));
}

TEST(Queue, SubmissionsRunOneAtATimeInOrder) {
    Installation inst("alpha");
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    c.frame("doc.getElementsByName('A1.TEXT')[0].value = 'раз';");
    std::vector<std::string> order;
    c.w().SaveCurrentPage([&](bool ok) {
        order.push_back(ok ? "first" : "first refused");
        // Changed between the two submissions: the second must see it.
        c.w().Browser().evaluateInPage(
            "frames.form_frame.document.getElementsByName('A1.TEXT')[0].value = 'два'",
            [](const web::ScriptResult&) {});
    });
    c.w().SaveCurrentPage([&](bool ok) { order.push_back(ok ? "second" : "second refused"); });
    EXPECT_TRUE(c.w().Busy());
    ASSERT_TRUE(waitFor([&] { return order.size() == 2 && !c.w().Busy(); }));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(c.w().Stats().submissions, 2);
    EXPECT_EQ(Results(inst.results()).values("ALPHA", "A1", "TEXT"),
              (std::vector<std::string>{"Valid:два"}));
}

TEST(Menu, ActionsAndItems) {
    Installation inst("alpha");
    Client c(inst);
    ASSERT_TRUE(c.started);
    EXPECT_STREQ(gtk_window_get_title(c.w().Window()), "Ведрис");
    int width = 0, height = 0;
    gtk_window_get_default_size(c.w().Window(), &width, &height);
    EXPECT_EQ(width, 810);
    EXPECT_EQ(height, 588);
    EXPECT_TRUE(gtk_window_get_resizable(c.w().Window()));

    GActionGroup* actions = c.w().ActionGroup();
    EXPECT_TRUE(g_action_group_get_action_enabled(actions, "acSaveTo"));
    EXPECT_FALSE(g_action_group_get_action_enabled(actions, "acSend"));
    EXPECT_FALSE(g_action_group_get_action_enabled(actions, "acPrint"));
    EXPECT_TRUE(g_action_group_get_action_enabled(actions, "acExit"));
    EXPECT_TRUE(g_action_group_get_action_enabled(actions, "acNewCandidate"));

    // The menu bar's items, sections standing for the separators.
    auto label = [](GMenuModel* model, int i) {
        char* text = nullptr;
        g_menu_model_get_item_attribute(model, i, G_MENU_ATTRIBUTE_LABEL, "s", &text);
        std::string s = text ? text : "";
        g_free(text);
        return s;
    };
    GMenuModel* bar = c.w().MenuModel();
    // Underscores mark the letters Alt opens an item with.
    ASSERT_EQ(g_menu_model_get_n_items(bar), 3);
    EXPECT_EQ(label(bar, 0), "_Файл");
    EXPECT_EQ(label(bar, 1), "_Вигляд");
    EXPECT_EQ(label(bar, 2), "_Допомога");
    GMenuModel* file = g_menu_model_get_item_link(bar, 0, G_MENU_LINK_SUBMENU);
    std::vector<std::string> items;
    for (int s = 0; s < g_menu_model_get_n_items(file); ++s) {
        GMenuModel* section = g_menu_model_get_item_link(file, s, G_MENU_LINK_SECTION);
        for (int i = 0; i < g_menu_model_get_n_items(section); ++i)
            items.push_back(label(section, i));
        items.push_back("--");
        g_object_unref(section);
    }
    g_object_unref(file);
    EXPECT_EQ(items, (std::vector<std::string>{"_Новий кандидат…", "--", "_Зберегти анкетні дані",
                                               "_Відправити дані поштою", "--", "_Друкувати", "--",
                                               "Ви_хід", "--"}));

    // About does nothing; Save (still a placeholder) shows nothing.
    gtk_widget_activate_action(GTK_WIDGET(c.w().Window()), "win.miAbout", nullptr);
    pumpFor(0.1);
    EXPECT_TRUE(desktop::OpenMessageBoxes().empty());
    EXPECT_FALSE(c.w().Destroyed());
}

} // namespace
