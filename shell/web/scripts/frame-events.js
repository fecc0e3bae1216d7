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
(function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.vedrisFrames;
  if (!handler) return;
  var documentId = Date.now() + '.' + Math.random();
  window.vedrisDocumentId = documentId;
  function post(kind, time, form) {
    try {
      var message = {kind: kind, url: String(location.href),
        top: window === window.top, nested: window.parent !== window.top,
        name: String(window.name), time: time || Date.now()};
      if (form) {
        message.form = form;
        message.document = documentId;
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
  // The load event's pageshow follows it at once, after the page's own load handlers: the
  // report goes then. The timer is there for a document that never gets one.
  var loadedAt = 0, reported = false;
  function complete(form) {
    if (reported) return;
    reported = true;
    post('complete', loadedAt, form);
  }
  window.addEventListener('load', function () {
    loadedAt = Date.now();
    setTimeout(function () { complete(null); }, 0);
  });
  window.addEventListener('pageshow', function (event) {
    if (event.persisted) { post('navigated'); post('complete'); }
    else if (loadedAt) complete(formOfPage());
  });
})();
