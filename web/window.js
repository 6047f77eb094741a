// The GLUT window on the page: made when the program creates it (title, WebGL 2 context, or the
// page's notice that there is none), the animation-frame loop that calls the program's reshape
// and display, and its end ("Sair"). Every call from the page into the program goes through
// VPWindow.call. Served over http(s) it also offers the page for installing and for visits
// without a network. Leaves the canvas's size to canvas_size.js, drawing to draw.js, the menus to
// menus.js and the keys, key pad and pointer to input.js.

var LibraryVellorinWindow = {
  $VPWindow: {
    status: { frames: 0, ended: false, lost: false, restored: 0, glErrors: 0, webgl: true },  // read by the browser tests
    cp1252: null,  // a TextDecoder, made with the window

    // The program's strings are single-byte Windows-1252 text.
    decode: function(ptr) {
      var end = ptr;
      while (HEAPU8[end]) ++end;
      return VPWindow.cp1252.decode(HEAPU8.subarray(ptr, end));
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
      if (VPWindow.status.ended) return;
      try {
        fn();
      } catch (e) {
        if (!(e instanceof ExitStatus)) throw e;
        VPWindow.end();
      }
    },

    end: function() {
      VPWindow.status.ended = true;
      VPMenus.closeMenus(0);
      document.getElementById('ended').hidden = false;
    },

    noWebGL: function() {
      VPWindow.status.webgl = false;
      document.getElementById('nogl').hidden = false;
    },

    focusCanvas: function() { document.getElementById('canvas').focus({ preventScroll: true }); },
  },
  $VPWindow__deps: ['$VPMenus'],

  vellorinCreateWindow: function(width, height, title) {
    VPWindow.cp1252 = new TextDecoder('windows-1252');
    document.title = VPWindow.decode(title);
    window.vellorinStatus = VPWindow.status;
    VPWindow.offerOffline();
    var canvas = document.getElementById('canvas');
    VPSize.size = [width, height];
    // The window never grows past the size the program asked for, and keeps its shape.
    document.querySelector('main').style.flexBasis = width + 'px';
    document.getElementById('window').style.maxWidth = width + 'px';
    canvas.style.aspectRatio = width + ' / ' + height;
    VPDraw.gl = canvas.getContext('webgl2', { alpha: false, antialias: false, depth: true, stencil: false });
    if (!VPDraw.gl) {
      VPWindow.noWebGL();
      return;
    }
    // GLUT calls reshape when the window is first shown and whenever its size changes.
    VPSize.watchSize();
    VPDraw.setUpGL();
    VPDraw.watchContext(canvas);
    VPInput.listen();
    VPWindow.focusCanvas();
  },
  vellorinCreateWindow__deps: ['$VPDraw', '$VPInput', '$VPSize'],

  vellorinStartLoop: function() {
    VPMenus.buildHelp();
    if (!VPWindow.status.webgl) return;  // nothing to draw on; the page says why
    function frame() {
      if (VPWindow.status.ended) return;
      // The ratio changes with zoom or on another screen, not always with an event to say so.
      VPSize.checkRatio();
      if (!VPDraw.lost) {
        VPWindow.call(function() {
          if (VPSize.reshapePending) {
            VPSize.reshapePending = false;
            _vellorinReshape(VPDraw.gl.canvas.width, VPDraw.gl.canvas.height);
          }
          _vellorinFrame();
        });
        VPWindow.status.frames++;
      }
      requestAnimationFrame(frame);
    }
    requestAnimationFrame(frame);
  },
  vellorinStartLoop__deps: ['$VPDraw', '$VPMenus', '$VPSize'],
};

autoAddDeps(LibraryVellorinWindow, '$VPWindow');
mergeInto(LibraryManager.library, LibraryVellorinWindow);
