// The text the program draws with glutBitmapCharacter, as a texture of glyphs and their boxes:
// GLUT's own bitmap font (handed over by web/glut.cpp) where the scale is 1, else the serif face
// at 24 pixels times the scale, which stays crisp. Made again when the scale changes; draw.js
// draws the glyph vertices with it.

var LibraryVellorinGlyphs = {
  $VPGlyphs: {
    font: null,        // the bitmap font, as the program handed it over
    glyphScale: 0,     // the scale the glyph texture was made for (0: none yet)
    blended: false,    // whether the glyphs are blended (the serif face's edges) or opaque bitmaps
    glyphTextures: null,

    // New textures for a new context (at start, or restored after a loss); the glyphs are made
    // again at the next draw.
    reset: function() {
      var gl = VPDraw.gl;
      VPGlyphs.glyphTextures = [gl.createTexture(), gl.createTexture()];
      VPGlyphs.glyphScale = 0;
    },

    // GLUT's bitmaps where the scale is 1 to the nearest pixel of the 24-pixel face.
    scaleFor: function(scale) { return Math.abs(24 * scale - 24) < 0.5 ? 1 : scale; },

    // The glyphs for the canvas's scale, made before the program draws where they need nothing
    // of the program's (the serif face; the bitmaps come with the program).
    prepareGlyphs: function() {
      var scale = VPGlyphs.scaleFor(VPSize.scale);
      if (scale !== 1 && VPGlyphs.glyphScale !== scale) VPGlyphs.makeGlyphs(scale);
    },

    // The glyph texture and the glyphs' boxes, for the current scale: GLUT's bitmaps where the
    // scale is 1 (to the nearest pixel of the 24-pixel face), else the serif face at 24 x scale.
    // Each box: its place in the texture (top row first), width, height, and its origin: how far
    // its lower-left corner lies left of and below the raster position.
    makeGlyphs: function(scale) {
      var gl = VPDraw.gl, font = VPGlyphs.font;
      var bitmaps = scale === 1;
      VPGlyphs.glyphScale = scale;
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
          var text = c < 32 ? ' ' : VPWindow.cp1252.decode(new Uint8Array([c]));
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
      [[VPGlyphs.glyphTextures[0], gl.RGBA32F, 256, 2, gl.RGBA, gl.FLOAT, metrics],
       [VPGlyphs.glyphTextures[1], gl.R8, atlasWidth, atlasHeight, gl.RED, gl.UNSIGNED_BYTE, atlas]].forEach(function(t, unit) {
        gl.activeTexture(gl.TEXTURE0 + unit);
        gl.bindTexture(gl.TEXTURE_2D, t[0]);
        gl.texImage2D(gl.TEXTURE_2D, 0, t[1], t[2], t[3], 0, t[4], t[5], t[6]);
        gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
        gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
      });
      // The serif face's edges are partly covered pixels, blended (draw.js turns blending on for
      // the glyphs' draws); GLUT's bitmaps are opaque.
      VPGlyphs.blended = !bitmaps;
      gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
    },
  },
  $VPGlyphs__deps: ['$VPDraw', '$VPSize', '$VPWindow'],

  vellorinBitmapFont: function(height, xorig, yorig, characters) {
    VPGlyphs.font = { height: height, xorig: xorig, yorig: yorig, characters: characters };
  },
};

autoAddDeps(LibraryVellorinGlyphs, '$VPGlyphs');
mergeInto(LibraryManager.library, LibraryVellorinGlyphs);
