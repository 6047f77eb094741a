// The program's pop-up menus as the page shows them: menus and entries as glutCreateMenu and
// glutAddMenuEntry make them, opened by the attached button (or a long press, the menu key or the
// key pad's Menu button, through input.js), kept whole on the screen at its edges, walked with the
// arrow keys, Enter, Escape and Tab as a WAI-ARIA menu, and a pick sent to the program. Also the
// help panel beside the canvas, made from the menu's help pages. Leaves which event opens a menu
// to input.js.

var LibraryVellorinMenus = {
  $VPMenus: {
    menus: {},     // id -> { entries: [{ label, value, submenu }] }
    attached: {},  // mouse button -> menu id
    openMenus: [], // the open menu boxes, outermost first

    closeMenus: function(level) {
      while (VPMenus.openMenus.length > level) {
        var box = VPMenus.openMenus.pop();
        if (box.opener) box.opener.setAttribute('aria-expanded', 'false');
        box.remove();
      }
    },

    items: function(box) { return Array.prototype.slice.call(box.querySelectorAll('[role=menuitem]')); },

    // Opens menu `id` at (x, y) as level `level`; from the keyboard, focus goes to its first entry.
    openMenu: function(id, x, y, level, opener, focusFirst) {
      VPMenus.closeMenus(level);
      var box = document.createElement('div');
      box.className = 'glut-menu';
      box.setAttribute('role', 'menu');
      box.opener = opener || null;
      if (opener) {
        box.setAttribute('aria-label', opener.textContent);
        opener.setAttribute('aria-expanded', 'true');
      } else {
        box.setAttribute('aria-label', 'Menu');
      }
      VPMenus.menus[id].entries.forEach(function(entry) {
        var row = document.createElement('div');
        row.className = entry.submenu ? 'glut-entry glut-submenu' : 'glut-entry';
        // A label of spaces and tabs is a blank line: shown, but no entry to pick.
        if (entry.label.trim() === '') {
          row.textContent = '\u00a0';
          row.setAttribute('role', 'presentation');
          box.appendChild(row);
          return;
        }
        row.textContent = entry.label;
        row.setAttribute('role', 'menuitem');
        row.tabIndex = -1;
        if (entry.submenu) {
          row.setAttribute('aria-haspopup', 'menu');
          row.setAttribute('aria-expanded', 'false');
        }
        row.openSub = function(focus) {
          var r = row.getBoundingClientRect();
          VPMenus.openMenu(entry.submenu, r.right, r.top, level + 1, row, focus);
        };
        row.pick = function() {
          VPMenus.closeMenus(0);
          VPWindow.focusCanvas();
          VPWindow.call(function() { _vellorinMenuPick(id, entry.value); });
        };
        // A finger's tap reaches here as a hover first, then as a click at the same spot: a
        // submenu opened by that hover, moved left over its entry where the screen is narrow,
        // would take the click. So only a mouse opens a submenu by hovering.
        row.addEventListener('mouseenter', function() {
          row.focus({ preventScroll: true });
          VPMenus.closeMenus(level + 1);
          if (entry.submenu && VPInput.pointerType === 'mouse') row.openSub(false);
        });
        // A tap opens a submenu as hovering does.
        row.addEventListener('click', function() {
          if (entry.submenu) {
            if (!(VPMenus.openMenus[level + 1] && VPMenus.openMenus[level + 1].opener === row)) row.openSub(false);
          } else {
            row.pick();
          }
        });
        box.appendChild(row);
      });
      box.style.left = x + 'px';
      box.style.top = y + 'px';
      document.getElementById('menus').appendChild(box);
      var r = box.getBoundingClientRect();
      // On the screen whole where it fits: the canvas's corner, where the key pad's Menu button
      // opens it, may lie above the screen once a phone's page is scrolled down to the key pad.
      if (r.bottom > window.innerHeight || r.top < 0) box.style.top = Math.max(0, Math.min(r.top, window.innerHeight - r.height)) + 'px';
      if (r.right > window.innerWidth || r.left < 0) box.style.left = Math.max(0, Math.min(r.left, window.innerWidth - r.width)) + 'px';
      VPMenus.openMenus.push(box);
      if (focusFirst) VPMenus.items(box)[0].focus();
    },

    // The attached main menu, opened by a long press, the keyboard (at the pointer's last place on
    // the canvas) or the key pad's Menu button.
    openMainMenu: function(x, y, focusFirst, opener) {
      var menu = VPMenus.attached[VPInput.buttons[2]];  // the secondary button's
      if (menu === undefined || VPWindow.status.ended || !VPWindow.status.webgl) return;
      VPMenus.openMenu(menu, x, y, 0, opener || null, focusFirst);
    },

    menuKey: function(e) {
      var box = VPMenus.openMenus[VPMenus.openMenus.length - 1];
      var items = VPMenus.items(box);
      var current = items.indexOf(document.activeElement);
      var row = items[current];
      switch (e.key) {
        case 'ArrowDown': case 'ArrowUp':
          // From a menu opened by the mouse (no entry focused yet) Down goes to the first entry.
          var step = e.key === 'ArrowDown' ? 1 : -1;
          var next = current < 0 ? (step > 0 ? 0 : items.length - 1) : (current + step + items.length) % items.length;
          items[next].focus();
          break;
        case 'ArrowRight': case 'Enter': case ' ':
          if (row && row.openSub) {
            if (row.getAttribute('aria-haspopup')) row.openSub(true);
            else if (e.key !== 'ArrowRight') row.pick();
          }
          break;
        case 'ArrowLeft': case 'Escape':
          if (e.key === 'ArrowLeft' && VPMenus.openMenus.length === 1) break;
          var opener = box.opener;
          VPMenus.closeMenus(VPMenus.openMenus.length - 1);
          if (opener) opener.focus(); else VPWindow.focusCanvas();
          break;
        case 'Tab':
          // Not trapped: the menus close and focus moves on from the canvas.
          VPMenus.closeMenus(0);
          VPWindow.focusCanvas();
          return;
        case 'Home': items[0].focus(); break;
        case 'End': items[items.length - 1].focus(); break;
        default:
          return;
      }
      e.preventDefault();
    },

    // Beside the canvas: the pages of the attached menu that the panel names, under their titles.
    buildHelp: function() {
      var panel = document.getElementById('help');
      var pages = (panel.dataset.pages || '').split('|');
      Object.keys(VPMenus.attached).forEach(function(button) {
        VPMenus.menus[VPMenus.attached[button]].entries.forEach(function(entry) {
          var sub = entry.submenu && VPMenus.menus[entry.submenu];
          if (!sub || pages.indexOf(entry.label.trim()) < 0) return;
          var title = document.createElement('h2');
          title.textContent = entry.label.trim();
          panel.appendChild(title);
          sub.entries.forEach(function(line) {
            var p = document.createElement('div');
            p.className = 'help-line';
            p.textContent = line.label.trim() === '' ? '\u00a0' : line.label;
            panel.appendChild(p);
          });
        });
      });
    },
  },
  $VPMenus__deps: ['$VPInput', '$VPWindow'],

  vellorinMenuCreate: function(menu) {
    VPMenus.menus[menu] = { entries: [] };
  },

  vellorinMenuEntry: function(menu, label, value, submenu) {
    VPMenus.menus[menu].entries.push({ label: VPWindow.decode(label), value: value, submenu: submenu });
  },
  vellorinMenuEntry__deps: ['$VPWindow'],

  vellorinMenuAttach: function(menu, button) {
    VPMenus.attached[button] = menu;
  },
};

autoAddDeps(LibraryVellorinMenus, '$VPMenus');
mergeInto(LibraryManager.library, LibraryVellorinMenus);
