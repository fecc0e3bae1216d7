// The binding's work on the form frame, run in the bridge's world of the top document as
// the body of a function of `request` (JSON text: {operation, frameName, token, writes}).
// It returns JSON text and reports its own failures as {"error": ...}, so that the message
// reaching the user is ours and not the engine's "JavaScript exception" wrapping.
// vedrisSnapshot (snapshot.js) comes before this text.
var r = JSON.parse(request);

function frameDocument() {
  var frame = window.frames[r.frameName];
  if (!frame)
    throw new Error('На сторінці немає фрейму "' + r.frameName + '" з анкетою');
  return frame.document;
}

// The frame's document when it is still the one bound under the token, else null. A
// request that names a document (r.document, the id it sent with its load report) binds
// it first, when the frame still shows it and nothing newer is bound.
function boundDocument() {
  var bound = window.vedrisBound;
  var frame = window.frames[r.frameName];
  if (!frame) return null;
  var doc = null;
  try { doc = frame.document; } catch (e) { return null; }
  if (r.document !== undefined && (!bound || bound.token < r.token) &&
      frame.vedrisDocumentId === r.document)
    window.vedrisBound = bound = {doc: doc, token: r.token};
  if (!bound || bound.token !== r.token) return null;
  return doc === bound.doc ? doc : null;
}

var operations = {
  capture: function () {
    var doc = frameDocument();
    window.vedrisBound = {doc: doc, token: r.token};
    return {snapshot: vedrisSnapshot.capture(doc)};
  },
  apply: function () {
    var doc = boundDocument();
    if (!doc) return {applied: false};
    vedrisSnapshot.write(doc, r.writes);
    return {applied: true};
  },
  submit: function () {
    var doc = boundDocument();
    if (!doc) return {displayed: false};
    var form = doc.forms[0];
    var verdict = true;
    if (form)
      verdict = form.dispatchEvent(new Event('submit', {bubbles: true, cancelable: true}));
    var reply = {displayed: true, verdict: verdict, snapshot: vedrisSnapshot.capture(doc)};
    // A navigation the handlers started (location.href, form.submit()) may reach the
    // browser only on the page's next timer turns; answering after them lets the session
    // decide it with this submission's verdict instead of submitting the page again for it.
    return new Promise(function (resolve) {
      setTimeout(function () { setTimeout(function () { resolve(reply); }, 0); }, 0);
    });
  },
  read: function () {
    var doc = boundDocument();
    if (!doc) return {displayed: false};
    return {displayed: true, verdict: true, snapshot: vedrisSnapshot.capture(doc)};
  }
};

function failure(e) { return JSON.stringify({error: String(e && e.message || e)}); }
try {
  return Promise.resolve(operations[r.operation]()).then(JSON.stringify, failure);
} catch (e) {
  return failure(e);
}
