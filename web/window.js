// The GLUT window on the page: made when the program creates it (title, WebGL 2 context, or the
// page's notice that there is none), the animation-frame loop that calls the program's reshape
// and display, and its end ("Sair"). Every call from the page into the program goes through
// VPWindow.call. Served over http(s) it also offers the page for installing and for visits
// without a network. Leaves the canvas's size to canvas_size.js, drawing to draw.js, the menus to
// menus.js and the keys, key pad and pointer to input.js.

var LibraryVellorinWindow = {
  $VPWindow: {
    status: { frames: 0, firstFrame: 0, ended: false, lost: false, restored: 0, glErrors: 0, webgl: true },  // read by the browser tests
    cp1252: null,  // a TextDecoder, made as the window is prepared

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
      // A page the worker already serves registers nothing: the worker asks for new builds itself
      // (sw.js), and Chromium holds that back while a served page registers again.
      if ('serviceWorker' in navigator && !navigator.serviceWorker.controller) {
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

    // The window's size on the page: the size the program asked for, never more, shape kept.
    shape: function(width, height) {
      VPWindow.shaped = true;
      VPSize.size = [width, height];
      document.querySelector('main').style.flexBasis = width + 'px';
      document.getElementById('window').style.maxWidth = width + 'px';
      document.getElementById('canvas').style.aspectRatio = width + ' / ' + height;
    },

    // What the window needs before the program draws: its WebGL 2 context (or the page's notice
    // that there is none), the shaders, the canvas's size and the glyphs. Made as soon as the
    // loader runs, while the module is still on its way, one step a task, so that no step holds
    // the page long; the module's program starts once all are done (whenPrepared).
    prepared: 0,  // steps done
    shaped: false,
    waiting: [],  // what runs once the window is prepared
    prepare: function() {
      var canvas = document.getElementById('canvas');
      // The canvas gets its size before its context, which then never has to resize its
      // buffers; the shaders compile while the glyphs are made and the module travels, and are
      // waited for once the GL says they are done (KHR_parallel_shader_compile) or, where it
      // cannot say, once the module is in.
      var steps = [
        function() {
          if (!VPWindow.shaped) VPWindow.shape(canvas.width, canvas.height);  // the page's size until the program's
          VPWindow.cp1252 = VPWindow.cp1252 || new TextDecoder('windows-1252');
          VPSize.watchSize();  // GLUT calls reshape when the window is first shown and whenever its size changes
        },
        function() {
          VPDraw.gl = canvas.getContext('webgl2', { alpha: false, antialias: false, depth: true, stencil: false });
          if (!VPDraw.gl) VPWindow.noWebGL();
          else VPDraw.gl.getExtension('KHR_parallel_shader_compile');
        },
        function() { if (VPDraw.gl) VPDraw.startPrograms(); },
        function() { if (VPDraw.gl) VPGlyphs.prepareGlyphs(); },
        function() { if (VPDraw.gl) VPDraw.finishGL(); },
      ];
      // Shaders still compiling: the step waits, without holding the page.
      if (steps[VPWindow.prepared] === steps[4] && VPDraw.gl && !VPDraw.compiled(VPWindow.waiting.length > 0)) {
        setTimeout(VPWindow.prepare, 4);
        return;
      }
      if (VPWindow.prepared < steps.length) steps[VPWindow.prepared++]();
      if (VPWindow.prepared < steps.length) {
        setTimeout(VPWindow.prepare, 0);
        return;
      }
      VPWindow.ready = true;
      VPWindow.waiting.splice(0).forEach(function(then) { setTimeout(then, 0); });
    },
    ready: false,

    whenPrepared: function(then) {
      if (VPWindow.ready) then();
      else VPWindow.waiting.push(then);
    },

    focusCanvas: function() { document.getElementById('canvas').focus({ preventScroll: true }); },
  },
  $VPWindow__deps: ['$VPDraw', '$VPGlyphs', '$VPMenus', '$VPSize'],

  vellorinCreateWindow: function(width, height, title) {
    VPWindow.cp1252 = VPWindow.cp1252 || new TextDecoder('windows-1252');
    document.title = VPWindow.decode(title);
    window.vellorinStatus = VPWindow.status;
    VPWindow.offerOffline();
    var resized = width !== VPSize.size[0] || height !== VPSize.size[1];
    VPWindow.shape(width, height);
    if (!VPDraw.gl) return;
    if (resized) VPSize.fit();
    VPDraw.watchContext(document.getElementById('canvas'));
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
        if (++VPWindow.status.frames === 1) VPWindow.status.firstFrame = performance.now();
      }
      requestAnimationFrame(frame);
    }
    requestAnimationFrame(frame);
  },
  vellorinStartLoop__deps: ['$VPDraw', '$VPMenus', '$VPSize'],
};

autoAddDeps(LibraryVellorinWindow, '$VPWindow');
mergeInto(LibraryManager.library, LibraryVellorinWindow);
