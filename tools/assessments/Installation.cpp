#include "Installation.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "HtmlScan.h"
#include "Messages.h"
#include "PageMaker.h"
#include "QTIDomain/uStorageManager.h"
#include "QtiChecks.h"
#include "Resources.h"
#include "platform/fs/AtomicFile.h"
#include "session/AssessmentList.h"
#include "settings/uRegistry.h"

namespace vedris::assessments {

namespace stdfs = std::filesystem;

namespace {

const char* const StylesheetName = "ims_qtiasi2res.xslt";
const char* const StyleName = "anketa.css";

bool isFile(const std::string& path) {
    std::error_code ec;
    return stdfs::is_regular_file(path, ec);
}

struct Control {
    std::string name, tag, type;
    int line = 0;
    // A list the browser shows as a drop-down: one choice, one row. It always has an option
    // selected, so the client would store its first option as an answer nobody gave.
    bool dropDown = false;
    bool inForm = false;
};

struct PageScan {
    int forms = 0;
    std::vector<Control> named; // every element with a name, as getElementsByName sees them
    std::vector<int> frames;    // lines of the frames inside the page
};

PageScan scanPage(const std::string& html) {
    PageScan scan;
    int openForms = 0;
    ScanHtml(html, [&](const HtmlTag& tag) {
        if (tag.name == "form" && tag.end && openForms > 0)
            --openForms;
        if (tag.end)
            return;
        if (tag.name == "form") {
            ++scan.forms;
            ++openForms;
        }
        if (tag.name == "iframe" || tag.name == "frame")
            scan.frames.push_back(tag.line);
        if (const std::string* name = tag.attribute("name")) {
            const std::string* type = tag.attribute("type");
            std::string t = type ? asciiLower(*type) : std::string();
            const std::string* size = tag.attribute("size");
            bool dropDown = tag.name == "select" && !tag.attribute("multiple") &&
                            (!size || std::atoi(size->c_str()) <= 1);
            scan.named.push_back({*name, tag.name, t, tag.line, dropDown, openForms > 0});
        }
    });
    return scan;
}

bool fitsKind(const Control& c, TBinderKind kind) {
    static const std::set<std::string> notText = {"radio",  "checkbox", "submit", "reset",
                                                  "button", "image",    "file"};
    switch (kind) {
    case TBinderKind::InputText:
        return c.tag == "input" && !notText.count(c.type);
    case TBinderKind::TextArea:
        return c.tag == "textarea";
    case TBinderKind::RadioCheck:
        return c.tag == "input" && (c.type == "radio" || c.type == "checkbox");
    case TBinderKind::Select:
        return c.tag == "select";
    case TBinderKind::None:
        return false;
    }
    return false;
}

std::string describe(TBinderKind kind) {
    switch (kind) {
    case TBinderKind::InputText:
        return msg::KindInputText;
    case TBinderKind::TextArea:
        return msg::KindTextArea;
    case TBinderKind::RadioCheck:
        return msg::KindRadioCheck;
    case TBinderKind::Select:
        return msg::KindSelect;
    case TBinderKind::None:
        break;
    }
    return {};
}

std::string describe(const Control& c) {
    for (TBinderKind k : {TBinderKind::RadioCheck, TBinderKind::InputText, TBinderKind::TextArea,
                          TBinderKind::Select})
        if (fitsKind(c, k))
            return describe(k);
    return text::format(msg::KindOther, {c.type.empty() ? c.tag : c.tag + " type=" + c.type});
}

struct Response {
    std::string item, ident;
    TBinderKind kind;
    int line;
};

// Where each control name of the installation's assessments comes from, for names that two
// assessments share: a submission on one page rewrites the responses of that name in every
// result, so the other assessment's answers would be lost.
using ControlOwners = std::map<std::string, std::string>;

void warnMisdeclared(const std::string& path, Report& report) {
    std::string encoding = MisdeclaredEncoding(fs::readFile(path), path);
    if (!encoding.empty())
        report.warnings.push_back(encoding);
}

// What the file alone tells: idents that mix answers, a declaration the bytes belie.
void checkQtiFile(const xml::Document& doc, const std::string& path, Report& report) {
    for (const Finding& f : IdentityProblems(doc, path))
        report.problems.push_back(f.text);
    warnMisdeclared(path, report);
}

void checkAssessment(const std::string& name, const std::string& assessmentsDir,
                     const std::string& stylesheet, ControlOwners& owners, Report& report) {
    auto problem = [&](const std::string& text) { report.problems.push_back(text); };
    std::string xmlPath = FileInFolderIgnoringCase(assessmentsDir, name + ".xml");
    std::string pagePath = FileInFolderIgnoringCase(assessmentsDir, name + ".html");
    if (!isFile(pagePath) && isFile(FileInFolderIgnoringCase(assessmentsDir, name + ".htm")))
        pagePath = FileInFolderIgnoringCase(assessmentsDir, name + ".htm");
    // The page first: its form matters even when the assessment file is missing.
    bool hasPage = isFile(pagePath);
    PageScan page;
    if (!hasPage) {
        problem(text::format(msg::NoPage, {assessmentsDir, name}));
    } else {
        try {
            page = scanPage(fs::readFile(pagePath));
        } catch (const std::exception& e) {
            problem(text::format(msg::ReadFailed, {pagePath, e.what()}));
            hasPage = false;
        }
        if (hasPage && page.forms != 1)
            problem(text::format(msg::FormCount, {pagePath, std::to_string(page.forms)}));
    }
    if (!isFile(xmlPath)) {
        problem(text::format(msg::NoQtiFile, {assessmentsDir, name}));
        return;
    }

    std::vector<Response> responses;
    try {
        xml::Document doc = LoadAssessmentDocument(xmlPath);
        std::string ident = AssessmentIdentOf(doc, xmlPath);
        checkQtiFile(doc, xmlPath, report);
        for (xml::Node item : doc.selectAll("//item"))
            for (xml::Node r :
                 item.selectAll(".//response_lid | .//response_str | .//response_num"))
                responses.push_back(
                    {item.attribute("ident"), r.attribute("ident"), BinderKindOf(r), r.line()});
        if (isFile(stylesheet)) {
            try {
                TDerivedResult derived = DeriveResultFrom(doc, ident, stylesheet, xmlPath);
                for (const Response& r : responses)
                    if (!derived.Result.matches(xml::formatXPath(
                            ".//item_result[@ident_ref = \"%s\"]/response[@ident_ref = \"%s\"]",
                            {r.item, r.ident})))
                        problem(text::format(msg::ResultLacksResponse,
                                            {xmlPath, std::to_string(r.line), r.item, r.ident}));
                if (!derived.Result.matches("context/date/datetime"))
                    problem(text::format(msg::ResultLacksDateTime, {xmlPath}));
            } catch (const std::exception& e) {
                problem(text::format(msg::DerivationFailed, {xmlPath, e.what()}));
            }
        }
    } catch (const std::exception& e) {
        problem(e.what());
        return;
    }
    if (!hasPage)
        return;
    std::set<std::string> names;
    for (const Response& r : responses) {
        std::string control = r.item + "." + r.ident;
        if (!names.insert(control).second)
            continue;
        auto [owner, first] = owners.emplace(control, xmlPath);
        if (!first)
            problem(text::format(msg::SharedControlName,
                                {xmlPath, std::to_string(r.line), control, owner->second}));
        bool any = false;
        for (const Control& c : page.named) {
            if (c.name != control)
                continue;
            any = true;
            if (r.kind == TBinderKind::None)
                problem(text::format(msg::UnboundControl,
                                    {pagePath, std::to_string(c.line), control, xmlPath}));
            else if (!fitsKind(c, r.kind))
                problem(text::format(msg::WrongControl, {pagePath, std::to_string(c.line), control,
                                                        describe(c), describe(r.kind)}));
            else if (c.dropDown)
                problem(
                    text::format(msg::DropDownList, {pagePath, std::to_string(c.line), control}));
        }
        if (!any && r.kind != TBinderKind::None)
            problem(
                text::format(msg::NoControls, {pagePath, control, std::to_string(r.line), xmlPath}));
    }
    for (const Control& c : page.named) {
        bool formControl = c.tag == "input" || c.tag == "select" || c.tag == "textarea";
        size_t dot = c.name.find('.');
        bool answerName = dot != std::string::npos && dot > 0 && dot + 1 < c.name.size();
        if (formControl && answerName && !names.count(c.name))
            problem(text::format(msg::StrayControl,
                                {pagePath, std::to_string(c.line), c.name, xmlPath}));
        if (formControl && !c.inForm)
            report.warnings.push_back(
                text::format(msg::ControlOutsideForm, {pagePath, std::to_string(c.line), c.name}));
    }
    for (int line : page.frames)
        report.warnings.push_back(text::format(msg::FrameInPage, {pagePath, std::to_string(line)}));
}

std::string indexPage(const std::vector<std::pair<std::string, std::string>>& menu) {
    std::string links;
    for (const auto& [name, title] : menu)
        links += FillTemplate(IndexLinkTemplate(),
                              {{"page", EscapeHtml(name) + ".html"}, {"label", EscapeHtml(title)}});
    std::string first = menu.empty() ? std::string("about:blank") : menu.front().first + ".html";
    return FillTemplate(IndexPageTemplate(), {{"title", EscapeHtml(msg::IndexTitle)},
                                              {"style", IndexStyle()},
                                              {"heading", EscapeHtml(msg::MenuHeading)},
                                              {"links", links},
                                              {"hint", EscapeHtml(msg::MenuHint)},
                                              {"first", EscapeHtml(first)},
                                              {"frame_title", EscapeHtml(msg::FrameTitle)}});
}

} // namespace

std::vector<std::string> AssessmentNames(const std::vector<std::string>& files) {
    std::set<std::string> taken = {"index"};
    std::vector<std::string> names;
    for (const std::string& file : files) {
        std::string stem = LowerCase(stdfs::path(file).stem().string());
        std::string name;
        for (char c : stem) {
            bool safe = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
            if (safe)
                name += c;
            else if (!name.empty() && name.back() != '_')
                name += '_';
        }
        while (!name.empty() && name.back() == '_')
            name.pop_back();
        if (name.empty())
            name = "anketa";
        std::string unique = name;
        for (int n = 2; taken.count(unique); ++n)
            unique = name + "_" + std::to_string(n);
        taken.insert(unique);
        names.push_back(unique);
    }
    return names;
}

Report MakeFolder(const std::string& folder, const std::vector<std::string>& files) {
    Report report;
    const stdfs::path out(folder);
    const stdfs::path target = out / "Assessments";
    for (const stdfs::path& existing : {out / "vedris.ini", target}) {
        std::error_code ec;
        if (stdfs::exists(existing, ec)) {
            report.problems.push_back(text::format(msg::FolderExists, {folder, existing.string()}));
            return report;
        }
    }

    // Everything is read and made first, so a file that cannot be read leaves no half-made
    // installation behind.
    std::vector<std::string> names = AssessmentNames(files);
    std::map<std::string, std::string> writes; // path in Assessments/ -> content
    std::map<std::string, std::string> images; // the same, never in place of another file
    std::vector<std::pair<std::string, std::string>> menu;
    for (size_t i = 0; i < files.size(); ++i) {
        try {
            std::string bytes = fs::readFile(files[i]);
            xml::Document doc = LoadAssessmentDocument(files[i]);
            AssessmentIdentOf(doc, files[i]);
            // The page's problems are the check's as well: the check of the made folder
            // reports them once, naming the installation's copy.
            Page page = MakePage(doc, files[i]);
            report.warnings.insert(report.warnings.end(), page.warnings.begin(),
                                   page.warnings.end());
            writes[names[i] + ".xml"] = bytes;
            writes[names[i] + ".html"] = page.html;
            menu.emplace_back(names[i], AssessmentTitle(doc, names[i]));
            for (const PageImage& image : page.images) {
                std::string relative = image.address.substr(0, image.address.find_first_of("?#"));
                stdfs::path source = stdfs::path(files[i]).parent_path() / relative;
                std::string line = std::to_string(image.line);
                if (!isFile(source.string())) {
                    report.warnings.push_back(
                        text::format(msg::WarnImageMissing, {files[i], line, image.address}));
                    continue;
                }
                std::string content = fs::readFile(source.string());
                auto [it, added] =
                    images.emplace(stdfs::path(relative).lexically_normal().string(), content);
                if (!added && it->second != content)
                    report.warnings.push_back(
                        text::format(msg::WarnImageClash, {files[i], line, image.address}));
            }
        } catch (const std::exception& e) {
            report.problems.push_back(e.what());
        }
    }
    if (!report.problems.empty())
        return report;
    writes[StylesheetName] = ResultStylesheet();
    writes[StyleName] = SharedStyle();
    writes["index.html"] = indexPage(menu);
    writes.merge(images);

    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    try {
        for (const auto& [relative, content] : writes) {
            stdfs::path path = target / relative;
            stdfs::create_directories(path.parent_path());
            fs::writeFileAtomically(path.string(), content);
        }
        fs::writeFileAtomically((out / "vedris.ini").string(),
                                "; Анкети, зроблені vedris-assessments.\n[General]\n"
                                "ClientAssessments=" +
                                    list + "\n");
    } catch (const std::exception& e) {
        report.problems.push_back(text::format(msg::WriteFailed, {folder, e.what()}));
        return report;
    }
    Report check = CheckFolder(folder);
    report.problems.insert(report.problems.end(), check.problems.begin(), check.problems.end());
    report.warnings.insert(report.warnings.end(), check.warnings.begin(), check.warnings.end());
    return report;
}

Report CheckFile(const std::string& file) {
    Report report;
    try {
        xml::Document doc = LoadAssessmentDocument(file);
        Page page = MakePage(doc, file);
        report.warnings = page.warnings;
        report.problems = page.problems;
        warnMisdeclared(file, report);
    } catch (const std::exception& e) {
        report.problems.push_back(e.what());
    }
    return report;
}

Report CheckFolder(const std::string& folder, int* assessmentsChecked) {
    Report report;
    auto problem = [&](const std::string& text) { report.problems.push_back(text); };
    const std::string ini = (stdfs::path(folder) / "vedris.ini").string();
    if (!isFile(ini)) {
        problem(text::format(msg::NoSettingsFile, {ini}));
        return report;
    }
    std::string assessmentsDir, transformationsDir, list;
    try {
        TClientRegistry settings(ini);
        assessmentsDir = settings.GetAssessmentsDir();
        transformationsDir = settings.GetValue("TransformationsDir");
        list = settings.GetClientAssessments();
    } catch (const std::exception& e) {
        problem(text::format(msg::SettingsError, {ini, e.what()}));
        return report;
    }

    const std::string index = assessmentsDir + "index.html";
    if (!isFile(index)) {
        problem(text::format(msg::NoIndex, {index}));
    } else {
        bool frame = false;
        try {
            ScanHtml(fs::readFile(index), [&](const HtmlTag& tag) {
                const std::string* name = tag.attribute("name");
                if (!tag.end && (tag.name == "iframe" || tag.name == "frame") && name &&
                    *name == "form_frame")
                    frame = true;
            });
        } catch (const std::exception& e) {
            problem(text::format(msg::ReadFailed, {index, e.what()}));
            frame = true;
        }
        if (!frame)
            problem(text::format(msg::NoFormFrame, {index}));
    }
    const std::string stylesheet = transformationsDir + StylesheetName;
    if (!isFile(stylesheet))
        problem(text::format(msg::NoStylesheet, {transformationsDir}));

    std::vector<std::string> names = ParseAssessmentList(list);
    if (names.empty())
        problem(text::format(msg::NoAssessmentsListed, {ini}));
    int checked = 0;
    std::set<std::string> seen;
    ControlOwners owners;
    for (const std::string& name : names) {
        if (name.empty()) {
            problem(text::format(msg::EmptyAssessmentName, {ini}));
            continue;
        }
        if (!seen.insert(name).second)
            continue;
        ++checked;
        checkAssessment(name, assessmentsDir, stylesheet, owners, report);
    }
    if (assessmentsChecked)
        *assessmentsChecked = checked;
    return report;
}

} // namespace vedris::assessments
