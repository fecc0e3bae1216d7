// Runs in every frame of the page's own world, since that is where the page calls print();
// vedrisSnapshot (snapshot.js) comes before this text. The top page keeps WebKit's
// print(), which raises the view's "print" signal. A frame sends its address and the
// snapshot of its controls instead.
(function () {
  if (window === window.top) return;
  var handler = window.webkit.messageHandlers.vedrisPrintFrame;
  window.print = function () {
    handler.postMessage(JSON.stringify({url: location.href,
      snapshot: vedrisSnapshot.capture(document)}));
  };
})();
