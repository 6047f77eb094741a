// The last lines of vellorin.js: the page knows from this that the whole loader arrived, and the
// window gets ready while the module is still on its way.
window.vellorinLoader = true;
setTimeout(VPWindow.prepare, 0);
