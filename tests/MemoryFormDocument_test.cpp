#include "platform/html/MemoryFormDocument.h"

#include <gtest/gtest.h>

using nlohmann::json;
using vedris::html::Error;
using vedris::html::MemoryFormDocument;

namespace {

json pageSnapshot() {
    return json::parse(R"({"hasForm": true, "elements": [
        {"tag": "input", "type": "text", "name": "Q1.R1", "value": "перше", "checked": false},
        {"tag": "input", "type": "radio", "name": "Q2.R1", "value": "a", "checked": true},
        {"tag": "input", "type": "radio", "name": "Q2.R1", "value": "b", "checked": false},
        {"tag": "textarea", "name": "Q3.R1", "value": "рядок 1\nрядок 2"},
        {"tag": "select", "name": "Q4.R1", "multiple": true,
         "options": [{"value": "x", "selected": true}, {"value": "y", "selected": false},
                     {"value": "z", "selected": true}]},
        {"tag": "select", "name": "Q5.R1", "multiple": false,
         "options": [{"value": "p", "selected": true}, {"value": "q", "selected": false}]},
        {"tag": "input", "type": "text", "name": "Q1.R1", "value": "друге", "checked": false},
        {"tag": "button", "name": "go", "value": "Далі"},
        {"tag": "a", "name": "anchor", "value": ""}]})");
}

} // namespace

TEST(MemoryFormDocument, SnapshotRoundTripAndLookupByNameInDocumentOrder) {
    MemoryFormDocument doc(pageSnapshot());
    EXPECT_EQ(doc.toJson(), pageSnapshot());

    auto& texts = doc.getElementsByName("Q1.R1");
    ASSERT_EQ(texts.length(), 2);
    EXPECT_EQ(texts.item(0).value(), "перше");
    EXPECT_EQ(texts.item(1).value(), "друге");
    EXPECT_THROW(texts.item(2), Error);
    EXPECT_THROW(texts.item(-1), Error);
    EXPECT_EQ(doc.getElementsByName("Q9.R9").length(), 0);
    EXPECT_EQ(doc.getElementsByName("q1.r1").length(), 0) << "names are case-sensitive";
}

TEST(MemoryFormDocument, CollectionsHandedOutEarlierFollowUpdates) {
    MemoryFormDocument doc;
    auto& radios = doc.getElementsByName("Q2.R1");
    auto& later = doc.getElementsByName("Q3.R1");
    EXPECT_EQ(radios.length(), 0);
    doc.update(pageSnapshot());
    EXPECT_EQ(&radios, &doc.getElementsByName("Q2.R1"));
    ASSERT_EQ(radios.length(), 2);
    EXPECT_TRUE(radios.item(0).checked());
    EXPECT_EQ(later.item(0).innerText(), "рядок 1\nрядок 2");

    doc.update(json{{"elements", json::array()}});
    EXPECT_EQ(radios.length(), 0);
    EXPECT_EQ(doc.forms().length(), 1) << "a snapshot without hasForm has its form";
}

TEST(MemoryFormDocument, MembersAnElementLacksRaise) {
    MemoryFormDocument doc(pageSnapshot());
    auto& text = doc.getElementsByName("Q1.R1").item(0);
    EXPECT_THROW(text.options(), Error);
    EXPECT_THROW(text.selected(), Error);
    EXPECT_THROW(text.multiple(), Error);
    EXPECT_THROW(text.setInnerText("x"), Error);
    EXPECT_EQ(text.innerText(), "");
    EXPECT_FALSE(text.checked());

    auto& area = doc.getElementsByName("Q3.R1").item(0);
    EXPECT_THROW(area.checked(), Error);
    EXPECT_THROW(area.setChecked(true), Error);
    EXPECT_THROW(area.options(), Error);
    EXPECT_EQ(area.value(), "рядок 1\nрядок 2");

    auto& list = doc.getElementsByName("Q4.R1").item(0);
    EXPECT_THROW(list.checked(), Error);
    EXPECT_THROW(list.setSelected(true), Error);
    EXPECT_TRUE(list.multiple());
    EXPECT_FALSE(doc.getElementsByName("Q5.R1").item(0).multiple());
    EXPECT_EQ(list.value(), "x") << "a list's value is its first selected option's";
    auto& option = list.options().item(1);
    EXPECT_THROW(option.checked(), Error);
    EXPECT_THROW(option.options(), Error);
    EXPECT_THROW(option.setValue("w"), Error);
    EXPECT_THROW(list.options().item(3), Error);

    auto& button = doc.getElementsByName("go").item(0);
    EXPECT_EQ(button.value(), "Далі");
    EXPECT_THROW(button.checked(), Error);
    auto& anchor = doc.getElementsByName("anchor").item(0);
    try {
        anchor.value();
        FAIL() << "an anchor has no value";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("'value'"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("anchor"), std::string::npos) << e.what();
    }
}

TEST(MemoryFormDocument, ChangesCarryTheWholeNewStateOfWrittenElements) {
    MemoryFormDocument doc(pageSnapshot());
    EXPECT_EQ(doc.changes(), json::array());

    doc.getElementsByName("Q1.R1").item(1).setValue("нове 🙂");
    doc.getElementsByName("Q3.R1").item(0).setInnerText("текст");
    // Checking b unchecks a, as in the browser, and both reach the page.
    doc.getElementsByName("Q2.R1").item(1).setChecked(true);
    doc.getElementsByName("Q4.R1").item(0).options().item(1).setSelected(true);
    // One choice only: selecting q deselects p.
    doc.getElementsByName("Q5.R1").item(0).options().item(1).setSelected(true);

    EXPECT_EQ(doc.changes(), json::parse(R"([
        {"i": 1, "value": "a", "checked": false},
        {"i": 2, "value": "b", "checked": true},
        {"i": 3, "value": "текст"},
        {"i": 4, "selected": [true, true, true]},
        {"i": 5, "selected": [false, true]},
        {"i": 6, "value": "нове 🙂", "checked": false}])"));
    EXPECT_EQ(doc.toJson()["elements"][6]["value"], "нове 🙂");

    doc.clearChanges();
    EXPECT_EQ(doc.changes(), json::array());
    doc.getElementsByName("Q5.R1").item(0).setValue("p");
    EXPECT_EQ(doc.changes(), json::parse(R"([{"i": 5, "selected": [true, false]}])"));
    doc.update(pageSnapshot());
    EXPECT_EQ(doc.changes(), json::array());

    // Writes that leave an element as the page shows it are no news to the page.
    doc.getElementsByName("Q1.R1").item(0).setValue("перше");
    doc.getElementsByName("Q2.R1").item(0).setChecked(true);
    doc.getElementsByName("Q3.R1").item(0).setInnerText("інше");
    doc.getElementsByName("Q3.R1").item(0).setInnerText("рядок 1\nрядок 2");
    doc.getElementsByName("Q4.R1").item(0).options().item(0).setSelected(true);
    EXPECT_EQ(doc.changes(), json::array());
    doc.getElementsByName("Q1.R1").item(0).setValue("третє");
    doc.clearChanges();
    doc.getElementsByName("Q1.R1").item(0).setValue("перше");
    EXPECT_EQ(doc.changes(), json::parse(R"([{"i": 0, "value": "перше", "checked": false}])"))
        << "after clearChanges the page shows what was last sent";
}

TEST(MemoryFormDocument, SubmitVerdictAndMissingForm) {
    MemoryFormDocument doc(pageSnapshot());
    ASSERT_EQ(doc.forms().length(), 1);
    EXPECT_TRUE(doc.forms().item(0).fireEvent("onSubmit"));
    doc.setSubmitVerdict(false);
    EXPECT_FALSE(doc.forms().item(0).fireEvent("onSubmit"));
    EXPECT_THROW(doc.forms().item(0).fireEvent("onExplode"), Error);
    EXPECT_THROW(doc.forms().item(1), Error);

    doc.setHasForm(false);
    EXPECT_EQ(doc.forms().length(), 0);
    try {
        doc.forms().item(0);
        FAIL() << "no form";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("null"), std::string::npos) << e.what();
    }
    auto snapshot = pageSnapshot();
    snapshot["hasForm"] = true;
    doc.update(snapshot);
    EXPECT_EQ(doc.forms().length(), 1);
    snapshot["hasForm"] = false;
    doc.update(snapshot);
    EXPECT_EQ(doc.forms().length(), 0);
}

TEST(MemoryFormDocument, MalformedSnapshotRaisesAndKeepsTheState) {
    MemoryFormDocument doc(pageSnapshot());
    doc.getElementsByName("Q1.R1").item(0).setValue("змінено");
    const json before = doc.toJson();
    for (const char* bad : {
             R"([])",
             R"({"elements": {}})",
             R"({"hasForm": "yes", "elements": []})",
             R"({"elements": [42]})",
             R"({"elements": [{"name": "x"}]})",
             R"({"elements": [{"tag": "input", "name": 5}]})",
             R"({"elements": [{"tag": "input", "name": "a", "checked": "true"}]})",
             R"({"elements": [{"tag": "select", "name": "a", "options": [{"value": 1}]}]})",
             R"({"elements": [{"tag": "select", "name": "a", "options": "x"}]})",
         }) {
        EXPECT_THROW(doc.update(json::parse(bad)), Error) << bad;
        EXPECT_EQ(doc.toJson(), before) << bad;
    }
    EXPECT_EQ(doc.changes().size(), 1u) << "a refused snapshot does not forget the changes";
}

TEST(MemoryFormDocument, BuiltByHand) {
    MemoryFormDocument doc;
    EXPECT_EQ(doc.addInput("A.B", "CheckBox", "1", true), 0);
    EXPECT_EQ(doc.addTextArea("A.C", "t"), 1);
    EXPECT_EQ(doc.addSelect("A.D", true, {{"u", false}, {"v", true}}), 2);
    EXPECT_EQ(doc.addOther("button", "A.E", "ok"), 3);
    EXPECT_EQ(doc.toJson(), json::parse(R"({"hasForm": true, "elements": [
        {"tag": "input", "type": "checkbox", "name": "A.B", "value": "1", "checked": true},
        {"tag": "textarea", "name": "A.C", "value": "t"},
        {"tag": "select", "name": "A.D", "multiple": true,
         "options": [{"value": "u", "selected": false}, {"value": "v", "selected": true}]},
        {"tag": "button", "name": "A.E", "value": "ok"}]})"));
    // Check boxes are independent of each other.
    doc.addInput("A.B", "checkbox", "2", false);
    doc.getElementsByName("A.B").item(1).setChecked(true);
    EXPECT_TRUE(doc.getElementsByName("A.B").item(0).checked());
}
