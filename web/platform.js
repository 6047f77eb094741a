// The page side of the web platform: WebGL 2 on the window's canvas, bitmap text on a layer
// above it, the pop-up menus, the keys and the animation-frame loop. web/gl.cpp and
// web/glut.cpp call the functions below; page events call back into the program through the
// vellorin* exports, one at a time.
var LibraryVellorinPlatform = {
  $VP: {
    gl: null,
    text: null,  // 2-D context of the layer that carries bitmap text above the scene
    viewportLocation: null,
    viewport: [0, 0, 0, 0],
    raster: { valid: false, x: 0, y: 0, color: 'rgb(0,0,0)' },
    menus: {},     // id -> { info, entries: [{ label, value, submenu }] }
    attached: {},  // mouse button -> menu id
    openMenus: [],
    mouse: [0, 0],
    reshapePending: true,
    status: { frames: 0, ended: false },  // read by the browser tests
    cp1252: null,  // a TextDecoder, made with the window
    glyphs: [],    // character code -> { text, advance } in the 24 px serif face

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

    compile: function(gl, type, source) {
      var shader = gl.createShader(type);
      gl.shaderSource(shader, source);
      gl.compileShader(shader);
      if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(shader));
      return shader;
    },

    createGL: function(canvas) {
      var gl = canvas.getContext('webgl2', { alpha: false, antialias: false, depth: true, stencil: false });
      if (!gl) throw new Error('WebGL 2 is not available');
      // Vertices arrive in clip space. Points are squares of their size in pixels, centred as a
      // desktop GL centres non-smooth points: odd sizes on a pixel centre, even sizes on a corner.
      var vs = '#version 300 es\n' +
        'in vec4 aPosition; in vec3 aColor; in float aSize;\n' +
        'uniform vec4 uViewport;\n' +
        'out vec3 vColor;\n' +
        'void main() {\n' +
        '  vec4 p = aPosition;\n' +
        '  if (aSize > 0.0 && p.w > 0.0) {\n' +
        '    vec2 w = uViewport.xy + (p.xy / p.w * 0.5 + 0.5) * uViewport.zw;\n' +
        '    vec2 c = mod(aSize, 2.0) == 1.0 ? floor(w) + 0.5 : floor(w + 0.5);\n' +
        '    p.xy = ((c - uViewport.xy) / uViewport.zw * 2.0 - 1.0) * p.w;\n' +
        '  }\n' +
        '  gl_Position = p;\n' +
        '  gl_PointSize = max(aSize, 1.0);\n' +
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
      gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
      var stride = 8 * 4;
      [['aPosition', 4, 0], ['aColor', 3, 16], ['aSize', 1, 28]].forEach(function(a) {
        var location = gl.getAttribLocation(program, a[0]);
        gl.enableVertexAttribArray(location);
        gl.vertexAttribPointer(location, a[1], gl.FLOAT, false, stride, a[2]);
      });
      return gl;
    },

    // --- menus -------------------------------------------------------------------------------
    closeMenus: function(level) {
      while (VP.openMenus.length > level) VP.openMenus.pop().remove();
    },

    openMenu: function(id, x, y, level) {
      VP.closeMenus(level);
      var box = document.createElement('div');
      box.className = 'glut-menu';
      VP.menus[id].entries.forEach(function(entry) {
        var row = document.createElement('div');
        row.className = entry.submenu ? 'glut-entry glut-submenu' : 'glut-entry';
        // A label of spaces and tabs is a blank line.
        row.textContent = entry.label.trim() === '' ? '\u00a0' : entry.label;
        row.addEventListener('mouseenter', function() {
          VP.closeMenus(level + 1);
          if (entry.submenu) {
            var r = row.getBoundingClientRect();
            VP.openMenu(entry.submenu, r.right, r.top, level + 1);
          }
        });
        row.addEventListener('click', function() {
          if (entry.submenu) return;
          VP.closeMenus(0);
          VP.call(function() { _vellorinMenuPick(id, entry.value); });
        });
        box.appendChild(row);
      });
      box.style.left = x + 'px';
      box.style.top = y + 'px';
      document.body.appendChild(box);
      var r = box.getBoundingClientRect();
      if (r.bottom > window.innerHeight) box.style.top = Math.max(0, window.innerHeight - r.height) + 'px';
      if (r.right > window.innerWidth) box.style.left = Math.max(0, window.innerWidth - r.width) + 'px';
      VP.openMenus.push(box);
    },

    // Beside the canvas: the entries of the menus whose picks only inform, under their titles
    // in the attached menu.
    buildHelp: function() {
      var panel = document.getElementById('help');
      Object.keys(VP.attached).forEach(function(button) {
        VP.menus[VP.attached[button]].entries.forEach(function(entry) {
          var sub = entry.submenu && VP.menus[entry.submenu];
          if (!sub || !sub.info) return;
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
    namedKeys: { Backspace: 8, Tab: 9, Enter: 13, Escape: 27, Delete: 127 },

    onKeyDown: function(e) {
      if (VP.status.ended || e.ctrlKey || e.metaKey || e.altKey) return;
      var special = VP.specialKeys[e.key];
      var key = VP.namedKeys[e.key];
      if (key === undefined && e.key.length === 1 && e.key.charCodeAt(0) < 256) key = e.key.charCodeAt(0);
      if (special === undefined && key === undefined) return;
      if (!/^F\d+$/.test(e.key)) e.preventDefault();  // the function keys keep their browser use too
      VP.call(function() {
        if (special !== undefined) _vellorinSpecialKey(special, VP.mouse[0], VP.mouse[1]);
        else _vellorinKey(key, VP.mouse[0], VP.mouse[1]);
      });
    },

    onMouseDown: function(e) {
      if (e.target.closest && e.target.closest('.glut-menu')) return;
      VP.closeMenus(0);
      var canvas = VP.gl.canvas;
      if (e.target !== canvas || VP.status.ended) return;
      var menu = VP.attached[e.button];
      if (menu === undefined) return;
      e.preventDefault();
      VP.openMenu(menu, e.clientX, e.clientY, 0);
    },

    onMouseMove: function(e) {
      var r = VP.gl.canvas.getBoundingClientRect();
      VP.mouse = [Math.round(e.clientX - r.left), Math.round(e.clientY - r.top)];
    },
  },

  vellorinCreateWindow: function(width, height, title) {
    VP.cp1252 = new TextDecoder('windows-1252');
    document.title = VP.decode(title);
    var canvas = document.getElementById('canvas');
    var layer = document.getElementById('text');
    [canvas, layer].forEach(function(c) {
      c.width = width;
      c.height = height;
      c.style.width = width + 'px';
      c.style.height = height + 'px';
    });
    VP.gl = VP.createGL(canvas);
    VP.text = layer.getContext('2d');
    VP.text.font = '24px serif';  // GLUT's Times Roman 24
    // GLUT calls reshape when the window is first shown and whenever its size changes.
    new ResizeObserver(function() {
      var w = Math.round(canvas.clientWidth), h = Math.round(canvas.clientHeight);
      if (w !== canvas.width || h !== canvas.height) {
        canvas.width = layer.width = w;
        canvas.height = layer.height = h;
        VP.text.font = '24px serif';  // resizing resets the layer's state
        VP.reshapePending = true;
      }
    }).observe(canvas);
    canvas.addEventListener('contextmenu', function(e) { e.preventDefault(); });
    canvas.addEventListener('mousemove', VP.onMouseMove);
    document.addEventListener('mousedown', VP.onMouseDown);
    document.addEventListener('keydown', VP.onKeyDown);
    window.vellorinStatus = VP.status;
  },

  vellorinClear: function(color, depth, r, g, b, clearDepth) {
    var gl = VP.gl;
    gl.clearColor(r, g, b, 1);
    gl.clearDepth(clearDepth);
    gl.clear((color ? gl.COLOR_BUFFER_BIT : 0) | (depth ? gl.DEPTH_BUFFER_BIT : 0));
    if (color) VP.text.clearRect(0, 0, VP.text.canvas.width, VP.text.canvas.height);
  },

  vellorinDepthTest: function(enabled, func) {
    var gl = VP.gl;
    if (enabled === 1) gl.enable(gl.DEPTH_TEST);
    if (enabled === 0) gl.disable(gl.DEPTH_TEST);
    if (func > 0) gl.depthFunc(func);
  },

  vellorinViewport: function(x, y, width, height) {
    VP.viewport = [x, y, width, height];
    VP.gl.viewport(x, y, width, height);
  },

  vellorinDraw: function(lines, vertices, count) {
    var gl = VP.gl;
    var v = VP.viewport;
    gl.uniform4f(VP.viewportLocation, v[0], v[1], v[2], v[3]);
    gl.bufferData(gl.ARRAY_BUFFER, HEAPF32.subarray(vertices >> 2, (vertices >> 2) + count * 8), gl.STREAM_DRAW);
    gl.drawArrays(lines ? gl.LINES : gl.POINTS, 0, count);
  },

  vellorinRasterPos: function(valid, x, y, r, g, b) {
    VP.raster = {
      valid: !!valid,
      x: x,
      y: VP.text.canvas.height - y,  // window y grows upwards, the layer's downwards
      color: 'rgb(' + Math.round(r * 255) + ',' + Math.round(g * 255) + ',' + Math.round(b * 255) + ')',
    };
  },

  vellorinBitmapCharacter: function(character) {
    var raster = VP.raster;
    if (!raster.valid) return;
    var glyph = VP.glyphs[character];
    if (!glyph) {  // each character's text and advance, looked up once
      var s = VP.cp1252.decode(new Uint8Array([character]));
      glyph = VP.glyphs[character] = { text: s, advance: VP.text.measureText(s).width };
    }
    VP.text.fillStyle = raster.color;
    VP.text.fillText(glyph.text, raster.x, raster.y);
    raster.x += glyph.advance;
  },

  vellorinMenuCreate: function(menu, info) {
    VP.menus[menu] = { info: !!info, entries: [] };
  },

  vellorinMenuEntry: function(menu, label, value, submenu) {
    VP.menus[menu].entries.push({ label: VP.decode(label), value: value, submenu: submenu });
  },

  vellorinMenuAttach: function(menu, button) {
    VP.attached[button] = menu;
  },

  vellorinStartLoop: function() {
    VP.buildHelp();
    function frame() {
      if (VP.status.ended) return;
      VP.call(function() {
        if (VP.reshapePending) {
          VP.reshapePending = false;
          _vellorinReshape(VP.gl.canvas.width, VP.gl.canvas.height);
        }
        _vellorinFrame();
      });
      VP.status.frames++;
      requestAnimationFrame(frame);
    }
    requestAnimationFrame(frame);
  },
};

autoAddDeps(LibraryVellorinPlatform, '$VP');
mergeInto(LibraryManager.library, LibraryVellorinPlatform);
