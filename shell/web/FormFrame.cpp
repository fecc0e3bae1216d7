#include "web/FormFrame.h"

#include <utility>

#include "ShellTexts.h"
#include "web/Scripts.h"

namespace vedris::web {

void FormFrame::run(nlohmann::json request, std::function<void(const nlohmann::json&)> done,
                    Fail fail) {
    static const std::string body = Script({"snapshot.js", "form-frame.js"});
    request["frameName"] = frameName_;
    if (adoptToken_ != 0 && request.value("token", 0L) == adoptToken_)
        request["document"] = adoptDocument_;
    browser_.call(body, "request", request.dump(),
                  [done = std::move(done), fail = std::move(fail)](const ScriptResult& result) {
                      if (!result.ok) {
                          fail(result.error);
                          return;
                      }
                      nlohmann::json reply = nlohmann::json::parse(result.value, nullptr, false);
                      if (!reply.is_object()) {
                          fail(texts::UnclearBrowserReply + result.value);
                          return;
                      }
                      if (reply.contains("error")) {
                          fail(reply["error"].is_string() ? reply["error"].get<std::string>()
                                                          : reply["error"].dump());
                          return;
                      }
                      done(reply);
                  });
}

void FormFrame::observe(const FrameEvent& event) {
    const bool frame = !event.top && !event.nested && event.frameName == frameName_;
    if (event.kind == FrameEvent::Kind::Navigated && (frame || event.top)) {
        reported_.reset();
        // The new document has had the start script: it goes, what it laid stays.
        dropStartScript();
    } else if (event.kind == FrameEvent::Kind::Complete && frame && event.form.is_object()) {
        reported_ = Report{event.document, event.form, event.filledBy};
    }
}

void FormFrame::capture(long token, std::function<void(const Capture&)> done, Fail fail) {
    adoptToken_ = 0;
    if (reported_) {
        adoptToken_ = token;
        adoptDocument_ = std::move(reported_->document);
        const Capture capture{std::move(reported_->form), true, reported_->filledBy};
        reported_.reset();
        done(capture);
        return;
    }
    run(
        {{"operation", "capture"}, {"token", token}},
        [done = std::move(done)](const nlohmann::json& reply) {
            done(Capture{reply.at("snapshot"), false, 0});
        },
        std::move(fail));
}

namespace {

// The changes of a MemoryFormDocument as the page writes them: each with the name of its
// element in snapshot, which the page checks before it writes.
nlohmann::json WritesOf(const nlohmann::json& changes, const nlohmann::json& snapshot) {
    nlohmann::json writes = nlohmann::json::array();
    const auto& elements = snapshot.at("elements");
    for (const auto& change : changes) {
        nlohmann::json w = change;
        auto i = change.at("i").get<std::size_t>();
        if (i < elements.size())
            w["name"] = elements[i].value("name", "");
        writes.push_back(std::move(w));
    }
    return writes;
}

} // namespace

bool FormFrame::stage(long id, const std::string& url, const nlohmann::json& form,
                      const nlohmann::json& changes) {
    const nlohmann::json staged = {{"id", id}, {"form", form}, {"writes", WritesOf(changes, form)}};
    const auto text = [](const nlohmann::json& j) {
        return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    };
    // Laid beside the frame's next document only, and only when it comes from url.
    browser_.setStartScript("var vedrisStaged = window !== window.top && window.parent === "
                            "window.top && window.name === " +
                            text(frameName_) + " && location.href === " + text(url) + " ? " +
                            text(staged) + " : undefined;");
    staged_ = true;
    return true;
}

void FormFrame::dropStartScript() {
    if (std::exchange(staged_, false))
        browser_.setStartScript({});
}

void FormFrame::unstage() {
    dropStartScript();
    // A document that has started with it but not loaded yet does not write it either; one
    // that has is overwritten by its binding.
    browser_.call("var f = window.frames[name]; if (f) f.vedrisStaged = undefined; return '';",
                  "name", frameName_, [](const ScriptResult&) {});
}

void FormFrame::apply(long token, const nlohmann::json& changes, const nlohmann::json& snapshot,
                      std::function<void(bool)> done, Fail fail) {
    nlohmann::json writes = WritesOf(changes, snapshot);
    // A reported document is bound by the first operation under its token: that one runs.
    if (writes.empty() && token != adoptToken_) {
        done(true);
        return;
    }
    run(
        {{"operation", "apply"}, {"token", token}, {"writes", writes}},
        [done = std::move(done)](const nlohmann::json& reply) {
            done(reply.value("applied", false));
        },
        std::move(fail));
}

namespace {

SubmitReply replyOf(const nlohmann::json& reply) {
    SubmitReply r;
    r.displayed = reply.value("displayed", false);
    r.verdict = reply.value("verdict", false);
    if (reply.contains("snapshot"))
        r.snapshot = reply["snapshot"];
    return r;
}

} // namespace

void FormFrame::submit(long token, std::function<void(const SubmitReply&)> done, Fail fail) {
    run(
        {{"operation", "submit"}, {"token", token}},
        [done = std::move(done)](const nlohmann::json& reply) { done(replyOf(reply)); },
        std::move(fail));
}

void FormFrame::read(long token, std::function<void(const SubmitReply&)> done, Fail fail) {
    run(
        {{"operation", "read"}, {"token", token}},
        [done = std::move(done)](const nlohmann::json& reply) { done(replyOf(reply)); },
        std::move(fail));
}

} // namespace vedris::web
