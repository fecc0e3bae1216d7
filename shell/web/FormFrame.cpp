#include "web/FormFrame.h"

#include <utility>

namespace vedris::web {

namespace {

// Shared by the three scripts: finding the frame, the bound-document check and the capture
// of the named controls. Every script returns JSON text and reports its own failures as
// {"error": ...}, so that the message reaching the user is ours and not the engine's
// "JavaScript exception" wrapping.
constexpr const char* Prelude = R"JS(
function vedrisFrameDocument(frameName) {
  var frame = window.frames[frameName];
  if (!frame)
    throw new Error('На сторінці немає фрейму "' + frameName + '" з анкетою');
  return frame.document;
}
function vedrisBoundDocument(frameName, token) {
  var bound = window.vedrisBound;
  var frame = window.frames[frameName];
  if (!bound || bound.token !== token || !frame) return null;
  var doc = null;
  try { doc = frame.document; } catch (e) { return null; }
  return doc === bound.doc ? doc : null;
}
function vedrisCapture(doc) {
  var list = doc.querySelectorAll('[name]');
  var elements = [];
  for (var i = 0; i < list.length; i++) {
    var e = list[i];
    var tag = String(e.localName).toLowerCase();
    var item = {tag: tag, name: String(e.getAttribute('name'))};
    if (tag === 'input') {
      item.type = String(e.type || 'text').toLowerCase();
      item.value = String(e.value);
      item.checked = !!e.checked;
    } else if (tag === 'textarea') {
      item.value = String(e.value);
    } else if (tag === 'select') {
      item.multiple = !!e.multiple;
      item.options = [];
      for (var j = 0; j < e.options.length; j++)
        item.options.push({value: String(e.options[j].value), selected: !!e.options[j].selected});
    } else {
      item.value = typeof e.value === 'string' ? e.value : String(e.getAttribute('value') || '');
    }
    elements.push(item);
  }
  return {hasForm: doc.forms.length > 0, elements: elements};
}
)JS";

std::string call(const char* body, const std::string& args) {
    return std::string("(function () {\n") + Prelude + "\ntry { return (" + body + ")(" + args +
           "); } catch (e) { return JSON.stringify({error: String(e && e.message || e)}); }\n"
           "})()";
}

std::string quoted(const std::string& text) {
    return nlohmann::json(text).dump();
}

} // namespace

std::string FormFrame::captureScript(const std::string& frameName, long token) {
    return call(R"JS(function (frameName, token) {
  var doc = vedrisFrameDocument(frameName);
  window.vedrisBound = {doc: doc, token: token};
  return JSON.stringify({snapshot: vedrisCapture(doc)});
})JS",
                quoted(frameName) + ", " + std::to_string(token));
}

std::string FormFrame::applyScript(const std::string& frameName, long token,
                                   const nlohmann::json& writes) {
    return call(R"JS(function (frameName, token, writes) {
  var doc = vedrisBoundDocument(frameName, token);
  if (!doc) return JSON.stringify({applied: false});
  var list = doc.querySelectorAll('[name]');
  for (var k = 0; k < writes.length; k++) {
    var w = writes[k];
    var e = list[w.i];
    if (!e || e.getAttribute('name') !== w.name) continue;
    if ('value' in w) e.value = w.value;
    if ('checked' in w) e.checked = w.checked;
    if ('selected' in w && e.options) {
      var any = false;
      for (var j = 0; j < w.selected.length && j < e.options.length; j++) {
        e.options[j].selected = w.selected[j];
        any = any || w.selected[j];
      }
      // Deselecting every option of a drop-down list makes the browser select the first
      // one again; a stored answer that matches no option shows as no selection.
      if (!any) e.selectedIndex = -1;
    }
  }
  return JSON.stringify({applied: true});
})JS",
                quoted(frameName) + ", " + std::to_string(token) + ", " + writes.dump());
}

std::string FormFrame::submitScript(const std::string& frameName, long token) {
    return call(R"JS(function (frameName, token) {
  var doc = vedrisBoundDocument(frameName, token);
  if (!doc) return JSON.stringify({displayed: false});
  var form = doc.forms[0];
  var verdict = true;
  if (form)
    verdict = form.dispatchEvent(new Event('submit', {bubbles: true, cancelable: true}));
  return JSON.stringify({displayed: true, verdict: verdict, snapshot: vedrisCapture(doc)});
})JS",
                quoted(frameName) + ", " + std::to_string(token));
}

void FormFrame::run(const std::string& script, std::function<void(const nlohmann::json&)> done,
                    std::function<void(const std::string&)> fail) {
    browser_.evaluate(
        script, [done = std::move(done), fail = std::move(fail)](const ScriptResult& result) {
            if (!result.ok) {
                fail(result.error);
                return;
            }
            nlohmann::json reply = nlohmann::json::parse(result.value, nullptr, false);
            if (!reply.is_object()) {
                fail("Браузер повернув незрозумілу відповідь: " + result.value);
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

void FormFrame::capture(long token, std::function<void(const nlohmann::json&)> done,
                        std::function<void(const std::string&)> fail) {
    run(
        captureScript(frameName_, token),
        [done = std::move(done)](const nlohmann::json& reply) { done(reply.at("snapshot")); },
        std::move(fail));
}

void FormFrame::apply(long token, const nlohmann::json& changes, const nlohmann::json& snapshot,
                      std::function<void(bool)> done,
                      std::function<void(const std::string&)> fail) {
    nlohmann::json writes = nlohmann::json::array();
    const auto& elements = snapshot.at("elements");
    for (const auto& change : changes) {
        nlohmann::json w = change;
        auto i = change.at("i").get<std::size_t>();
        if (i < elements.size())
            w["name"] = elements[i].value("name", "");
        writes.push_back(std::move(w));
    }
    if (writes.empty()) {
        done(true);
        return;
    }
    run(
        applyScript(frameName_, token, writes),
        [done = std::move(done)](const nlohmann::json& reply) {
            done(reply.value("applied", false));
        },
        std::move(fail));
}

void FormFrame::submit(long token, std::function<void(const SubmitReply&)> done,
                       std::function<void(const std::string&)> fail) {
    run(
        submitScript(frameName_, token),
        [done = std::move(done)](const nlohmann::json& reply) {
            SubmitReply r;
            r.displayed = reply.value("displayed", false);
            r.verdict = reply.value("verdict", false);
            if (reply.contains("snapshot"))
                r.snapshot = reply["snapshot"];
            done(r);
        },
        std::move(fail));
}

} // namespace vedris::web
