// Puts the snapshot a frame sent with its print request back on the controls of the
// reloaded page: the body of a function of `snapshot` (JSON text), run in the hidden view;
// vedrisSnapshot (snapshot.js) comes before this text.
var s = JSON.parse(snapshot);
vedrisSnapshot.write(document, vedrisSnapshot.writesFor(s));
