// The canvas's size. The canvas is the GLUT window: as wide as the page allows, up to the size the
// program asked for, with its shape kept. Its backing store is exactly the device pixels it
// covers, so the browser shows it unscaled, and the program sees that size as the window's,
// through its reshape callback (at the next frame, window.js). The page shows the program's
// window scaled to fit: at `scale` device pixels per pixel of the window the program asked for,
// points, text and lines grow by that scale (draw.js, glyphs.js). Pixel ratios, zoom and device
// emulation are handled here; nothing here draws.

var LibraryVellorinCanvasSize = {
  $VPSize: {
    size: [900, 700],  // the window size the program asked for
    scale: 1,          // canvas pixels per pixel of that window
    pixels: 1,         // canvas pixels per CSS pixel
    ratio: 0,          // the device pixel ratio the canvas was last sized for
    css: null,         // the canvas's CSS width and height, as last set
    box: null,         // the device pixels the browser last said the canvas covers
    reshapePending: true,

    // The canvas's CSS size is snapped to whole device pixels, so its backing store can be exactly
    // the pixels it covers. Where the browser counts those pixels itself (devicePixelContentBoxSize)
    // and its count agrees with the snapped size to a pixel, its count is taken; device emulation
    // reports CSS pixels there, which the check sets aside. A change reaches the program as a
    // reshape at the next frame.
    fit: function() {
      var canvas = document.getElementById('canvas');
      var ratio = VPSize.ratio = window.devicePixelRatio || 1;
      var room = Math.min(document.getElementById('window').clientWidth, VPSize.size[0]);
      // Layout keeps sizes in 64ths of a CSS pixel: a size is whole device pixels only if it is
      // such a 64th too (at a ratio of 3, whole CSS pixels; at 2.75, multiples of 11 device pixels).
      var whole = function(d) { var c = d / ratio * 64; return Math.abs(c - Math.round(c)) < 1e-6; };
      var w = Math.max(1, Math.floor(room * ratio + 1e-6));
      for (var k = 0; k < 64 && w > 1 && !whole(w); ++k) --w;
      var h = Math.max(1, Math.round(w * VPSize.size[1] / VPSize.size[0]));
      for (var k = 1; k < 64 && !whole(h); ++k) h += (k % 2 ? k : -k);  // the nearest such height
      var css = [w / ratio + 'px', h / ratio + 'px'];
      if (!VPSize.css || VPSize.css[0] !== css[0] || VPSize.css[1] !== css[1]) {
        VPSize.css = css;
        canvas.style.width = css[0];
        canvas.style.height = css[1];
      }
      var box = VPSize.box;
      if (box && Math.abs(box[0] - w) <= 1 && Math.abs(box[1] - h) <= 1) {
        w = box[0];
        h = box[1];
      }
      VPSize.pixels = w / parseFloat(VPSize.css[0]);  // the browser's count may differ from ratio x CSS size by a pixel
      VPSize.scale = w / VPSize.size[0];
      if (w === canvas.width && h === canvas.height) return;
      canvas.width = w;
      canvas.height = h;
      VPSize.reshapePending = true;
    },

    watchSize: function() {
      var canvas = document.getElementById('canvas');
      var observer = new ResizeObserver(function(entries) {
        entries.forEach(function(e) {
          var box = e.target === canvas && e.devicePixelContentBoxSize && e.devicePixelContentBoxSize[0];
          if (box) VPSize.box = [box.inlineSize, box.blockSize];
        });
        VPSize.fit();
      });
      observer.observe(document.getElementById('window'));
      try {
        observer.observe(canvas, { box: 'device-pixel-content-box' });
      } catch (e) {
        // not offered: the snapped size stands
      }
      VPSize.fit();
    },

    // A new pixel ratio (zoom, another screen) does not always come with a resize.
    checkRatio: function() {
      if ((window.devicePixelRatio || 1) !== VPSize.ratio) VPSize.fit();
    },
  },
};

autoAddDeps(LibraryVellorinCanvasSize, '$VPSize');
mergeInto(LibraryManager.library, LibraryVellorinCanvasSize);
