// Input from the page to the program: hardware keys (as GLUT's keyboard and special callbacks, with
// the pointer's place), the mouse buttons and the pointer over the canvas, a long press of a
// finger or pen (the menu), and the key pad of touch screens, whose taps reach the program as the
// keys they name. An open menu takes the keys (menus.js). Leaves the menus themselves to menus.js
// and the calls into the program to window.js.

var LibraryVellorinInput = {
  $VPInput: {
    pointerType: 'mouse',  // what last pointed: a mouse hovers, a finger or pen taps
    mouse: [0, 0],
    longPress: null,
    // As web/glut.cpp names them: the browser's key name -> GLUT's code, for the special and the
    // keyboard callback; the browser's button number -> GLUT's.
    specialKeys: {},
    namedKeys: {},
    buttons: [],

    // A key as the program knows it, to its keyboard or special callback; false if it has none.
    sendKey: function(name) {
      var special = VPInput.specialKeys[name];
      var key = VPInput.namedKeys[name];
      if (key === undefined && name.length === 1 && name.charCodeAt(0) < 256) key = name.charCodeAt(0);
      if (special === undefined && key === undefined) return false;
      VPWindow.call(function() {
        if (special !== undefined) _vellorinSpecialKey(special, VPInput.mouse[0], VPInput.mouse[1]);
        else _vellorinKey(key, VPInput.mouse[0], VPInput.mouse[1]);
      });
      return true;
    },

    onKeyDown: function(e) {
      if (VPWindow.status.ended || !VPWindow.status.webgl) return;
      if (VPMenus.openMenus.length) {  // an open menu takes the keys
        VPMenus.menuKey(e);
        return;
      }
      if (e.key === 'ContextMenu' || (e.key === 'F10' && e.shiftKey)) {
        e.preventDefault();
        var r = document.getElementById('canvas').getBoundingClientRect();
        VPMenus.openMainMenu(r.left + VPInput.mouse[0] / VPSize.pixels, r.top + VPInput.mouse[1] / VPSize.pixels, true);
        return;
      }
      // Keys belong to the program while the canvas (or nothing in particular) has focus.
      var t = e.target;
      if (t !== document.body && t !== document.getElementById('canvas')) return;
      if (e.ctrlKey || e.metaKey || e.altKey || e.key === 'Tab') return;
      if (VPInput.sendKey(e.key) && !/^F\d+$/.test(e.key)) e.preventDefault();  // the function keys keep their browser use too
    },

    onMouseDown: function(e) {
      if (e.target.closest && e.target.closest('.glut-menu')) return;
      if (e.target.closest && e.target.closest('#menu-button')) return;
      VPMenus.closeMenus(0);
      var canvas = document.getElementById('canvas');
      if (e.target !== canvas || VPWindow.status.ended || !VPWindow.status.webgl) return;
      VPWindow.focusCanvas();
      e.preventDefault();  // keeps the focus on the canvas
      var menu = VPMenus.attached[VPInput.buttons[e.button]];
      if (menu === undefined) return;
      VPMenus.openMenu(menu, e.clientX, e.clientY, 0, null, false);
    },

    onPointer: function(e) {
      var r = document.getElementById('canvas').getBoundingClientRect();
      VPInput.mouse = [Math.round((e.clientX - r.left) * VPSize.pixels), Math.round((e.clientY - r.top) * VPSize.pixels)];
    },

    // A long press of a finger or a pen on the canvas opens the menu where it is held.
    onPointerDown: function(e) {
      VPInput.onPointer(e);
      if (e.pointerType === 'mouse') return;
      clearTimeout(VPInput.longPress && VPInput.longPress.timer);
      var x = e.clientX, y = e.clientY;
      VPInput.longPress = { x: x, y: y, timer: setTimeout(function() {
        VPInput.longPress = null;
        VPMenus.openMainMenu(x, y, false);
      }, 500) };
    },

    onPointerEnd: function(e) {
      var press = VPInput.longPress;
      if (!press) return;
      if (e.type === 'pointermove' && Math.hypot(e.clientX - press.x, e.clientY - press.y) < 10) return;
      clearTimeout(press.timer);
      VPInput.longPress = null;
    },

    listen: function() {
      var canvas = document.getElementById('canvas');
      // The browser's own context menu never shows over the window or the program's menus: on
      // some systems it opens when the button is released, over the menu box just opened.
      document.addEventListener('contextmenu', function(e) {
        if (e.target.closest && e.target.closest('#window, .glut-menu, #keypad')) e.preventDefault();
      });
      canvas.addEventListener('pointermove', VPInput.onPointer);
      canvas.addEventListener('pointerdown', VPInput.onPointerDown);
      ['pointerup', 'pointercancel', 'pointerleave', 'pointermove'].forEach(function(type) {
        canvas.addEventListener(type, VPInput.onPointerEnd);
      });
      ['pointerdown', 'pointermove'].forEach(function(type) {
        document.addEventListener(type, function(e) { VPInput.pointerType = e.pointerType; }, true);
      });
      document.addEventListener('mousedown', VPInput.onMouseDown);
      document.addEventListener('keydown', VPInput.onKeyDown);
      // The key pad sends its keys as the keyboard would.
      document.querySelectorAll('#keypad [data-key]').forEach(function(button) {
        button.addEventListener('click', function(e) {
          if (VPWindow.status.webgl && !VPMenus.openMenus.length) VPInput.sendKey(button.dataset.key);
          // A tap leaves the keys with the program, for a keyboard beside the screen; from the
          // keyboard (detail 0) the focus stays on the button.
          if (e.detail > 0) VPWindow.focusCanvas();
        });
      });
      // The Menu button's menu opens beside it, where the finger is (the canvas may be scrolled
      // out of view above the key pad). detail 0: from the keyboard. The button is the menu's
      // opener: it tells whether the menu is open, and Escape goes back to it.
      document.getElementById('menu-button').addEventListener('click', function(e) {
        var r = e.currentTarget.getBoundingClientRect();
        VPMenus.openMainMenu(r.left, r.bottom, e.detail === 0, e.currentTarget);
      });
    },
  },
  $VPInput__deps: ['$VPMenus', '$VPSize', '$VPWindow'],

  vellorinKeyName: function(name, code, special) {
    (special ? VPInput.specialKeys : VPInput.namedKeys)[VPWindow.decode(name)] = code;
  },

  vellorinMouseButtons: function(main, middle, secondary) {
    VPInput.buttons = [main, middle, secondary];
  },
};

autoAddDeps(LibraryVellorinInput, '$VPInput');
mergeInto(LibraryManager.library, LibraryVellorinInput);
