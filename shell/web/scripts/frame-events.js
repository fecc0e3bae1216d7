// Injected at the start of every document of every frame, in the bridge's world, after
// snapshot.js and the name of the frame that holds the assessment page (vedrisFormFrame).
// It reports the document's arrival and its load event; a document restored from the
// back/forward cache reports both again, since it neither starts nor loads anew. It also
// reports every change the candidate makes to a control ("edited"), from which drafts are
// taken; the page's own scripts cannot see or stop these listeners.
//
// The form frame's document sends its form with its load report, as the page's own load
// handlers left it, so the client need not ask for it; its id (vedrisDocumentId on its
// window) lets the bridge bind that very document and no later one.
//
// A binding the client worked out before the document arrived (vedrisStaged, laid beside it
// by a start script that runs after this one) is written on the controls right after that
// form is taken, when the form is exactly the one it was worked out for; the report names it
// (filledBy), so that the client knows what the page shows.
(function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.vedrisFrames;
  if (!handler) return;
  var documentId = Date.now() + '.' + Math.random();
  window.vedrisDocumentId = documentId;
  function post(kind, time, form, filledBy) {
    try {
      var message = {kind: kind, url: String(location.href),
        top: window === window.top, nested: window.parent !== window.top,
        name: String(window.name), time: time || Date.now()};
      if (form) {
        message.form = form;
        message.document = documentId;
        if (filledBy) message.filledBy = filledBy;
      }
      handler.postMessage(JSON.stringify(message));
    } catch (e) {}
  }
  function formOfPage() {
    if (window === window.top || window.parent !== window.top ||
        String(window.name) !== vedrisFormFrame)
      return null;
    try { return vedrisSnapshot.capture(document); } catch (e) { return null; }
  }
  post('navigated');
  function edited() { post('edited'); }
  document.addEventListener('input', edited, true);
  document.addEventListener('change', edited, true);
  // The load event's pageshow follows it at once: the report goes then, after the page's
  // own load and pageshow handlers, since the listener that sends it is added at the load
  // event. The timer is there for a document that never gets one.
  var loadedAt = 0, reported = false;
  function complete(form, filledBy) {
    if (reported) return;
    reported = true;
    post('complete', loadedAt, form, filledBy);
  }
  function fillStaged(form) {
    var staged = window.vedrisStaged;
    window.vedrisStaged = undefined;
    if (!form || !staged || !vedrisSnapshot.same(form, staged.form)) return 0;
    try {
      vedrisSnapshot.write(document, staged.writes);
    } catch (e) {
      return -1;
    }
    return staged.id;
  }
  window.addEventListener('load', function () {
    loadedAt = Date.now();
    window.addEventListener('pageshow', function (event) {
      if (event.persisted) return;
      var form = formOfPage();
      complete(form, fillStaged(form));
    });
    setTimeout(function () { complete(null); }, 0);
  });
  window.addEventListener('pageshow', function (event) {
    if (event.persisted) { post('navigated'); post('complete'); }
  });
})();
