// Drawing with WebGL 2: the shaders, the one vertex buffer, and what web/gl.cpp hands over per
// draw: points (square, of their size times the scale), lines (one pixel wide by WebGL's own line
// rule, or wider quads from a scale of 1.5 up: a line two pixels wide is drawn here) and glyphs
// (point sprites over glyphs.js's texture). Also the GL state the program sets, sent again to a
// context that was lost and restored. Leaves the glyph texture to glyphs.js and the canvas's size
// to canvas_size.js.

var LibraryVellorinDraw = {
  $VPDraw: {
    gl: null,
    lost: false,  // the GPU went away; nothing is drawn until it comes back
    points: null,      // the program for runs with glyphs, with its uniforms
    plain: null,       // the program for points and one-pixel lines without glyphs
    wide: null,        // the program for lines wider than a pixel
    vaos: null,
    blending: false,   // whether blending is on in the context
    clearValues: null, // the context's clear colour (r, g, b) and depth, as last set
    capacity: 0,       // vertices the buffer holds
    cursor: 0,         // where the frame's next draw goes in it

    // What the program set, sent again to a restored context.
    state: { depthTest: false, depthFunc: 0x0201, viewport: [0, 0, 0, 0] },

    drawing: function() { return VPDraw.gl && !VPDraw.lost; },

    // A program compiled and linked; its status is asked for later (checked), so the GL can
    // compile it meanwhile.
    link: function(vs, fs) {
      var gl = VPDraw.gl;
      var program = gl.createProgram(), shaders = [];
      [[gl.VERTEX_SHADER, vs], [gl.FRAGMENT_SHADER, fs]].forEach(function(s) {
        var shader = gl.createShader(s[0]);
        gl.shaderSource(shader, s[1]);
        gl.compileShader(shader);
        gl.attachShader(program, shader);
        shaders.push(shader);
      });
      gl.linkProgram(program);
      return { program: program, shaders: shaders, uniforms: {}, values: {}, viewport: null };  // values: those last set
    },

    // Whether the GL has finished compiling the programs, where it can tell without waiting; a GL
    // that cannot tell is given until the module is in (`waited`), then waited for.
    compiled: function(waited) {
      var gl = VPDraw.gl;
      var parallel = gl.getExtension('KHR_parallel_shader_compile');
      if (!parallel) return waited;
      return [VPDraw.points, VPDraw.plain, VPDraw.wide].every(function(p) {
        return gl.getProgramParameter(p.program, parallel.COMPLETION_STATUS_KHR);
      });
    },

    checked: function(p, names) {
      var gl = VPDraw.gl;
      if (!gl.getProgramParameter(p.program, gl.LINK_STATUS)) {
        var logs = p.shaders.map(function(s) { return gl.getShaderInfoLog(s); });
        throw new Error(logs.concat([gl.getProgramInfoLog(p.program)]).join('\n'));
      }
      names.forEach(function(n) { p.uniforms[n] = gl.getUniformLocation(p.program, n); });
      return p;
    },

    // Every GL object and every piece of state: made at start and again after a lost context.
    setUpGL: function() {
      VPDraw.startPrograms();
      VPDraw.finishGL();
    },

    // The programs, handed to the GL to compile while the page goes on (finishGL takes them).
    startPrograms: function() {
      // Vertices arrive in clip space. Points are squares of their size in pixels (times the
      // scale), centred as a desktop GL centres non-smooth points: odd sizes on a pixel centre,
      // even sizes on a corner. A glyph vertex (negative size) is a square point sprite over the
      // glyph's box, whose lower-left pixel is at floor(raster - origin), as glBitmap puts it; the
      // fragment shader keeps the glyph's set pixels, at the raster position's depth.
      // A point's size and place (or a line end's, whose size is 0 and which stays where it is),
      // shared by the program for glyph runs and the one for plain points and lines.
      var placePoint =
        '    size = max(floor(aSize * uScale + 0.5), 1.0);\n' +
        '    if (aSize > 0.0 && p.w > 0.0) {\n' +
        '      vec2 w = uViewport.xy + (p.xy / p.w * 0.5 + 0.5) * uViewport.zw;\n' +
        '      vec2 c = mod(size, 2.0) == 1.0 ? floor(w) + 0.5 : floor(w + 0.5);\n' +
        '      p.xy = ((c - uViewport.xy) / uViewport.zw * 2.0 - 1.0) * p.w;\n' +
        '    }\n';
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
        '  } else {\n' + placePoint +
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
      // Runs without glyphs (most of the frame: the samples) skip the glyphs' texture look-ups.
      var plainVs = '#version 300 es\n' +
        'in vec4 aPosition; in vec3 aColor; in float aSize;\n' +
        'uniform vec4 uViewport; uniform float uScale;\n' +
        'out vec3 vColor;\n' +
        'void main() {\n' +
        '  vec4 p = aPosition;\n' +
        '  float size;\n' +
        '  {\n' + placePoint +
        '  }\n' +
        '  gl_Position = p;\n' +
        '  gl_PointSize = size;\n' +
        '  vColor = aColor;\n' +
        '}\n';
      var plainFs = '#version 300 es\nprecision highp float;\n' +
        'in vec3 vColor; out vec4 color;\n' +
        'void main() { color = vec4(vColor, 1.0); }\n';
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
      VPDraw.points = VPDraw.link(vs, fs);
      VPDraw.plain = VPDraw.link(plainVs, plainFs);
      VPDraw.wide = VPDraw.link(wideVs, wideFs);
      VPDraw.gl.flush();  // the GL starts compiling now, not when the frame's commands go
      VPGlyphs.reset();
    },

    finishGL: function() {
      var gl = VPDraw.gl;
      VPDraw.checked(VPDraw.points, ['uViewport', 'uScale', 'uGlyphScale', 'uMetrics', 'uAtlas']);
      VPDraw.checked(VPDraw.plain, ['uViewport', 'uScale']);
      VPDraw.checked(VPDraw.wide, ['uViewport', 'uWidth']);
      VPDraw.blending = false;
      VPDraw.clearValues = [NaN, NaN, NaN, NaN];  // unknown: set at the first clear
      gl.useProgram(VPDraw.points.program);
      gl.uniform1i(VPDraw.points.uniforms.uMetrics, 0);
      gl.uniform1i(VPDraw.points.uniforms.uAtlas, 1);
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
          for (var k = 0; k < list.length; ++k) {
            var a = list[k];
            gl.vertexAttribPointer(locations[k], a[1], gl.FLOAT, false, a[3] || stride, offset + a[2]);
          }
        };
        program.point(0);
        return vao;
      };
      VPDraw.vaos = {
        points: attributes(VPDraw.points, [['aPosition', 4, 0], ['aColor', 3, 16], ['aSize', 1, 28]], 0),
        plain: attributes(VPDraw.plain, [['aPosition', 4, 0], ['aColor', 3, 16], ['aSize', 1, 28]], 0),
        wide: attributes(VPDraw.wide, [['aFrom', 4, 0, 2 * stride], ['aColor', 3, 16, 2 * stride], ['aTo', 4, stride, 2 * stride]], 1),
      };
      VPDraw.current = null;
      VPDraw.capacity = VPDraw.cursor = 0;
      var s = VPDraw.state;
      if (s.depthTest) gl.enable(gl.DEPTH_TEST); else gl.disable(gl.DEPTH_TEST);
      gl.depthFunc(s.depthFunc);
      gl.viewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    },

    // A lost context (the GPU went away) draws nothing until the browser gives it back; then
    // every GL object is made again.
    watchContext: function(canvas) {
      canvas.addEventListener('webglcontextlost', function(e) {
        e.preventDefault();  // asks for the context back
        VPDraw.lost = true;
        VPWindow.status.lost = true;
      });
      canvas.addEventListener('webglcontextrestored', function() {
        VPDraw.setUpGL();
        VPDraw.lost = false;
        VPWindow.status.lost = false;
        VPWindow.status.restored++;
      });
    },

    // Sets a float uniform of the program in use only when its value changes.
    uniform: function(p, name, value) {
      if (p.values[name] === value) return;
      p.values[name] = value;
      VPDraw.gl.uniform1f(p.uniforms[name], value);
    },

    // Sets the viewport uniform of the program in use when the viewport has changed (each change
    // makes a new state.viewport).
    viewport: function(p) {
      var v = VPDraw.state.viewport;
      if (p.viewport === v) return;
      p.viewport = v;
      VPDraw.gl.uniform4f(p.uniforms.uViewport, v[0], v[1], v[2], v[3]);
    },

    use: function(p, vao) {
      if (VPDraw.current === p) return;
      VPDraw.current = p;
      VPDraw.gl.useProgram(p.program);
      VPDraw.gl.bindVertexArray(vao);
    },
  },
  $VPDraw__deps: ['$VPGlyphs', '$VPWindow'],

  vellorinClear: function(color, depth, r, g, b, clearDepth) {
    if (!VPDraw.drawing()) return;
    var gl = VPDraw.gl;
    // The clear values are the context's state: set again only when they change.
    var c = VPDraw.clearValues;
    if (c[0] !== r || c[1] !== g || c[2] !== b) {
      gl.clearColor(r, g, b, 1);
      c[0] = r; c[1] = g; c[2] = b;
    }
    if (c[3] !== clearDepth) {
      gl.clearDepth(clearDepth);
      c[3] = clearDepth;
    }
    gl.clear((color ? gl.COLOR_BUFFER_BIT : 0) | (depth ? gl.DEPTH_BUFFER_BIT : 0));
    if (color) VPDraw.cursor = 0;  // a new frame: its draws start the buffer again
  },

  vellorinDepthTest: function(enabled, func) {
    var s = VPDraw.state;
    if (enabled >= 0) s.depthTest = enabled === 1;
    if (func > 0) s.depthFunc = func;
    if (!VPDraw.drawing()) return;
    var gl = VPDraw.gl;
    if (enabled === 1) gl.enable(gl.DEPTH_TEST);
    if (enabled === 0) gl.disable(gl.DEPTH_TEST);
    if (func > 0) gl.depthFunc(func);
  },

  vellorinViewport: function(x, y, width, height) {
    VPDraw.state.viewport = [x, y, width, height];
    if (VPDraw.drawing()) VPDraw.gl.viewport(x, y, width, height);
  },

  // The frame's vertices, uploaded at once, then drawn run by run: points, lines, or points with
  // glyphs among them (kinds 0, 1, 2 of web/platform.h). Lines stay one pixel wide below a scale
  // of 1.5, drawn by WebGL's own line rule, which is a desktop GL's. Glyphs of the serif face are
  // blended at their partly covered edges; the points and lines are opaque, so they are drawn
  // without blending, which would give the same pixels.
  vellorinDraw: function(vertices, count, runs, runCount) {
    if (!VPDraw.drawing()) return;
    var gl = VPDraw.gl;
    // The frame's uploads fill one buffer one after another, so none waits for a draw before it;
    // a frame that needs more space gets a larger buffer, once.
    if (VPDraw.cursor + count > VPDraw.capacity) {
      VPDraw.capacity = Math.max(2 * VPDraw.capacity, count, 4096);
      gl.bufferData(gl.ARRAY_BUFFER, VPDraw.capacity * 32, gl.DYNAMIC_DRAW);
      VPDraw.cursor = 0;
    }
    var base = VPDraw.cursor;
    VPDraw.cursor += count;
    gl.bufferSubData(gl.ARRAY_BUFFER, base * 32, HEAPF32, vertices >> 2, count * 8);
    var glyphScale = VPGlyphs.scaleFor(VPSize.scale);
    if (VPGlyphs.glyphScale !== glyphScale) VPGlyphs.makeGlyphs(glyphScale);
    var width = Math.round(VPSize.scale);
    var run = runs >> 2;
    for (var r = 0; r < runCount; ++r, run += 2) {
      var first = HEAP32[run], kind = HEAP32[run + 1];
      var n = (r + 1 < runCount ? HEAP32[run + 2] : count) - first;
      if (n <= 0) continue;
      first += base;
      var blend = kind === 2 && VPGlyphs.blended;
      if (blend !== VPDraw.blending) {
        VPDraw.blending = blend;
        if (blend) gl.enable(gl.BLEND); else gl.disable(gl.BLEND);
      }
      if (kind === 1 && width > 1) {
        VPDraw.use(VPDraw.wide, VPDraw.vaos.wide);
        VPDraw.wide.point(first * 32);
        VPDraw.viewport(VPDraw.wide);
        VPDraw.uniform(VPDraw.wide, 'uWidth', width);
        gl.drawArraysInstanced(gl.TRIANGLES, 0, 6, n >> 1);
        continue;
      }
      if (kind === 2) {
        VPDraw.use(VPDraw.points, VPDraw.vaos.points);
        VPDraw.uniform(VPDraw.points, 'uGlyphScale', VPGlyphs.glyphScale);
      } else {
        VPDraw.use(VPDraw.plain, VPDraw.vaos.plain);
      }
      VPDraw.viewport(VPDraw.current);
      VPDraw.uniform(VPDraw.current, 'uScale', VPSize.scale);
      gl.drawArrays(kind === 1 ? gl.LINES : gl.POINTS, first, n);
    }
  },
  vellorinDraw__deps: ['$VPGlyphs', '$VPSize'],
};

autoAddDeps(LibraryVellorinDraw, '$VPDraw');
mergeInto(LibraryManager.library, LibraryVellorinDraw);
