// Starts the editor and watches its window from outside, as a user's screen would show it:
// reports when the window is mapped, when the first frame with the yellow patch is on screen, and,
// after the editor has drawn frames for a while, its peak resident memory. Then it stops it.
//
// Usage: first_frame EDITOR [HOLD_SECONDS]   (needs DISPLAY; HOLD_SECONDS defaults to 5)
// Prints one line: window_ms, first_frame_ms (start to the end of the grab that first showed the
// patch), last_miss_ms (start of the last grab that did not), grabs, vmhwm_kb, vmrss_kb.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

const char* const kTitle = " Vellorin ";

int ignoreXErrors(Display*, XErrorEvent*) { return 0; }  // windows come and go while we look

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Depth-first search for a viewable window with the editor's title.
Window findWindow(Display* d, Window w) {
    char* name = nullptr;
    if (XFetchName(d, w, &name) != 0 && name != nullptr) {
        const bool match = std::strcmp(name, kTitle) == 0;
        XFree(name);
        XWindowAttributes a;
        if (match && XGetWindowAttributes(d, w, &a) != 0 && a.map_state == IsViewable) return w;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &n) == 0) return 0;
    Window found = 0;
    for (unsigned int k = 0; k < n && found == 0; ++k) found = findWindow(d, children[k]);
    if (children != nullptr) XFree(children);
    return found;
}

unsigned channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1UL) == 0) ++shift;
    const unsigned long v = (pixel & mask) >> shift;
    const unsigned long max = mask >> shift;
    return static_cast<unsigned>(v * 255UL / max);
}

// Yellow pixels in the window as it is on screen now, or -1 if it could not be read.
long countYellow(Display* d, Window w) {
    XWindowAttributes a;
    if (XGetWindowAttributes(d, w, &a) == 0 || a.map_state != IsViewable) return -1;
    XImage* img = XGetImage(d, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                            AllPlanes, ZPixmap);
    if (img == nullptr) return -1;
    long n = 0;
    if (img->bits_per_pixel == 32 && img->red_mask == 0xff0000UL && img->green_mask == 0xff00UL &&
        img->blue_mask == 0xffUL) {
        // The usual 24-bit TrueColor layout: read the words directly, much faster than XGetPixel.
        for (int y = 0; y < img->height; ++y) {
            const char* row = img->data + static_cast<long>(y) * img->bytes_per_line;
            for (int x = 0; x < img->width; ++x) {
                std::uint32_t p;
                std::memcpy(&p, row + 4L * x, sizeof p);
                if (((p >> 16) & 0xffU) > 200 && ((p >> 8) & 0xffU) > 200 && (p & 0xffU) < 60) ++n;
            }
        }
        XDestroyImage(img);
        return n;
    }
    for (int y = 0; y < img->height; ++y) {
        for (int x = 0; x < img->width; ++x) {
            const unsigned long p = XGetPixel(img, x, y);
            if (channel(p, img->red_mask) > 200 && channel(p, img->green_mask) > 200 &&
                channel(p, img->blue_mask) < 60) {
                ++n;
            }
        }
    }
    XDestroyImage(img);
    return n;
}

long statusKb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    long value = -1;
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, std::strlen(field), field) == 0) {
            value = std::atol(line.c_str() + std::strlen(field));
            break;
        }
    }
    return value;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: first_frame EDITOR [HOLD_SECONDS]\n");
        return 2;
    }
    const int hold = argc > 2 ? std::atoi(argv[2]) : 5;
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fprintf(stderr, "first_frame: cannot open the X display\n");
        return 1;
    }
    XSetErrorHandler(ignoreXErrors);
    const Window root = DefaultRootWindow(d);

    const Clock::time_point t0 = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        execl(argv[1], argv[1], static_cast<char*>(nullptr));
        std::perror(argv[1]);
        _exit(127);
    }

    double windowMs = -1.0;
    double frameMs = -1.0;
    double lastMissMs = 0.0;
    long grabs = 0;
    Window w = 0;
    while (msSince(t0) < 60000.0) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "first_frame: the editor exited early\n");
            return 1;
        }
        if (w == 0) {
            w = findWindow(d, root);
            if (w != 0) windowMs = msSince(t0);
        }
        if (w != 0) {
            const double start = msSince(t0);
            const long yellow = countYellow(d, w);
            ++grabs;
            if (yellow > 400) {
                frameMs = msSince(t0);
                break;
            }
            lastMissMs = start;
            if (std::getenv("FIRST_FRAME_VERBOSE") != nullptr) std::fprintf(stderr, "grab at %.1f ms took %.1f ms: %ld yellow\n", start, msSince(t0) - start, yellow);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    int rc = 0;
    long hwm = -1;
    long rss = -1;
    if (frameMs < 0.0) {
        std::fprintf(stderr, "first_frame: the patch never showed\n");
        rc = 1;
    } else {
        std::this_thread::sleep_for(std::chrono::seconds(hold));
        hwm = statusKb(pid, "VmHWM:");
        rss = statusKb(pid, "VmRSS:");
        if (hwm <= 0) rc = 1;
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(d);
    std::printf("window_ms %.1f first_frame_ms %.1f last_miss_ms %.1f grabs %ld vmhwm_kb %ld vmrss_kb %ld\n",
                windowMs, frameMs, lastMissMs, grabs, hwm, rss);
    return rc;
}
