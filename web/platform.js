// The page side of the web platform: WebGL 2 on the window's canvas (points, lines and bitmap
// text in one frame), the pop-up menus, the keys (real ones and the touch key pad) and the
// animation-frame loop. web/gl.cpp and web/glut.cpp call the functions below; page events call
// back into the program through the vellorin* exports, one at a time.
//
// The canvas is the GLUT window: as wide as the page allows, up to the size the program asked
// for, with its shape kept. Its backing store is exactly the device pixels it covers, so the
// browser shows it unscaled, and the program sees that size as the window's, through its reshape
// callback. The page shows the program's window scaled to fit: at `scale` device pixels per pixel
// of the window the program asked for, points, text and lines grow by that scale. At scale 1 the
// text is GLUT's own bitmap font; at other scales the serif face at that size, which stays crisp.
var LibraryVellorinPlatform = {
  $VP: {
    gl: null,
    lost: false,  // the GPU went away; nothing is drawn until it comes back
    size: [900, 700],  // the window size the program asked for
    scale: 1,          // canvas pixels per pixel of that window
    pixels: 1,         // canvas pixels per CSS pixel
    ratio: 0,          // the device pixel ratio the canvas was last sized for
    css: null,         // the canvas's CSS width and height, as last set
    box: null,         // the device pixels the browser last said the canvas covers
    pointerType: 'mouse',  // what last pointed: a mouse hovers, a finger or pen taps
    points: null,      // the program for points, glyphs and one-pixel lines, with its uniforms
    wide: null,        // the program for lines wider than a pixel
    vaos: null,
    uniforms: {},      // values last set, per program and name
    font: null,        // the bitmap font, as the program handed it over
    glyphScale: 0,     // the scale the glyph texture was made for (0: none yet)
    glyphTextures: null,
    capacity: 0,       // vertices the buffer holds
    cursor: 0,         // where the frame's next draw goes in it
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

    // The program's strings are single-byte Windows-1252 text.
    decode: function(ptr) {
      var end = ptr;
      while (HEAPU8[end]) ++end;
      return VP.cp1252.decode(HEAPU8.subarray(ptr, end));
    },

    // Served over http(s), the page can be installed and kept for visits without a network (its
    // manifest and service worker); opened from a folder (file://) it has all it needs, and the
    // browser would refuse to fetch them.
    offerOffline: function() {
      if (location.protocol === 'file:') return;
      var manifest = document.createElement('link');
      manifest.rel = 'manifest';
      manifest.href = 'vellorin.webmanifest';
      document.head.appendChild(manifest);
      if ('serviceWorker' in navigator) {
        navigator.serviceWorker.register('sw.js').catch(function() {});  // works without it, online
      }
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

    link: function(vs, fs, names) {
      var gl = VP.gl;
      var program = gl.createProgram();
      gl.attachShader(program, VP.compile(gl, gl.VERTEX_SHADER, vs));
      gl.attachShader(program, VP.compile(gl, gl.FRAGMENT_SHADER, fs));
      gl.linkProgram(program);
      if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
      var p = { program: program, uniforms: {} };
      names.forEach(function(n) { p.uniforms[n] = gl.getUniformLocation(program, n); });
      return p;
    },

    // Every GL object and every piece of state: made at start and again after a lost context.
    setUpGL: function() {
      var gl = VP.gl;
      // Vertices arrive in clip space. Points are squares of their size in pixels (times the
      // scale), centred as a desktop GL centres non-smooth points: odd sizes on a pixel centre,
      // even sizes on a corner. A glyph vertex (negative size) is a square point sprite over the
      // glyph's box, whose lower-left pixel is at floor(raster - origin), as glBitmap puts it; the
      // fragment shader keeps the glyph's set pixels, at the raster position's depth.
      var vs = '#version 300 es\n' +
        'in vec4 aPosition; in vec3 aColor; in float aSize;\n' +
        'uniform vec4 uViewport; uniform float uScale; uniform float uGlyphScale;\n' +
        'uniform highp sampler2D uMetrics;\n' +
        'out vec3 vColor; flat out vec4 vGlyph; flat out vec2 vCorner;\n' +
        'void main() {\n' +
        '  vec4 p = aPosition;\n' +
        '  vGlyph = vec4(0.0); vCorner = vec2(0.0);\n' +
        '  float size;\n' +
        '  if (aSize < 0.0) {\n' +
        '    int c = int(-aSize);\n' +
        '    vec4 cell = texelFetch(uMetrics, ivec2(c, 0), 0);\n' +
        '    vec2 origin = texelFetch(uMetrics, ivec2(c, 1), 0).xy;\n' +
        '    vec2 corner = floor(vec2(p.x + p.w * uGlyphScale, p.y) - origin);\n' +
        '    size = max(cell.z, cell.w);\n' +
        '    size += mod(size - cell.z, 2.0);\n' +
        '    vec2 centre = corner + vec2(cell.z, size) * 0.5;\n' +
        '    p = vec4((centre - uViewport.xy) / uViewport.zw * 2.0 - 1.0, p.z, 1.0);\n' +
        '    vGlyph = cell; vCorner = corner;\n' +
        '  } else {\n' +
        '    size = max(floor(aSize * uScale + 0.5), 1.0);\n' +
        '    if (aSize > 0.0 && p.w > 0.0) {\n' +
        '      vec2 w = uViewport.xy + (p.xy / p.w * 0.5 + 0.5) * uViewport.zw;\n' +
        '      vec2 c = mod(size, 2.0) == 1.0 ? floor(w) + 0.5 : floor(w + 0.5);\n' +
        '      p.xy = ((c - uViewport.xy) / uViewport.zw * 2.0 - 1.0) * p.w;\n' +
        '    }\n' +
        '  }\n' +
        '  gl_Position = p;\n' +
        '  gl_PointSize = size;\n' +
        '  vColor = aColor;\n' +
        '}\n';
      var fs = '#version 300 es\nprecision highp float;\n' +
        'uniform highp sampler2D uAtlas;\n' +
        'in vec3 vColor; flat in vec4 vGlyph; flat in vec2 vCorner; out vec4 color;\n' +
        'void main() {\n' +
        '  float alpha = 1.0;\n' +
        '  if (vGlyph.z > 0.0) {\n' +
        '    vec2 p = floor(gl_FragCoord.xy) - vCorner;\n' +
        '    if (p.x < 0.0 || p.y < 0.0 || p.x >= vGlyph.z || p.y >= vGlyph.w) discard;\n' +
        '    alpha = texelFetch(uAtlas, ivec2(vGlyph.x + p.x, vGlyph.y + vGlyph.w - 1.0 - p.y), 0).r;\n' +
        '    if (alpha == 0.0) discard;\n' +
        '  }\n' +
        '  color = vec4(vColor, alpha);\n' +
        '}\n';
      // Lines wider than a pixel, one instance a line: a quad along it, as wide as the scale in
      // the direction across its major axis, as a desktop GL widens aliased lines.
      var wideVs = '#version 300 es\n' +
        'in vec4 aFrom; in vec4 aTo; in vec3 aColor;\n' +
        'uniform vec4 uViewport; uniform float uWidth;\n' +
        'out vec3 vColor;\n' +
        'void main() {\n' +
        '  vec3 a = aFrom.xyz / aFrom.w, b = aTo.xyz / aTo.w;\n' +
        '  vec2 d = (b.xy - a.xy) * uViewport.zw;\n' +
        '  vec2 across = abs(d.x) >= abs(d.y) ? vec2(0.0, 1.0) : vec2(1.0, 0.0);\n' +
        '  int k = gl_VertexID;\n' +
        '  vec3 e = (k == 1 || k == 2 || k == 4) ? b : a;\n' +
        '  float side = (k == 2 || k == 4 || k == 5) ? 0.5 : -0.5;\n' +
        '  gl_Position = vec4(e.xy + across * side * uWidth / uViewport.zw * 2.0, e.z, 1.0);\n' +
        '  vColor = aColor;\n' +
        '}\n';
      var wideFs = '#version 300 es\nprecision mediump float;\n' +
        'in vec3 vColor; out vec4 color;\n' +
        'void main() { color = vec4(vColor, 1.0); }\n';
      VP.points = VP.link(vs, fs, ['uViewport', 'uScale', 'uGlyphScale', 'uMetrics', 'uAtlas']);
      VP.wide = VP.link(wideVs, wideFs, ['uViewport', 'uWidth']);
      VP.uniforms = {};
      gl.useProgram(VP.points.program);
      gl.uniform1i(VP.points.uniforms.uMetrics, 0);
      gl.uniform1i(VP.points.uniforms.uAtlas, 1);
      // One buffer for every draw; each program reads it through its own vertex array.
      var buffer = gl.createBuffer();
      var stride = 8 * 4;
      // Each program's vertex array; point(offset) aims its attributes at the vertices there.
      var attributes = function(program, list, divisor) {
        var vao = gl.createVertexArray();
        gl.bindVertexArray(vao);
        gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
        var locations = list.map(function(a) {
          var location = gl.getAttribLocation(program.program, a[0]);
          gl.enableVertexAttribArray(location);
          gl.vertexAttribDivisor(location, divisor);
          return location;
        });
        program.point = function(offset) {
          list.forEach(function(a, k) { gl.vertexAttribPointer(locations[k], a[1], gl.FLOAT, false, a[3] || stride, offset + a[2]); });
        };
        program.point(0);
        return vao;
      };
      VP.vaos = {
        points: attributes(VP.points, [['aPosition', 4, 0], ['aColor', 3, 16], ['aSize', 1, 28]], 0),
        wide: attributes(VP.wide, [['aFrom', 4, 0, 2 * stride], ['aColor', 3, 16, 2 * stride], ['aTo', 4, stride, 2 * stride]], 1),
      };
      VP.current = null;
      VP.capacity = VP.cursor = 0;
      VP.glyphTextures = [gl.createTexture(), gl.createTexture()];
      VP.glyphScale = 0;
      var s = VP.state;
      if (s.depthTest) gl.enable(gl.DEPTH_TEST); else gl.disable(gl.DEPTH_TEST);
      gl.depthFunc(s.depthFunc);
      gl.viewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    },

    // Sets a uniform of the program in use only when its value changes.
    uniform: function(p, name, values) {
      var key = (p === VP.wide ? 'w.' : 'p.') + name;
      var last = VP.uniforms[key];
      if (last && last.length === values.length && last.every(function(v, i) { return v === values[i]; })) return;
      VP.uniforms[key] = values;
      var gl = VP.gl, location = p.uniforms[name];
      if (values.length === 4) gl.uniform4f(location, values[0], values[1], values[2], values[3]);
      else gl.uniform1f(location, values[0]);
    },

    use: function(p, vao) {
      if (VP.current === p) return;
      VP.current = p;
      VP.gl.useProgram(p.program);
      VP.gl.bindVertexArray(vao);
    },

    // The glyph texture and the glyphs' boxes, for the current scale: GLUT's bitmaps where the
    // scale is 1 (to the nearest pixel of the 24-pixel face), else the serif face at 24 x scale.
    // Each box: its place in the texture (top row first), width, height, and its origin: how far
    // its lower-left corner lies left of and below the raster position.
    makeGlyphs: function(scale) {
      var gl = VP.gl, font = VP.font;
      var bitmaps = scale === 1;
      VP.glyphScale = scale;
      var boxes = [], atlasWidth = 1024, x = 0, y = 0, shelf = 0;
      var place = function(box) {
        if (x + box.w > atlasWidth) { x = 0; y += shelf; shelf = 0; }
        box.x = x; box.y = y;
        x += box.w + 1;
        shelf = Math.max(shelf, box.h + 1);
      };
      var ctx = null;
      if (bitmaps) {
        for (var c = 0; c < 256; ++c) {
          var face = HEAPU32[(font.characters >> 2) + c];
          var box = { w: HEAPU8[face], h: font.height, ox: font.xorig, oy: font.yorig, face: face };
          place(box);
          boxes.push(box);
        }
      } else {
        ctx = document.createElement('canvas').getContext('2d', { willReadFrequently: true });
        var face = (24 * scale).toFixed(2) + 'px serif';
        ctx.font = face;
        for (var c = 0; c < 256; ++c) {
          var text = c < 32 ? ' ' : VP.cp1252.decode(new Uint8Array([c]));
          var m = ctx.measureText(text);
          var left = Math.ceil(m.actualBoundingBoxLeft || 0), right = Math.ceil(m.actualBoundingBoxRight || 0);
          var up = Math.ceil(m.actualBoundingBoxAscent || 0), down = Math.ceil(m.actualBoundingBoxDescent || 0);
          var box = { w: Math.max(1, left + right + 2), h: Math.max(1, up + down + 2), ox: left + 1, oy: down + 1, text: text, up: up };
          place(box);
          boxes.push(box);
        }
      }
      var atlasHeight = y + shelf;
      var atlas = new Uint8Array(atlasWidth * atlasHeight);
      if (bitmaps) {
        boxes.forEach(function(b) {
          var rowBytes = (b.w + 7) >> 3;
          for (var r = 0; r < b.h; ++r)  // the font's rows run bottom to top
            for (var i = 0; i < b.w; ++i)
              if (HEAPU8[b.face + 1 + r * rowBytes + (i >> 3)] & (0x80 >> (i & 7)))
                atlas[(b.y + b.h - 1 - r) * atlasWidth + b.x + i] = 255;
        });
      } else {
        ctx.canvas.width = atlasWidth;
        ctx.canvas.height = atlasHeight;
        ctx.font = face;  // resizing the canvas reset it
        ctx.fillStyle = '#fff';
        boxes.forEach(function(b) { ctx.fillText(b.text, b.x + b.ox, b.y + 1 + b.up); });
        var rgba = ctx.getImageData(0, 0, atlasWidth, atlasHeight).data;
        for (var k = 0; k < atlas.length; ++k) atlas[k] = rgba[k * 4 + 3];
      }
      var metrics = new Float32Array(256 * 2 * 4);
      boxes.forEach(function(b, c) {
        metrics.set([b.x, b.y, b.w, b.h], c * 4);
        metrics.set([b.ox, b.oy, 0, 0], (256 + c) * 4);
      });
      gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
      [[VP.glyphTextures[0], gl.RGBA32F, 256, 2, gl.RGBA, gl.FLOAT, metrics],
       [VP.glyphTextures[1], gl.R8, atlasWidth, atlasHeight, gl.RED, gl.UNSIGNED_BYTE, atlas]].forEach(function(t, unit) {
        gl.activeTexture(gl.TEXTURE0 + unit);
        gl.bindTexture(gl.TEXTURE_2D, t[0]);
        gl.texImage2D(gl.TEXTURE_2D, 0, t[1], t[2], t[3], 0, t[4], t[5], t[6]);
        gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
        gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
      });
      // The serif face's edges are partly covered pixels, blended; points and lines are opaque.
      if (bitmaps) gl.disable(gl.BLEND); else gl.enable(gl.BLEND);
      gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
    },

    noWebGL: function() {
      VP.status.webgl = false;
      document.getElementById('nogl').hidden = false;
    },

    // --- size ---------------------------------------------------------------------------------
    // The canvas's CSS size is snapped to whole device pixels, so its backing store can be exactly
    // the pixels it covers. Where the browser counts those pixels itself (devicePixelContentBoxSize)
    // and its count agrees with the snapped size to a pixel, its count is taken; device emulation
    // reports CSS pixels there, which the check sets aside. A change reaches the program as a
    // reshape at the next frame.
    fit: function() {
      var canvas = document.getElementById('canvas');
      var ratio = VP.ratio = window.devicePixelRatio || 1;
      var room = Math.min(document.getElementById('window').clientWidth, VP.size[0]);
      // Layout keeps sizes in 64ths of a CSS pixel: a size is whole device pixels only if it is
      // such a 64th too (at a ratio of 3, whole CSS pixels; at 2.75, multiples of 11 device pixels).
      var whole = function(d) { var c = d / ratio * 64; return Math.abs(c - Math.round(c)) < 1e-6; };
      var w = Math.max(1, Math.floor(room * ratio + 1e-6));
      for (var k = 0; k < 64 && w > 1 && !whole(w); ++k) --w;
      var h = Math.max(1, Math.round(w * VP.size[1] / VP.size[0]));
      for (var k = 1; k < 64 && !whole(h); ++k) h += (k % 2 ? k : -k);  // the nearest such height
      var css = [w / ratio + 'px', h / ratio + 'px'];
      if (!VP.css || VP.css[0] !== css[0] || VP.css[1] !== css[1]) {
        VP.css = css;
        canvas.style.width = css[0];
        canvas.style.height = css[1];
      }
      var box = VP.box;
      if (box && Math.abs(box[0] - w) <= 1 && Math.abs(box[1] - h) <= 1) {
        w = box[0];
        h = box[1];
      }
      VP.pixels = w / parseFloat(VP.css[0]);  // the browser's count may differ from ratio x CSS size by a pixel
      if (w === canvas.width && h === canvas.height) return;
      canvas.width = w;
      canvas.height = h;
      VP.scale = w / VP.size[0];
      VP.reshapePending = true;
    },

    watchSize: function() {
      var canvas = document.getElementById('canvas');
      var observer = new ResizeObserver(function(entries) {
        entries.forEach(function(e) {
          var box = e.target === canvas && e.devicePixelContentBoxSize && e.devicePixelContentBoxSize[0];
          if (box) VP.box = [box.inlineSize, box.blockSize];
        });
        VP.fit();
      });
      observer.observe(document.getElementById('window'));
      try {
        observer.observe(canvas, { box: 'device-pixel-content-box' });
      } catch (e) {
        // not offered: the snapped size stands
      }
      VP.fit();
    },

    // A new pixel ratio (zoom, another screen) does not always come with a resize.
    checkRatio: function() {
      if ((window.devicePixelRatio || 1) !== VP.ratio) VP.fit();
    },

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
        // A finger's tap reaches here as a hover first, then as a click at the same spot: a
        // submenu opened by that hover, moved left over its entry where the screen is narrow,
        // would take the click. So only a mouse opens a submenu by hovering.
        row.addEventListener('mouseenter', function() {
          row.focus({ preventScroll: true });
          VP.closeMenus(level + 1);
          if (entry.submenu && VP.pointerType === 'mouse') row.openSub(false);
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
      // On the screen whole where it fits: the canvas's corner, where the key pad's Menu button
      // opens it, may lie above the screen once a phone's page is scrolled down to the key pad.
      if (r.bottom > window.innerHeight || r.top < 0) box.style.top = Math.max(0, Math.min(r.top, window.innerHeight - r.height)) + 'px';
      if (r.right > window.innerWidth || r.left < 0) box.style.left = Math.max(0, Math.min(r.left, window.innerWidth - r.width)) + 'px';
      VP.openMenus.push(box);
      if (focusFirst) VP.items(box)[0].focus();
    },

    // The attached main menu, opened by a long press, the keyboard (at the pointer's last place on
    // the canvas) or the key pad's Menu button.
    openMainMenu: function(x, y, focusFirst, opener) {
      var menu = VP.attached[2];  // GLUT_RIGHT_BUTTON
      if (menu === undefined || VP.status.ended || !VP.status.webgl) return;
      VP.openMenu(menu, x, y, 0, opener || null, focusFirst);
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
        VP.openMainMenu(r.left + VP.mouse[0] / VP.pixels, r.top + VP.mouse[1] / VP.pixels, true);
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
      VP.mouse = [Math.round((e.clientX - r.left) * VP.pixels), Math.round((e.clientY - r.top) * VP.pixels)];
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
      ['pointerdown', 'pointermove'].forEach(function(type) {
        document.addEventListener(type, function(e) { VP.pointerType = e.pointerType; }, true);
      });
      document.addEventListener('mousedown', VP.onMouseDown);
      document.addEventListener('keydown', VP.onKeyDown);
      // The key pad sends its keys as the keyboard would.
      document.querySelectorAll('#keypad [data-key]').forEach(function(button) {
        button.addEventListener('click', function(e) {
          if (VP.status.webgl && !VP.openMenus.length) VP.sendKey(button.dataset.key);
          // A tap leaves the keys with the program, for a keyboard beside the screen; from the
          // keyboard (detail 0) the focus stays on the button.
          if (e.detail > 0) VP.focusCanvas();
        });
      });
      // The Menu button's menu opens beside it, where the finger is (the canvas may be scrolled
      // out of view above the key pad). detail 0: from the keyboard. The button is the menu's
      // opener: it tells whether the menu is open, and Escape goes back to it.
      document.getElementById('menu-button').addEventListener('click', function(e) {
        var r = e.currentTarget.getBoundingClientRect();
        VP.openMainMenu(r.left, r.bottom, e.detail === 0, e.currentTarget);
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
    VP.offerOffline();
    var canvas = document.getElementById('canvas');
    VP.size = [width, height];
    // The window never grows past the size the program asked for, and keeps its shape.
    document.querySelector('main').style.flexBasis = width + 'px';
    document.getElementById('window').style.maxWidth = width + 'px';
    canvas.style.aspectRatio = width + ' / ' + height;
    VP.gl = canvas.getContext('webgl2', { alpha: false, antialias: false, depth: true, stencil: false });
    if (!VP.gl) {
      VP.noWebGL();
      return;
    }
    // GLUT calls reshape when the window is first shown and whenever its size changes.
    VP.watchSize();
    VP.setUpGL();
    VP.listen();
    VP.focusCanvas();
  },

  vellorinClear: function(color, depth, r, g, b, clearDepth) {
    if (!VP.drawing()) return;
    var gl = VP.gl;
    gl.clearColor(r, g, b, 1);
    gl.clearDepth(clearDepth);
    gl.clear((color ? gl.COLOR_BUFFER_BIT : 0) | (depth ? gl.DEPTH_BUFFER_BIT : 0));
    if (color) VP.cursor = 0;  // a new frame: its draws start the buffer again
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

  // Points (with glyphs among them) or lines. Lines stay one pixel wide below a scale of 1.5,
  // drawn by WebGL's own line rule, which is a desktop GL's.
  vellorinDraw: function(lines, vertices, count) {
    if (!VP.drawing()) return;
    var gl = VP.gl;
    var v = VP.state.viewport;
    var width = Math.round(VP.scale);
    // The frame's draws fill one buffer one after another, so none waits for the one before;
    // a frame that needs more space gets a larger buffer, once.
    if (VP.cursor + count > VP.capacity) {
      VP.capacity = Math.max(2 * VP.capacity, count, 4096);
      gl.bufferData(gl.ARRAY_BUFFER, VP.capacity * 32, gl.DYNAMIC_DRAW);
      VP.cursor = 0;
    }
    var first = VP.cursor;
    VP.cursor += count;
    gl.bufferSubData(gl.ARRAY_BUFFER, first * 32, HEAPF32, vertices >> 2, count * 8);
    if (lines && width > 1) {
      VP.use(VP.wide, VP.vaos.wide);
      VP.wide.point(first * 32);
      VP.uniform(VP.wide, 'uViewport', v);
      VP.uniform(VP.wide, 'uWidth', [width]);
      gl.drawArraysInstanced(gl.TRIANGLES, 0, 6, count >> 1);
      return;
    }
    var glyphScale = Math.abs(24 * VP.scale - 24) < 0.5 ? 1 : VP.scale;
    if (VP.glyphScale !== glyphScale) VP.makeGlyphs(glyphScale);
    VP.use(VP.points, VP.vaos.points);
    VP.uniform(VP.points, 'uViewport', v);
    VP.uniform(VP.points, 'uScale', [VP.scale]);
    VP.uniform(VP.points, 'uGlyphScale', [VP.glyphScale]);
    gl.drawArrays(lines ? gl.LINES : gl.POINTS, first, count);
  },

  vellorinBitmapFont: function(height, xorig, yorig, characters) {
    VP.font = { height: height, xorig: xorig, yorig: yorig, characters: characters };
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
      VP.checkRatio();
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
