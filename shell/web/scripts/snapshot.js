// The one snapshot format of a page's form: every element with a name attribute, in
// document order, as {tag, name, ...state}. The binding reads and writes it, submitting
// returns it, and printing a frame carries it to the copy that is printed.
// Writes name their element by index and carry its name as a guard: an element that is not
// the one captured is left alone.
var vedrisSnapshot = {
  elements: function (doc) {
    return doc.querySelectorAll('[name]');
  },

  capture: function (doc) {
    var list = this.elements(doc);
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
  },

  // Whether two snapshots (or parts of them) hold the same, whatever the order of members.
  same: function (a, b) {
    if (a === b) return true;
    if (!a || !b || typeof a !== 'object' || typeof b !== 'object' ||
        Array.isArray(a) !== Array.isArray(b))
      return false;
    var keys = Object.keys(a);
    if (keys.length !== Object.keys(b).length) return false;
    for (var k = 0; k < keys.length; k++)
      if (!Object.prototype.hasOwnProperty.call(b, keys[k]) || !this.same(a[keys[k]], b[keys[k]]))
        return false;
    return true;
  },

  // writes: [{i, name, value?, checked?, selected?}]
  write: function (doc, writes) {
    var list = this.elements(doc);
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
  },

  // The writes that put a whole snapshot back on the controls of the same page. A file
  // field cannot be given a value, and elements that are not controls keep theirs.
  writesFor: function (snapshot) {
    var writes = [];
    for (var i = 0; i < snapshot.elements.length; i++) {
      var e = snapshot.elements[i];
      var w = {i: i, name: e.name};
      if (e.tag === 'input') {
        if (e.type === 'checkbox' || e.type === 'radio') w.checked = e.checked;
        else if (e.type !== 'file') w.value = e.value;
      } else if (e.tag === 'textarea') {
        w.value = e.value;
      } else if (e.tag === 'select') {
        w.selected = e.options.map(function (o) { return o.selected; });
      } else {
        continue;
      }
      writes.push(w);
    }
    return writes;
  }
};
