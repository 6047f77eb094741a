// Drives the real vellorin binary on a private X server (Xvfb) for end-to-end tests.
//
// A Session owns two process groups: one Xvfb, which picks a free display number itself, and one
// editor process (optionally started under a wrapper such as valgrind). Input goes through xdotool,
// window facts come from xwininfo, and pictures of the whole screen come from ImageMagick's import.
// Nothing here uses the caller's DISPLAY.
//
// Typical use:
//   e2e::Session s("StartUp");
//   ASSERT_TRUE(s.start());                       // Xvfb, editor, window mapped and drawn
//   e2e::Image before = s.screenshot();
//   s.keys({"d", "z", "plus"});
//   e2e::Image after = s.waitFor([&](const e2e::Image& i) { return i != before; }, "after");
//   s.stop();                                     // kills both; s.leftoverProcesses() must be empty
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

struct Rgb {
    int r = 0, g = 0, b = 0;
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// An 8-bit RGB picture, rows top to bottom.
class Image {
public:
    Image() = default;
    Image(int width, int height);
    // Parses binary PPM (P6, maxval 255). Returns an empty image on malformed input.
    static Image fromPpm(const std::string& bytes);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    Rgb at(int x, int y) const;
    Image crop(const Rect& r) const;  // clipped to the picture
    bool writePpm(const std::string& path) const;
    bool operator==(const Image& o) const;
    bool operator!=(const Image& o) const { return !(*this == o); }

private:
    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t> rgb_;
};

// An icon picture as _NET_WM_ICON holds one: 0xAARRGGBB (alpha not premultiplied), rows top to
// bottom.
struct Icon {
    int width = 0, height = 0;
    std::vector<std::uint32_t> argb;
    bool operator==(const Icon& o) const { return width == o.width && height == o.height && argb == o.argb; }
};

struct SessionOptions {
    std::vector<std::string> wrapper;    // e.g. {"valgrind", "--error-exitcode=99"}; empty: none
    std::vector<std::string> extraArgs;  // appended to the editor's command line
    std::string program;                 // the editor to start; empty: editorBinary()
    // A window manager started on the X server before the editor (e.g. {"openbox"}); empty: none.
    std::vector<std::string> windowManager;
    double startTimeout = 60.0;          // seconds for Xvfb to come up and the window to show
    double actionTimeout = 20.0;         // seconds for one tool call
    // Seconds to wait for an awaited picture. A starved editor may take long to draw; a picture
    // that never comes costs this much before the test reports it.
    double judgeTimeout = 60.0;
};

class Session {
public:
    // `name` names the folder where kept screenshots go (under the artifact root given at build
    // time); screenshots are written there only when a label is given.
    explicit Session(std::string name, SessionOptions options = {});
    ~Session();  // stop()
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Xvfb, then the editor, then waits until the window is mapped and shows a first frame.
    bool start();
    bool startXvfb();  // and the window manager, if any, once it manages the screen
    bool startEditor();
    bool waitForWindow();
    // Kills the editor and Xvfb (TERM, then KILL) and reaps them. Safe to call twice.
    void stop();
    void killEditor(double grace = 5.0);  // TERM, then KILL after `grace` seconds
    // Ends the window manager, then the X server with sig (KILL after 5 s if it lingers), and
    // reaps them.
    void killXvfb(int sig = SIGTERM);
    // Descriptions of processes of this session still alive (empty when all are gone).
    std::vector<std::string> leftoverProcesses() const;

    const std::string& display() const { return display_; }
    pid_t xvfbPid() const { return xvfbPid_; }
    pid_t editorPid() const { return editorPid_; }
    unsigned long window() const { return window_; }
    // Why the last failing call failed, for assertion messages.
    const std::string& lastError() const { return error_; }

    // The editor process: still running? Its exit status once ended (WEXITSTATUS, or 128 + signal),
    // waiting up to `timeout` seconds; nullopt while it keeps running.
    bool editorRunning();
    std::optional<int> waitForExit(double timeout);
    // User plus system CPU seconds used so far by the editor process.
    double editorCpuSeconds() const;

    // Input. Key names are xdotool's ("d", "plus", "minus", "Left"). Keys go to the editor window.
    bool keys(const std::vector<std::string>& names);
    bool keyRepeat(const std::string& name, int count);
    // Moves the pointer to (x, y) on the screen, arriving with a small final motion so that
    // freeglut sees movement inside whatever window lies there.
    bool moveMouse(int x, int y);
    bool click(int button);  // press and release at the current pointer position
    bool resizeWindow(int width, int height);

    // Geometry of the editor window on the screen, or of visible freeglut menu windows.
    std::optional<Rect> windowGeometry() const;
    std::vector<Rect> visibleMenus() const;  // sorted by x, then y
    std::vector<std::string> windowNames() const;  // names of all mapped top-level windows
    // One property of the editor window as xprop prints it ("NAME(TYPE) = value" and a newline,
    // or "NAME:  not found."); nullopt if xprop failed.
    std::optional<std::string> windowProperty(const std::string& name) const;
    // The pictures of the editor window's _NET_WM_ICON, in order; none when it has no such
    // property or a malformed one.
    std::vector<Icon> windowIcons() const;
    // The pictures of an image file with alpha (a PNG has one, an ICO one for each size), read
    // with ImageMagick; none when it cannot be read.
    std::vector<Icon> iconsIn(const std::string& path) const;

    // Pictures of the whole screen. A non-empty label also keeps the picture as <dir>/NN-label.ppm.
    Image screenshot(const std::string& label = "");
    // Takes pictures of the screen until `done` accepts one, and returns it; after `timeout`
    // seconds (judgeTimeout when 0) returns the last picture taken, with lastError() set.
    Image waitFor(const std::function<bool(const Image&)>& done, const std::string& label = "",
                  double timeout = 0);
    // Keeps a picture under the artifact folder and returns its path.
    std::string keep(const Image& image, const std::string& label);
    const std::vector<std::string>& keptFiles() const { return kept_; }
    // Removes the kept pictures (for a passing test).
    void discardKept();
    std::string artifactDir() const;

    // Runs a tool (argv[0] looked up in PATH) with this session's DISPLAY; returns its stdout, or
    // nullopt if it failed or timed out.
    std::optional<std::string> tool(const std::vector<std::string>& argv) const;

private:
    bool startWindowManager(std::chrono::steady_clock::time_point deadline);

    std::string name_;
    SessionOptions options_;
    std::string display_;
    pid_t xvfbPid_ = -1;
    pid_t windowManagerPid_ = -1;
    pid_t editorPid_ = -1;
    std::optional<int> editorStatus_;
    unsigned long window_ = 0;
    int shotCount_ = 0;
    std::vector<std::string> kept_;
    mutable std::string error_;
};

// Path of the built editor, fixed at build time.
const char* editorBinary();

}  // namespace e2e
