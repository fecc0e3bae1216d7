// Injected at the start of every document of every frame, in the bridge's world. It
// reports the document's arrival and its load event; a document restored from the
// back/forward cache reports both again, since it neither starts nor loads anew. It also
// reports every change the candidate makes to a control ("edited"), from which drafts are
// taken; the page's own scripts cannot see or stop these listeners.
(function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.vedrisFrames;
  if (!handler) return;
  function post(kind) {
    try {
      handler.postMessage(JSON.stringify({kind: kind, url: String(location.href),
        top: window === window.top, nested: window.parent !== window.top,
        name: String(window.name), time: Date.now()}));
    } catch (e) {}
  }
  post('navigated');
  function edited() { post('edited'); }
  document.addEventListener('input', edited, true);
  document.addEventListener('change', edited, true);
  window.addEventListener('load', function () { post('complete'); });
  window.addEventListener('pageshow', function (event) {
    if (event.persisted) { post('navigated'); post('complete'); }
  });
})();
