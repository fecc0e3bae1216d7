#pragma once
// The binders' round trip over any layout of controls they accept for the responses of one
// item: several lists (single or multiple choice), several check boxes or radio buttons
// under one name, several text fields and areas. Saving a page, then loading what it stored
// into a fresh page of the same layout and saving that without a change, stores the same.
// Shared by the fuzz target and the property test.
#include <functional>
#include <string>
#include <vector>

#include "QTIDomain/uStorageManager.h"
#include "platform/html/MemoryFormDocument.h"
#include "platform/xml/XmlDocument.h"

namespace vedris::roundtrip {

// One item with a list (L), choices (R), one-line fields (T) and areas (A).
inline constexpr const char* AssessmentXml =
    "<questestinterop><assessment ident=\"A\"><section ident=\"S\"><item ident=\"Q1\">"
    "<presentation><flow><response_str ident=\"L\"><render_choice/></response_str>"
    "<response_lid ident=\"R\"><render_choice/></response_lid>"
    "<response_str ident=\"T\"><render_fib rows=\"1\"/></response_str>"
    "<response_str ident=\"A\"><render_fib rows=\"4\"/></response_str>"
    "</flow></presentation></item></section></assessment></questestinterop>";

enum class Kind { List, MultipleList, Box, Text, Area };

struct Control {
    Kind kind = Kind::Text;
    std::vector<std::string> values; // options; the value of a box; the text of a field
    std::vector<bool> on;            // chosen options; a checked box
};

struct Layout {
    bool radios = false; // the boxes are radio buttons (one group), else check boxes
    std::vector<Control> controls;
};

// draw(n) gives a number below n.
inline Layout MakeLayout(const std::function<unsigned(unsigned)>& draw) {
    static const char* const Values[] = {"a", "b", "c", ""};
    Layout layout;
    layout.radios = draw(2) == 1;
    bool radioChecked = false;
    layout.controls.resize(1 + draw(8));
    for (Control& c : layout.controls) {
        c.kind = static_cast<Kind>(draw(5));
        const bool list = c.kind == Kind::List || c.kind == Kind::MultipleList;
        const unsigned n = list ? 1 + draw(4) : 1;
        // An empty option or box value is left out: loading checks it for the empty
        // placeholder of an unanswered response, which is meant.
        const unsigned pool = list || c.kind == Kind::Box ? 3 : 4;
        bool chosen = false;
        for (unsigned i = 0; i < n; ++i) {
            c.values.push_back(Values[draw(pool)]);
            bool on = draw(2) == 1;
            // A single-choice list, and a group of radio buttons, hold one choice at most.
            if ((c.kind == Kind::List && chosen) ||
                (c.kind == Kind::Box && layout.radios && radioChecked))
                on = false;
            chosen = chosen || on;
            radioChecked = radioChecked || (c.kind == Kind::Box && on);
            c.on.push_back(on);
        }
    }
    return layout;
}

// The page of the layout, as the candidate left it (answered) or as it loads (blank).
inline void BuildPage(html::MemoryFormDocument& form, const Layout& layout, bool answered) {
    for (const Control& c : layout.controls) {
        switch (c.kind) {
        case Kind::List:
        case Kind::MultipleList: {
            std::vector<html::OptionState> options;
            for (std::size_t i = 0; i < c.values.size(); ++i)
                options.push_back({c.values[i], answered && c.on[i]});
            form.addSelect("Q1.L", c.kind == Kind::MultipleList, options);
            break;
        }
        case Kind::Box:
            form.addInput("Q1.R", layout.radios ? "radio" : "checkbox", c.values[0],
                          answered && c.on[0]);
            break;
        case Kind::Text:
            form.addInput("Q1.T", "text", answered ? c.values[0] : "");
            break;
        case Kind::Area:
            form.addTextArea("Q1.A", answered ? c.values[0] : "");
            break;
        }
    }
}

// Every stored value of the results file, as "response:status:text|...".
inline std::string StoredValues(const std::string& results) {
    std::string out;
    const xml::Document doc = xml::Document::load(results);
    for (xml::Node v : doc.selectAll("//response/response_value"))
        out += v.parent().attribute("ident_ref") + ":" + v.attribute("response_status") + ":" +
               v.text() + "|";
    return out;
}

// Empty when the round trip holds; else what was stored first and then.
inline std::string RoundTrip(const std::string& assessment, const std::string& results,
                             const Layout& layout) {
    auto save = [&](bool load) {
        html::MemoryFormDocument form;
        BuildPage(form, layout, !load);
        TStorageManager manager(assessment, results, &form);
        if (load)
            manager.LoadResponses();
        manager.SubmitResponses();
        return StoredValues(results);
    };
    const std::string first = save(false);
    const std::string again = save(true);
    return first == again ? std::string() : first + " became " + again;
}

} // namespace vedris::roundtrip
