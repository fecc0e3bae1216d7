// Injected at the start of every document of every frame, in the bridge's world. It
// reports the document's arrival and its load event; a document restored from the
// back/forward cache reports both again, since it neither starts nor loads anew.
(function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.vedrisFrames;
  if (!handler) return;
  function post(kind) {
    try {
      handler.postMessage(JSON.stringify({kind: kind, url: String(location.href),
        top: window === window.top, name: String(window.name), time: Date.now()}));
    } catch (e) {}
  }
  post('navigated');
  window.addEventListener('load', function () { post('complete'); });
  window.addEventListener('pageshow', function (event) {
    if (event.persisted) { post('navigated'); post('complete'); }
  });
})();
