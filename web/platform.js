// The page side of the web platform: WebGL 2 on the window's canvas, bitmap text on a layer
// above it, the pop-up menus, the keys (real ones and the touch key pad) and the animation-frame
// loop. web/gl.cpp and web/glut.cpp call the functions below; page events call back into the
// program through the vellorin* exports, one at a time.
//
// The canvas is the GLUT window: as wide as the page allows, up to the size the program asked
// for, with its shape kept. Its backing store is its CSS size times the device pixel ratio, and
// the program sees that size as the window's, through its reshape callback. Point sizes and the
// text face grow with the ratio so the picture keeps its look; lines stay one device pixel wide.
var LibraryVellorinPlatform = {
  $VP: {
    gl: null,
    lost: false,  // the GPU went away; nothing is drawn until it comes back
    program: null,
    viewportLocation: null,
    scaleLocation: null,
    text: null,  // 2-D context of the layer that carries bitmap text above the scene
    scale: 1,    // device pixels per CSS pixel of the canvas
    ratio: 0,    // the device pixel ratio the canvas was last sized for
    // What the program set, sent again to a restored context.
    state: { depthTest: false, depthFunc: 0x0201, viewport: [0, 0, 0, 0] },
    raster: { valid: false, x: 0, y: 0, color: 'rgb(0,0,0)' },
    menus: {},     // id -> { entries: [{ label, value, submenu }] }
    attached: {},  // mouse button -> menu id
    openMenus: [], // the open menu boxes, outermost first
    mouse: [0, 0],
    reshapePending: true,
    longPress: null,
    status: { frames: 0, ended: false, lost: false, restored: 0, glErrors: 0, webgl: true },  // read by the browser tests
    cp1252: null,  // a TextDecoder, made with the window
    glyphs: [],    // character code -> { text, advance } in the serif face at the current scale

    // The program's strings are single-byte Windows-1252 text.
    decode: function(ptr) {
      var end = ptr;
      while (HEAPU8[end]) ++end;
      return VP.cp1252.decode(HEAPU8.subarray(ptr, end));
    },

    // Calls into the program; "Sair" ends it from inside such a call.
    call: function(fn) {
      if (VP.status.ended) return;
      try {
        fn();
      } catch (e) {
        if (!(e instanceof ExitStatus)) throw e;
        VP.end();
      }
    },

    end: function() {
      VP.status.ended = true;
      VP.closeMenus(0);
      document.getElementById('ended').hidden = false;
    },

    drawing: function() { return VP.gl && !VP.lost; },

    compile: function(gl, type, source) {
      var shader = gl.createShader(type);
      gl.shaderSource(shader, source);
      gl.compileShader(shader);
      if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(shader));
      return shader;
    },

    // Every GL object and every piece of state: made at start and again after a lost context.
    setUpGL: function() {
      var gl = VP.gl;
      // Vertices arrive in clip space. Points are squares of their size in pixels (times the
      // scale), centred as a desktop GL centres non-smooth points: odd sizes on a pixel centre,
      // even sizes on a corner.
      var vs = '#version 300 es\n' +
        'in vec4 aPosition; in vec3 aColor; in float aSize;\n' +
        'uniform vec4 uViewport; uniform float uScale;\n' +
        'out vec3 vColor;\n' +
        'void main() {\n' +
        '  vec4 p = aPosition;\n' +
        '  float size = max(floor(aSize * uScale + 0.5), 1.0);\n' +
        '  if (aSize > 0.0 && p.w > 0.0) {\n' +
        '    vec2 w = uViewport.xy + (p.xy / p.w * 0.5 + 0.5) * uViewport.zw;\n' +
        '    vec2 c = mod(size, 2.0) == 1.0 ? floor(w) + 0.5 : floor(w + 0.5);\n' +
        '    p.xy = ((c - uViewport.xy) / uViewport.zw * 2.0 - 1.0) * p.w;\n' +
        '  }\n' +
        '  gl_Position = p;\n' +
        '  gl_PointSize = size;\n' +
        '  vColor = aColor;\n' +
        '}\n';
      var fs = '#version 300 es\nprecision mediump float;\n' +
        'in vec3 vColor; out vec4 color;\n' +
        'void main() { color = vec4(vColor, 1.0); }\n';
      var program = gl.createProgram();
      gl.attachShader(program, VP.compile(gl, gl.VERTEX_SHADER, vs));
      gl.attachShader(program, VP.compile(gl, gl.FRAGMENT_SHADER, fs));
      gl.linkProgram(program);
      if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
      gl.useProgram(program);
      VP.viewportLocation = gl.getUniformLocation(program, 'uViewport');
      VP.scaleLocation = gl.getUniformLocation(program, 'uScale');
      gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
      var stride = 8 * 4;
      [['aPosition', 4, 0], ['aColor', 3, 16], ['aSize', 1, 28]].forEach(function(a) {
        var location = gl.getAttribLocation(program, a[0]);
        gl.enableVertexAttribArray(location);
        gl.vertexAttribPointer(location, a[1], gl.FLOAT, false, stride, a[2]);
      });
      var s = VP.state;
      if (s.depthTest) gl.enable(gl.DEPTH_TEST); else gl.disable(gl.DEPTH_TEST);
      gl.depthFunc(s.depthFunc);
      gl.viewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    },

    noWebGL: function() {
      VP.status.webgl = false;
      document.getElementById('nogl').hidden = false;
    },

    // --- size ---------------------------------------------------------------------------------
    // Backing stores of both canvases follow the CSS size and the pixel ratio; a change reaches
    // the program as a reshape at the next frame.
    resize: function() {
      var canvas = document.getElementById('canvas');
      var layer = document.getElementById('text');
      var rect = canvas.getBoundingClientRect();
      var ratio = VP.ratio = window.devicePixelRatio || 1;
      var w = Math.max(1, Math.round(rect.width * ratio));
      var h = Math.max(1, Math.round(rect.height * ratio));
      VP.scale = rect.width > 0 ? w / rect.width : ratio;
      if (w !== canvas.width || h !== canvas.height || VP.text.font !== VP.font()) {
        canvas.width = layer.width = w;
        canvas.height = layer.height = h;
        VP.text.font = VP.font();  // resizing resets the layer's state
        VP.glyphs = [];
        VP.reshapePending = true;
      }
    },

    font: function() { return (24 * VP.scale).toFixed(2).replace(/\.?0+$/, '') + 'px serif'; },  // GLUT's Times Roman 24

    // --- menus -------------------------------------------------------------------------------
    closeMenus: function(level) {
      while (VP.openMenus.length > level) {
        var box = VP.openMenus.pop();
        if (box.opener) box.opener.setAttribute('aria-expanded', 'false');
        box.remove();
      }
    },

    items: function(box) { return Array.prototype.slice.call(box.querySelectorAll('[role=menuitem]')); },

    // Opens menu `id` at (x, y) as level `level`; from the keyboard, focus goes to its first entry.
    openMenu: function(id, x, y, level, opener, focusFirst) {
      VP.closeMenus(level);
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
      VP.menus[id].entries.forEach(function(entry) {
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
          VP.openMenu(entry.submenu, r.right, r.top, level + 1, row, focus);
        };
        row.pick = function() {
          VP.closeMenus(0);
          VP.focusCanvas();
          VP.call(function() { _vellorinMenuPick(id, entry.value); });
        };
        row.addEventListener('mouseenter', function() {
          row.focus({ preventScroll: true });
          VP.closeMenus(level + 1);
          if (entry.submenu) row.openSub(false);
        });
        // A tap opens a submenu as hovering does.
        row.addEventListener('click', function() {
          if (entry.submenu) {
            if (!(VP.openMenus[level + 1] && VP.openMenus[level + 1].opener === row)) row.openSub(false);
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
      if (r.bottom > window.innerHeight) box.style.top = Math.max(0, window.innerHeight - r.height) + 'px';
      if (r.right > window.innerWidth) box.style.left = Math.max(0, window.innerWidth - r.width) + 'px';
      VP.openMenus.push(box);
      if (focusFirst) VP.items(box)[0].focus();
    },

    // The attached main menu, from the keyboard or the key pad: at the pointer's last place on
    // the canvas, with focus on its first entry.
    openMainMenu: function(x, y, focusFirst) {
      var menu = VP.attached[2];  // GLUT_RIGHT_BUTTON
      if (menu === undefined || VP.status.ended || !VP.status.webgl) return;
      VP.openMenu(menu, x, y, 0, null, focusFirst);
    },

    menuKey: function(e) {
      var box = VP.openMenus[VP.openMenus.length - 1];
      var items = VP.items(box);
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
          if (e.key === 'ArrowLeft' && VP.openMenus.length === 1) break;
          var opener = box.opener;
          VP.closeMenus(VP.openMenus.length - 1);
          if (opener) opener.focus(); else VP.focusCanvas();
          break;
        case 'Tab':
          // Not trapped: the menus close and focus moves on from the canvas.
          VP.closeMenus(0);
          VP.focusCanvas();
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
      Object.keys(VP.attached).forEach(function(button) {
        VP.menus[VP.attached[button]].entries.forEach(function(entry) {
          var sub = entry.submenu && VP.menus[entry.submenu];
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

    // --- input -------------------------------------------------------------------------------
    specialKeys: { F1: 1, F2: 2, F3: 3, F4: 4, F5: 5, F6: 6, F7: 7, F8: 8, F9: 9, F10: 10, F11: 11,
                   F12: 12, ArrowLeft: 100, ArrowUp: 101, ArrowRight: 102, ArrowDown: 103,
                   PageUp: 104, PageDown: 105, Home: 106, End: 107, Insert: 108 },
    namedKeys: { Backspace: 8, Enter: 13, Escape: 27, Delete: 127 },

    focusCanvas: function() { document.getElementById('canvas').focus({ preventScroll: true }); },

    // A key as the program knows it, to its keyboard or special callback; false if it has none.
    sendKey: function(name) {
      var special = VP.specialKeys[name];
      var key = VP.namedKeys[name];
      if (key === undefined && name.length === 1 && name.charCodeAt(0) < 256) key = name.charCodeAt(0);
      if (special === undefined && key === undefined) return false;
      VP.call(function() {
        if (special !== undefined) _vellorinSpecialKey(special, VP.mouse[0], VP.mouse[1]);
        else _vellorinKey(key, VP.mouse[0], VP.mouse[1]);
      });
      return true;
    },

    onKeyDown: function(e) {
      if (VP.status.ended || !VP.status.webgl) return;
      if (VP.openMenus.length) {  // an open menu takes the keys
        VP.menuKey(e);
        return;
      }
      if (e.key === 'ContextMenu' || (e.key === 'F10' && e.shiftKey)) {
        e.preventDefault();
        var r = document.getElementById('canvas').getBoundingClientRect();
        VP.openMainMenu(r.left + VP.mouse[0] / VP.scale, r.top + VP.mouse[1] / VP.scale, true);
        return;
      }
      // Keys belong to the program while the canvas (or nothing in particular) has focus.
      var t = e.target;
      if (t !== document.body && t !== document.getElementById('canvas')) return;
      if (e.ctrlKey || e.metaKey || e.altKey || e.key === 'Tab') return;
      if (VP.sendKey(e.key) && !/^F\d+$/.test(e.key)) e.preventDefault();  // the function keys keep their browser use too
    },

    onMouseDown: function(e) {
      if (e.target.closest && e.target.closest('.glut-menu')) return;
      if (e.target.closest && e.target.closest('#menu-button')) return;
      VP.closeMenus(0);
      var canvas = document.getElementById('canvas');
      if (e.target !== canvas || VP.status.ended || !VP.status.webgl) return;
      VP.focusCanvas();
      e.preventDefault();  // keeps the focus on the canvas
      var menu = VP.attached[e.button];
      if (menu === undefined) return;
      VP.openMenu(menu, e.clientX, e.clientY, 0, null, false);
    },

    onPointer: function(e) {
      var r = document.getElementById('canvas').getBoundingClientRect();
      VP.mouse = [Math.round((e.clientX - r.left) * VP.scale), Math.round((e.clientY - r.top) * VP.scale)];
    },

    // A long press of a finger or a pen on the canvas opens the menu where it is held.
    onPointerDown: function(e) {
      VP.onPointer(e);
      if (e.pointerType === 'mouse') return;
      clearTimeout(VP.longPress && VP.longPress.timer);
      var x = e.clientX, y = e.clientY;
      VP.longPress = { x: x, y: y, timer: setTimeout(function() {
        VP.longPress = null;
        VP.openMainMenu(x, y, false);
      }, 500) };
    },

    onPointerEnd: function(e) {
      var press = VP.longPress;
      if (!press) return;
      if (e.type === 'pointermove' && Math.hypot(e.clientX - press.x, e.clientY - press.y) < 10) return;
      clearTimeout(press.timer);
      VP.longPress = null;
    },

    listen: function() {
      var canvas = document.getElementById('canvas');
      // The browser's own context menu never shows over the window or the program's menus: on
      // some systems it opens when the button is released, over the menu box just opened.
      document.addEventListener('contextmenu', function(e) {
        if (e.target.closest && e.target.closest('#window, .glut-menu, #keypad')) e.preventDefault();
      });
      canvas.addEventListener('pointermove', VP.onPointer);
      canvas.addEventListener('pointerdown', VP.onPointerDown);
      ['pointerup', 'pointercancel', 'pointerleave', 'pointermove'].forEach(function(type) {
        canvas.addEventListener(type, VP.onPointerEnd);
      });
      document.addEventListener('mousedown', VP.onMouseDown);
      document.addEventListener('keydown', VP.onKeyDown);
      // The key pad sends its keys as the keyboard would.
      document.querySelectorAll('#keypad [data-key]').forEach(function(button) {
        button.addEventListener('click', function() {
          if (VP.status.webgl && !VP.openMenus.length) VP.sendKey(button.dataset.key);
        });
      });
      document.getElementById('menu-button').addEventListener('click', function(e) {
        var r = canvas.getBoundingClientRect();
        VP.openMainMenu(r.left + 8, r.top + 8, e.detail === 0);  // detail 0: from the keyboard
      });
      canvas.addEventListener('webglcontextlost', function(e) {
        e.preventDefault();  // asks for the context back
        VP.lost = true;
        VP.status.lost = true;
      });
      canvas.addEventListener('webglcontextrestored', function() {
        VP.setUpGL();
        VP.lost = false;
        VP.status.lost = false;
        VP.status.restored++;
      });
    },
  },

  vellorinCreateWindow: function(width, height, title) {
    VP.cp1252 = new TextDecoder('windows-1252');
    document.title = VP.decode(title);
    window.vellorinStatus = VP.status;
    if ('serviceWorker' in navigator) {
      navigator.serviceWorker.register('sw.js').catch(function() {});  // works without it, online
    }
    var canvas = document.getElementById('canvas');
    var layer = document.getElementById('text');
    // The window never grows past the size the program asked for, and keeps its shape.
    document.querySelector('main').style.flexBasis = width + 'px';
    document.getElementById('window').style.maxWidth = width + 'px';
    canvas.style.aspectRatio = width + ' / ' + height;
    VP.gl = canvas.getContext('webgl2', { alpha: false, antialias: false, depth: true, stencil: false });
    if (!VP.gl) {
      VP.noWebGL();
      return;
    }
    VP.text = layer.getContext('2d');
    VP.resize();
    VP.setUpGL();
    VP.listen();
    VP.focusCanvas();
    // GLUT calls reshape when the window is first shown and whenever its size changes.
    new ResizeObserver(function() { VP.resize(); }).observe(canvas);
  },

  vellorinClear: function(color, depth, r, g, b, clearDepth) {
    if (!VP.drawing()) return;
    var gl = VP.gl;
    gl.clearColor(r, g, b, 1);
    gl.clearDepth(clearDepth);
    gl.clear((color ? gl.COLOR_BUFFER_BIT : 0) | (depth ? gl.DEPTH_BUFFER_BIT : 0));
    if (color) VP.text.clearRect(0, 0, VP.text.canvas.width, VP.text.canvas.height);
  },

  vellorinDepthTest: function(enabled, func) {
    var s = VP.state;
    if (enabled >= 0) s.depthTest = enabled === 1;
    if (func > 0) s.depthFunc = func;
    if (!VP.drawing()) return;
    var gl = VP.gl;
    if (enabled === 1) gl.enable(gl.DEPTH_TEST);
    if (enabled === 0) gl.disable(gl.DEPTH_TEST);
    if (func > 0) gl.depthFunc(func);
  },

  vellorinViewport: function(x, y, width, height) {
    VP.state.viewport = [x, y, width, height];
    if (VP.drawing()) VP.gl.viewport(x, y, width, height);
  },

  vellorinDraw: function(lines, vertices, count) {
    if (!VP.drawing()) return;
    var gl = VP.gl;
    var v = VP.state.viewport;
    gl.uniform4f(VP.viewportLocation, v[0], v[1], v[2], v[3]);
    gl.uniform1f(VP.scaleLocation, VP.scale);
    gl.bufferData(gl.ARRAY_BUFFER, HEAPF32.subarray(vertices >> 2, (vertices >> 2) + count * 8), gl.STREAM_DRAW);
    gl.drawArrays(lines ? gl.LINES : gl.POINTS, 0, count);
  },

  vellorinRasterPos: function(valid, x, y, r, g, b) {
    if (!VP.text) return;
    VP.raster = {
      valid: !!valid,
      x: x,
      y: VP.text.canvas.height - y,  // window y grows upwards, the layer's downwards
      color: 'rgb(' + Math.round(r * 255) + ',' + Math.round(g * 255) + ',' + Math.round(b * 255) + ')',
    };
  },

  vellorinBitmapCharacter: function(character) {
    var raster = VP.raster;
    if (!raster.valid || !VP.drawing()) return;
    var glyph = VP.glyphs[character];
    if (!glyph) {  // each character's text and advance, looked up once per scale
      var s = VP.cp1252.decode(new Uint8Array([character]));
      glyph = VP.glyphs[character] = { text: s, advance: VP.text.measureText(s).width };
    }
    VP.text.fillStyle = raster.color;
    VP.text.fillText(glyph.text, raster.x, raster.y);
    raster.x += glyph.advance;
  },

  vellorinMenuCreate: function(menu) {
    VP.menus[menu] = { entries: [] };
  },

  vellorinMenuEntry: function(menu, label, value, submenu) {
    VP.menus[menu].entries.push({ label: VP.decode(label), value: value, submenu: submenu });
  },

  vellorinMenuAttach: function(menu, button) {
    VP.attached[button] = menu;
  },

  vellorinStartLoop: function() {
    VP.buildHelp();
    if (!VP.status.webgl) return;  // nothing to draw on; the page says why
    function frame() {
      if (VP.status.ended) return;
      // The ratio changes with zoom or on another screen, not always with an event to say so.
      if ((window.devicePixelRatio || 1) !== VP.ratio) VP.resize();
      if (!VP.lost) {
        VP.call(function() {
          if (VP.reshapePending) {
            VP.reshapePending = false;
            _vellorinReshape(VP.gl.canvas.width, VP.gl.canvas.height);
          }
          _vellorinFrame();
        });
        VP.status.frames++;
      }
      requestAnimationFrame(frame);
    }
    requestAnimationFrame(frame);
  },
};

autoAddDeps(LibraryVellorinPlatform, '$VP');
mergeInto(LibraryManager.library, LibraryVellorinPlatform);
