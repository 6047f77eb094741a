#include "driver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef VELLORIN_BINARY
#error "VELLORIN_BINARY must name the built editor"
#endif
#ifndef E2E_ARTIFACT_DIR
#error "E2E_ARTIFACT_DIR must name a folder for kept screenshots"
#endif

namespace e2e {

// VELLORIN_E2E_PROGRAM names another editor to test instead of this build's: the installed one, or
// a script that starts one of another architecture in its own root.
const char* editorBinary() {
    const char* other = std::getenv("VELLORIN_E2E_PROGRAM");
    return other && *other ? other : VELLORIN_BINARY;
}

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(double seconds) {
    return Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000.0));
}

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Child side of a fork: own process group, die with the test, quiet stdin. Never returns.
[[noreturn]] void execChild(const std::vector<std::string>& argv, const std::string& display,
                            bool quietOutput) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
        if (quietOutput) dup2(devNull, STDERR_FILENO);
    }
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// Waits for `pid` (our child) up to the deadline; returns its encoded status if it ended.
std::optional<int> reap(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
            return -1;
        }
        if (r < 0) return -1;  // not our child any more
        if (Clock::now() >= deadline) return std::nullopt;
        pause(20);
    }
}

// sig (TERM unless told) to the whole process group, then KILL if it lingers longer than `grace`
// seconds; reaps the leader.
std::optional<int> endGroup(pid_t pid, int sig = SIGTERM, double grace = 5.0) {
    if (pid <= 0) return std::nullopt;
    kill(-pid, sig);
    std::optional<int> status = reap(pid, deadlineAfter(grace));
    kill(-pid, SIGKILL);  // members other than the leader, or the leader itself if it ignored TERM
    if (!status) status = reap(pid, deadlineAfter(5.0));
    return status;
}

bool groupAlive(pid_t pgid) { return pgid > 0 && (kill(-pgid, 0) == 0 || errno == EPERM); }

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The integer after `key` in xwininfo's output, if present.
std::optional<int> fieldAfter(const std::string& text, const std::string& key) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return std::nullopt;
    return std::atoi(text.c_str() + at + key.size());
}

std::optional<Rect> parseGeometry(const std::string& info) {
    const auto x = fieldAfter(info, "Absolute upper-left X:");
    const auto y = fieldAfter(info, "Absolute upper-left Y:");
    const auto w = fieldAfter(info, "Width:");
    const auto h = fieldAfter(info, "Height:");
    if (!x || !y || !w || !h) return std::nullopt;
    return Rect{*x, *y, *w, *h};
}

}  // namespace

// ---- Image ---------------------------------------------------------------------------------

Image::Image(int width, int height)
    : width_(width), height_(height), rgb_(static_cast<size_t>(width) * height * 3, 0) {}

Image Image::fromPpm(const std::string& bytes) {
    // Header: "P6" <ws> width <ws> height <ws> maxval <one ws> data; comments start with '#'.
    size_t pos = 0;
    auto skipSpace = [&] {
        while (pos < bytes.size()) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            } else if (std::isspace(static_cast<unsigned char>(bytes[pos]))) {
                ++pos;
            } else {
                break;
            }
        }
    };
    auto number = [&]() -> long {
        skipSpace();
        long v = 0;
        bool any = false;
        while (pos < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[pos]))) {
            v = v * 10 + (bytes[pos++] - '0');
            any = true;
            if (v > 100000) return -1;
        }
        return any ? v : -1;
    };
    if (bytes.compare(0, 2, "P6") != 0) return {};
    pos = 2;
    const long w = number(), h = number(), maxval = number();
    if (w <= 0 || h <= 0 || maxval != 255 || pos >= bytes.size()) return {};
    ++pos;  // the single whitespace byte before the samples
    const size_t need = static_cast<size_t>(w) * h * 3;
    if (bytes.size() - pos < need) return {};
    Image img(static_cast<int>(w), static_cast<int>(h));
    std::memcpy(img.rgb_.data(), bytes.data() + pos, need);
    return img;
}

Rgb Image::at(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width_ + x) * 3;
    return {rgb_[i], rgb_[i + 1], rgb_[i + 2]};
}

Image Image::crop(const Rect& r) const {
    const int x0 = std::max(0, r.x), y0 = std::max(0, r.y);
    const int x1 = std::min(width_, r.x + r.width), y1 = std::min(height_, r.y + r.height);
    if (x1 <= x0 || y1 <= y0) return {};
    Image out(x1 - x0, y1 - y0);
    for (int y = y0; y < y1; ++y)
        std::memcpy(&out.rgb_[static_cast<size_t>(y - y0) * out.width_ * 3],
                    &rgb_[(static_cast<size_t>(y) * width_ + x0) * 3],
                    static_cast<size_t>(out.width_) * 3);
    return out;
}

bool Image::writePpm(const std::string& path) const {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width_ << " " << height_ << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb_.data()), static_cast<std::streamsize>(rgb_.size()));
    return static_cast<bool>(out);
}

bool Image::operator==(const Image& o) const {
    return width_ == o.width_ && height_ == o.height_ && rgb_ == o.rgb_;
}

// ---- Session -------------------------------------------------------------------------------

Session::Session(std::string name, SessionOptions options)
    : name_(std::move(name)), options_(std::move(options)) {
    std::error_code ec;
    std::filesystem::remove_all(artifactDir(), ec);  // pictures of an earlier run would mislead
}

Session::~Session() { stop(); }

std::string Session::artifactDir() const { return std::string(E2E_ARTIFACT_DIR) + "/" + name_; }

bool Session::start() { return startXvfb() && startEditor() && waitForWindow(); }

bool Session::startXvfb() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = "pipe: " + std::string(std::strerror(errno));
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const int displayFd = dup(fds[1]);  // a copy without close-on-exec, for Xvfb to write to
        // -noreset: by default the server resets when its last client leaves, and refuses
        // connections meanwhile; the readiness probe below is such a last client.
        execChild({"Xvfb", "-displayfd", std::to_string(displayFd), "-screen", "0", "1280x1024x24",
                   "-nolisten", "tcp", "-noreset"},
                  "", true);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        error_ = "fork failed";
        return false;
    }
    xvfbPid_ = pid;
    // Xvfb writes the display number it took, then a newline, once it accepts clients.
    std::string text;
    const auto deadline = deadlineAfter(options_.startTimeout);
    while (text.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[64];
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<size_t>(n));
        }
    }
    close(fds[0]);
    if (text.find('\n') == std::string::npos) {
        error_ = "Xvfb did not report a display number";
        return false;
    }
    display_ = ":" + std::to_string(std::atoi(text.c_str()));
    // Only a client that gets through shows the server really serves that display.
    while (Clock::now() < deadline) {
        if (tool({"xdpyinfo"})) return startWindowManager(deadline);
        int status = 0;
        if (waitpid(xvfbPid_, &status, WNOHANG) == xvfbPid_) {
            xvfbPid_ = -1;
            break;
        }
        pause(100);
    }
    error_ = "Xvfb on " + display_ + " accepts no clients";
    return false;
}

bool Session::startWindowManager(std::chrono::steady_clock::time_point deadline) {
    if (options_.windowManager.empty()) return true;
    const pid_t pid = fork();
    if (pid == 0) execChild(options_.windowManager, display_, true);
    if (pid < 0) {
        error_ = "fork failed";
        return false;
    }
    windowManagerPid_ = pid;
    // A window manager that follows the desktop conventions names its check window on the root
    // once it has taken the screen over.
    while (Clock::now() < deadline) {
        const auto out = tool({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"});
        if (out && out->find("window id") != std::string::npos) return true;
        if (reap(windowManagerPid_, Clock::now())) break;
        pause(100);
    }
    error_ = options_.windowManager.front() + " did not take over " + display_;
    return false;
}

bool Session::startEditor() {
    if (display_.empty()) {
        error_ = "no X server";
        return false;
    }
    std::vector<std::string> argv = options_.wrapper;
    argv.push_back(options_.program.empty() ? editorBinary() : options_.program);
    argv.insert(argv.end(), options_.extraArgs.begin(), options_.extraArgs.end());
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        execChild(argv, display_, false);
    }
    if (pid < 0) {
        error_ = "fork failed";
        return false;
    }
    editorPid_ = pid;
    editorStatus_.reset();
    return true;
}

bool Session::waitForWindow() {
    const auto deadline = deadlineAfter(options_.startTimeout);
    while (Clock::now() < deadline) {
        if (!editorRunning()) {
            error_ = "editor ended before its window showed (status " +
                     std::to_string(editorStatus_.value_or(-1)) + ")";
            return false;
        }
        if (auto out = tool({"xdotool", "search", "--onlyvisible", "--name", "^ Vellorin $"})) {
            const auto ids = splitLines(*out);
            if (!ids.empty()) {
                window_ = std::stoul(ids.front());
                break;
            }
        }
        pause(100);
    }
    if (window_ == 0) {
        error_ = "no visible window titled ' Vellorin '";
        return false;
    }
    // Mapped is not yet drawn: wait for a picture with something other than black in the window.
    const auto geo = windowGeometry();
    if (!geo) return false;
    const auto drawn = [&](const Image& screen) {
        const Image win = screen.crop(*geo);
        for (int y = 0; y < win.height(); y += 7)
            for (int x = 0; x < win.width(); x += 7) {
                const Rgb c = win.at(x, y);
                if (c.r + c.g + c.b > 0) return true;
            }
        return false;
    };
    const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
    if (drawn(waitFor(drawn, "", std::max(1.0, left)))) return true;
    error_ = "window never showed a frame";
    return false;
}

void Session::killEditor(double grace) {
    if (editorPid_ > 0 && !editorStatus_) editorStatus_ = endGroup(editorPid_, SIGTERM, grace);
    else if (editorPid_ > 0) kill(-editorPid_, SIGKILL);  // leader gone; any stray members too
}

void Session::killXvfb(int sig) {
    if (windowManagerPid_ > 0) endGroup(windowManagerPid_);
    if (xvfbPid_ > 0) {
        endGroup(xvfbPid_, sig);
        // Keep the pid: leftoverProcesses() still checks its process group.
    }
}

void Session::stop() {
    killEditor();
    killXvfb();
}

std::vector<std::string> Session::leftoverProcesses() const {
    std::vector<std::string> left;
    // A group outlives its reaped leader only while some member is still exiting, which on a busy
    // machine can take many seconds; allow for that.
    const auto deadline = deadlineAfter(30.0);
    do {
        left.clear();
        if (groupAlive(editorPid_)) left.push_back("editor group " + std::to_string(editorPid_));
        if (groupAlive(xvfbPid_)) left.push_back("Xvfb group " + std::to_string(xvfbPid_));
        if (groupAlive(windowManagerPid_)) left.push_back("window manager group " + std::to_string(windowManagerPid_));
        if (left.empty()) break;
        pause(50);
    } while (Clock::now() < deadline);
    return left;
}

bool Session::editorRunning() {
    if (editorPid_ <= 0) return false;
    if (!editorStatus_) editorStatus_ = reap(editorPid_, Clock::now());
    return !editorStatus_.has_value();
}

std::optional<int> Session::waitForExit(double timeout) {
    if (editorPid_ <= 0) return std::nullopt;
    if (!editorStatus_) editorStatus_ = reap(editorPid_, deadlineAfter(timeout));
    return editorStatus_;
}

double Session::editorCpuSeconds() const {
    std::ifstream in("/proc/" + std::to_string(editorPid_) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1.0;
    // After the command name: state is field 3, utime and stime are fields 14 and 15.
    std::istringstream fields(stat.substr(close + 2));
    std::string f;
    double ticks = 0.0;
    for (int field = 3; field <= 15 && fields >> f; ++field)
        if (field >= 14) ticks += std::atof(f.c_str());
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::optional<std::string> Session::tool(const std::vector<std::string>& argv) const {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        execChild(argv, display_, true);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return std::nullopt;
    }
    std::string out;
    const auto deadline = deadlineAfter(options_.actionTimeout);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 200)));
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) continue;
        char buf[65536];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (timedOut) kill(-pid, SIGKILL);
    const std::optional<int> status = reap(pid, deadlineAfter(timedOut ? 5.0 : options_.actionTimeout));
    if (!status) {
        kill(-pid, SIGKILL);
        reap(pid, deadlineAfter(5.0));
    }
    if (timedOut || status != 0) {
        error_ = argv.front() + (timedOut ? " timed out" : " failed (status " +
                                                               std::to_string(status.value_or(-1)) + ")");
        return std::nullopt;
    }
    return out;
}

bool Session::keys(const std::vector<std::string>& names) {
    std::vector<std::string> argv = {"xdotool", "key", "--window", std::to_string(window_),
                                     "--delay", "30"};
    argv.insert(argv.end(), names.begin(), names.end());
    return tool(argv).has_value();
}

bool Session::keyRepeat(const std::string& name, int count) {
    std::vector<std::string> argv = {"xdotool", "key", "--window", std::to_string(window_),
                                     "--delay", "30"};
    for (int i = 0; i < count; ++i) argv.push_back(name);
    return tool(argv).has_value();
}

bool Session::moveMouse(int x, int y) {
    return tool({"xdotool", "mousemove", std::to_string(x + 2), std::to_string(y), "sleep", "0.05",
                 "mousemove", std::to_string(x), std::to_string(y)})
        .has_value();
}

bool Session::click(int button) { return tool({"xdotool", "click", std::to_string(button)}).has_value(); }

bool Session::resizeWindow(int width, int height) {
    return tool({"xdotool", "windowsize", std::to_string(window_), std::to_string(width),
                 std::to_string(height)})
        .has_value();
}

std::optional<Rect> Session::windowGeometry() const {
    const auto out = tool({"xwininfo", "-id", std::to_string(window_)});
    if (!out) return std::nullopt;
    return parseGeometry(*out);
}

std::vector<Rect> Session::visibleMenus() const {
    std::vector<Rect> menus;
    // xdotool search exits 1 when nothing matches; that simply means no menu is showing.
    const auto ids = tool({"xdotool", "search", "--onlyvisible", "--name", "^freeglut menu$"});
    if (!ids) return menus;
    for (const std::string& id : splitLines(*ids))
        if (auto info = tool({"xwininfo", "-id", id}))
            if (auto r = parseGeometry(*info)) menus.push_back(*r);
    std::sort(menus.begin(), menus.end(),
              [](const Rect& a, const Rect& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    return menus;
}

std::vector<std::string> Session::windowNames() const {
    // Top-level windows are the root's children; a window manager-less server adds no frames.
    std::vector<std::string> names;
    const auto tree = tool({"xwininfo", "-root", "-children"});
    if (!tree) return names;
    for (const std::string& line : splitLines(*tree)) {
        // 0x... "name": ("instance" "class")  geometry: the name ends where the class list starts.
        const size_t id = line.find("0x"), open = line.find('"'), close = line.find("\": (", open + 1);
        if (id == std::string::npos || open == std::string::npos || close == std::string::npos) continue;
        if (line.find("(the root window)") != std::string::npos) continue;
        const std::string windowId = line.substr(id, line.find(' ', id) - id);
        const auto info = tool({"xwininfo", "-id", windowId});
        if (info && info->find("IsViewable") != std::string::npos)
            names.push_back(line.substr(open + 1, close - open - 1));
    }
    return names;
}

std::optional<std::string> Session::windowProperty(const std::string& name) const {
    return tool({"xprop", "-id", std::to_string(window_), name});
}

std::vector<Icon> Session::windowIcons() const {
    // All of it, as plain numbers ("= 48, 48, 0, ..."), rather than xprop's drawing of each icon.
    const auto out = tool({"xprop", "-id", std::to_string(window_), "-len", "100000000", "-notype", "-f",
                           "_NET_WM_ICON", "32c", " = $0+\n", "_NET_WM_ICON"});
    const size_t at = out ? out->find(" = ") : std::string::npos;
    if (at == std::string::npos) return {};
    std::vector<std::uint32_t> values;
    for (const char* p = out->c_str() + at + 3;;) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(p, &end, 10);
        if (end == p) break;
        values.push_back(static_cast<std::uint32_t>(v));
        p = *end == ',' ? end + 1 : end;
    }
    // Width, height, then width x height pixels; again for each further size.
    std::vector<Icon> icons;
    for (size_t i = 0; i < values.size();) {
        if (values.size() - i < 2) return {};
        Icon icon{int(values[i]), int(values[i + 1]), {}};
        const size_t n = size_t(icon.width) * size_t(icon.height);
        if (values.size() - i - 2 < n) return {};
        icon.argb.assign(values.begin() + long(i) + 2, values.begin() + long(i + 2 + n));
        icons.push_back(std::move(icon));
        i += 2 + n;
    }
    return icons;
}

std::vector<Icon> Session::iconsIn(const std::string& path) const {
    // PAM, one picture after another: a header of "KEY value" lines up to ENDHDR, then RGBA rows.
    const auto out = tool({"convert", path, "-depth", "8", "pam:-"});
    std::vector<Icon> icons;
    size_t pos = 0;
    while (out && pos < out->size()) {
        const size_t end = out->find("ENDHDR\n", pos);
        if (end == std::string::npos || out->compare(pos, 3, "P7\n") != 0) return {};
        std::istringstream header(out->substr(pos, end - pos));
        Icon icon;
        int depth = 0, maxval = 0;
        for (std::string key; header >> key;) {
            if (key == "WIDTH") header >> icon.width;
            else if (key == "HEIGHT") header >> icon.height;
            else if (key == "DEPTH") header >> depth;
            else if (key == "MAXVAL") header >> maxval;
        }
        pos = end + 7;
        const size_t n = size_t(icon.width) * size_t(icon.height);
        if (depth != 4 || maxval != 255 || n == 0 || out->size() - pos < 4 * n) return {};
        for (size_t k = 0; k < n; ++k, pos += 4) {
            const auto byte = [&](size_t i) { return std::uint32_t(static_cast<unsigned char>((*out)[pos + i])); };
            icon.argb.push_back(byte(3) << 24 | byte(0) << 16 | byte(1) << 8 | byte(2));
        }
        icons.push_back(std::move(icon));
    }
    return icons;
}

Image Session::screenshot(const std::string& label) {
    const auto out = tool({"import", "-silent", "-window", "root", "-depth", "8", "ppm:-"});
    Image img = out ? Image::fromPpm(*out) : Image();
    if (out && img.empty()) error_ = "import gave no readable picture";
    if (!label.empty() && !img.empty()) keep(img, label);
    return img;
}

Image Session::waitFor(const std::function<bool(const Image&)>& done, const std::string& label,
                       double timeout) {
    const auto deadline = deadlineAfter(timeout > 0 ? timeout : options_.judgeTimeout);
    Image last;
    do {
        Image next = screenshot();
        if (!next.empty()) {
            last = std::move(next);
            if (done(last)) {
                if (!label.empty()) keep(last, label);
                return last;
            }
        }
        pause(50);
    } while (Clock::now() < deadline);
    error_ = "the awaited picture never came";
    if (!label.empty() && !last.empty()) keep(last, label + "-never");
    return last;
}

std::string Session::keep(const Image& image, const std::string& label) {
    std::error_code ec;
    std::filesystem::create_directories(artifactDir(), ec);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02d-", ++shotCount_);
    const std::string path = artifactDir() + "/" + prefix + label + ".ppm";
    if (image.writePpm(path)) kept_.push_back(path);
    return path;
}

void Session::discardKept() {
    for (const std::string& path : kept_) std::remove(path.c_str());
    kept_.clear();
    std::error_code ec;
    std::filesystem::remove(artifactDir(), ec);  // only if now empty
}

}  // namespace e2e
