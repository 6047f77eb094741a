// The page's account of the edit, beside the window: the active control points as a table, the
// status messages and the key pad's toggles and selected point. Everything shown is read from the
// program's narrator (web/narration.cpp), and only after a frame in which it reported a change, so
// a frame where nothing changed never touches the page.
var LibraryVellorinNarration = {
  $VN: {
    decoder: null,
    rows: 0,
    cols: 0,
    cells: [],       // [row][col] -> the table cell
    texts: [],       // [row][col] -> the text it shows
    toggles: -1,     // the key pad's toggles last shown, as the narrator counts them
    selected: -2,    // the point marked last (-1: none)

    // The narrator's strings are single-byte Windows-1252 text, as the program's.
    text: function(ptr) {
      if (!VN.decoder) VN.decoder = new TextDecoder('windows-1252');
      var end = ptr;
      while (HEAPU8[end]) ++end;
      return VN.decoder.decode(HEAPU8.subarray(ptr, end));
    },

    // A fresh table for a grid of this size: caption, column headers, a row header per row.
    build: function(table, rows, cols) {
      table.textContent = '';
      table.createCaption().textContent = VN.text(_vellorinNarrationCaption());
      var head = table.createTHead().insertRow();
      head.appendChild(document.createElement('td'));
      for (var j = 0; j < cols; ++j) {
        var th = document.createElement('th');
        th.scope = 'col';
        th.textContent = VN.text(_vellorinNarrationColumnHeader(j));
        head.appendChild(th);
      }
      var body = table.createTBody();
      VN.cells = [];
      VN.texts = [];
      for (var i = 0; i < rows; ++i) {
        var tr = body.insertRow();
        var rh = document.createElement('th');
        rh.scope = 'row';
        rh.textContent = VN.text(_vellorinNarrationRowHeader(i));
        tr.appendChild(rh);
        VN.cells.push([]);
        VN.texts.push([]);
        for (var j2 = 0; j2 < cols; ++j2) {
          VN.cells[i].push(tr.insertCell());
          VN.texts[i].push(null);
        }
      }
      VN.rows = rows;
      VN.cols = cols;
      VN.selected = -2;
      table.hidden = false;
    },

    // The table, the toggles and the selection, each written only where it differs.
    view: function() {
      var rows = _vellorinNarrationRows(), cols = _vellorinNarrationCols();
      if (rows !== VN.rows || cols !== VN.cols) VN.build(document.getElementById('points'), rows, cols);
      for (var i = 0; i < rows; ++i) {
        for (var j = 0; j < cols; ++j) {
          var text = VN.text(_vellorinNarrationCell(i, j));
          if (text !== VN.texts[i][j]) VN.cells[i][j].textContent = VN.texts[i][j] = text;
        }
      }
      var toggles = _vellorinNarrationToggles();
      if (toggles !== VN.toggles) {
        VN.toggles = toggles;
        document.querySelectorAll('#keypad [aria-pressed]').forEach(function(button) {
          button.setAttribute('aria-pressed', _vellorinNarrationToggled(button.dataset.key.charCodeAt(0)) ? 'true' : 'false');
        });
      }
      var selected = _vellorinNarrationSelected();
      if (selected !== VN.selected) {
        VN.selected = selected;
        document.querySelectorAll('#keypad .points button, #points td[aria-current]').forEach(function(e) {
          e.removeAttribute('aria-current');
        });
        if (selected >= 0) {
          document.querySelectorAll('#keypad .points button')[selected].setAttribute('aria-current', 'true');
          var row = _vellorinNarrationSelectedRow(), col = _vellorinNarrationSelectedCol();
          if (row < rows && col < cols) VN.cells[row][col].setAttribute('aria-current', 'true');
        }
      }
    },

    // The messages ready, each a paragraph, in place of the last ones: new nodes in the status
    // region, so a message equal to the last one is said again.
    say: function() {
      var region = document.getElementById('said');
      var messages = VN.text(_vellorinNarrationTakeMessages()).split('\n');
      region.textContent = '';
      messages.forEach(function(m) {
        var p = document.createElement('p');
        p.textContent = m;
        region.appendChild(p);
      });
    },
  },

  vellorinNarrationShow: function(view, messages) {
    if (view) VN.view();
    if (messages) VN.say();
  },
};

autoAddDeps(LibraryVellorinNarration, '$VN');
mergeInto(LibraryManager.library, LibraryVellorinNarration);
