// Inlined into the page's head (make_page.py), so it runs whatever else arrives. Served, it asks
// for the module at once, so the module travels beside vellorin.js and is compiled as it arrives
// (module.js takes the answer); opened from a folder, the browser fetches nothing, and
// vellorin-module.js brings the module instead. When vellorin.js or the module does not arrive
// whole (a dropped connection, a captive portal's page in its place), the page says so and offers
// to load it again, rather than leave an empty canvas.
(function() {
  if (location.protocol !== 'file:') window.vellorinModule = fetch('vellorin.wasm', { credentials: 'same-origin' });
  var failed = false;
  window.vellorinFailed = function() {
    if (failed) return;
    failed = true;
    var notice = document.getElementById('failed');
    var again = document.createElement('button');
    again.id = 'again';
    again.textContent = 'Tentar de novo';
    again.addEventListener('click', function() { location.reload(); });
    notice.appendChild(document.createElement('p')).appendChild(again);
    notice.hidden = false;
    again.focus();
  };
  // A script that failed to load (its error reaches the window in the capture phase only), or
  // one cut short (its syntax error).
  addEventListener('error', function(e) {
    var source = e.target && e.target.src ? e.target.src : e.filename;
    if (/vellorin(-module)?\.js$/.test(source || '')) window.vellorinFailed();
  }, true);
  // A script that ran but is not the loader (another document in its place) never started it.
  addEventListener('load', function() { if (!window.vellorinLoader) window.vellorinFailed(); });
})();
