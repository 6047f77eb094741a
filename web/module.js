// Ahead of emscripten's loader in vellorin.js: where the module comes from. Served, it is the
// answer to the request the page's head made at once (boot.js), compiled while it arrives; a host
// that names it with another type gets it compiled whole once it is in. Opened from a folder,
// vellorin-module.js brings it as text. A module that does not arrive whole makes the page say so
// (boot.js) instead of starting.
Module['instantiateWasm'] = function(imports, start) {
  var compile = function(response) {
    if (!response.ok) throw new Error('vellorin.wasm: ' + response.status);
    var whole = function() { return response.arrayBuffer().then(function(b) { return WebAssembly.instantiate(b, imports); }); };
    if (!WebAssembly.instantiateStreaming || response.headers.get('Content-Type') !== 'application/wasm') return whole();
    return WebAssembly.instantiateStreaming(response, imports);
  };
  var fromFolder = function() {
    return new Promise(function(resolve, reject) {
      var script = document.createElement('script');
      script.src = 'vellorin-module.js';
      script.onload = function() {
        var text = atob(window.vellorinModuleText || '');
        var bytes = new Uint8Array(text.length);
        for (var i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
        delete window.vellorinModuleText;
        resolve(WebAssembly.instantiate(bytes, imports));
      };
      script.onerror = reject;
      document.body.appendChild(script);
    });
  };
  var module = window.vellorinModule;
  // The program starts in a task of its own once its window is ready (window.js).
  (module ? module.then(compile) : fromFolder()).then(function(result) {
    VPWindow.whenPrepared(function() { start(result.instance, result.module); });
  }, function() {
    window.vellorinFailed();
  });
  return {};
};
