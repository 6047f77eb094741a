// The Windows build (vellorin.exe and its installer) under Wine on a private Xvfb, judged against
// the Linux build's pictures: docs/screenshot.png and the menu references.
//
// Wine differs from a native X client in ways these tests allow for: keys reach the program only
// after a real click in its window and only as real (XTEST) events, not events sent to a window;
// a choice from a menu takes about two seconds to arrive; and the frame around the window puts its
// client area a little off the position the program asks for.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "driver.h"
#include "picture.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr double kWineSeconds = 120.0;  // Wine's start-up, a menu pick, an install

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, sep);) parts.push_back(part);
    return parts;
}

// env WINEPREFIX=... WINEDEBUG=... <program>: a Wine tool of the Windows build's prefix.
std::vector<std::string> wineTool(const std::string& program) {
    std::vector<std::string> argv = {"env"};
    for (const std::string& assignment : split(E2E_WINE_ENV, '|')) argv.push_back(assignment);
    argv.push_back(program);
    return argv;
}
std::vector<std::string> wine() { return wineTool(E2E_WINE); }
std::vector<std::string> wineserverWait() {
    auto argv = wineTool(E2E_WINESERVER);
    argv.push_back("-w");
    return argv;
}
fs::path prefix() { return fs::path(E2E_WINDOWS_BUILD) / "wineprefix"; }

SessionOptions wineSession(const std::string& program) {
    SessionOptions o;
    o.wrapper = wine();
    o.program = program;
    o.startTimeout = kWineSeconds;
    o.actionTimeout = kWineSeconds;
    o.judgeTimeout = kWineSeconds;
    return o;
}

// The background of a highlighted menu entry.
bool isHighlight(Rgb c) { return c.b > 80 && c.r < 80 && c.g < 80; }

// The menu's ink must be the Linux build's, pixel for pixel, entry by entry; the help pages'
// spacer lines are blank there, so a glyph drawn for their tabs shows up here. The one entry
// Windows' freeglut keeps highlighted (under the pointer, or the parent of an open submenu) shows
// white text, so it is left out. Returns what differs, or "" when nothing does.
std::string inkMismatch(const Image& screen, const Rect& menu, const std::string& reference, double entry) {
    const Image pic = screen.crop(menu);
    const Mask ink = Mask::of(pic, isInk), highlight = Mask::of(pic, isHighlight);
    const auto expected = Mask::readPbm(std::string(E2E_REFERENCE_DIR) + "/" + reference);
    if (!expected) return "cannot read " + reference;
    std::ostringstream why;
    if (expected->width() != menu.width || expected->height() != menu.height) {
        why << reference << ": menu " << menu.width << "x" << menu.height << ", reference "
            << expected->width() << "x" << expected->height();
        return why.str();
    }
    const int entries = int(menu.height / entry + 0.5);
    int compared = 0, differing = 0;
    for (int i = 0; i < entries; ++i) {
        const int top = menu.height * i / entries, bottom = menu.height * (i + 1) / entries;
        if (highlight.countIn(0, top + 3, menu.width, bottom - 3) > 0) continue;
        ++compared;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < menu.width; ++x) differing += ink.get(x, y) != expected->get(x, y);
    }
    if (compared < entries - 1) why << reference << ": " << entries - compared << " entries highlighted; ";
    if (differing != 0) why << reference << ": " << differing << " label pixels differ from the Linux build's; ";
    if (ink.count() <= 15 * compared) why << reference << ": labels missing";
    return why.str();
}

class WineE2E : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        name_ = std::string(info->test_suite_name()) + "." + info->name();
    }

    void TearDown() override {
        if (!session_) return;
        session_->stop();
        // Wine's own processes (wineserver, explorer) end once no program is left; the next test
        // must not find them still bound to this test's X server.
        EXPECT_TRUE(session_->tool(wineserverWait())) << session_->lastError();
        if (HasFailure()) {
            for (const std::string& path : session_->keptFiles()) std::cout << "  screenshot: " << path << "\n";
        } else {
            session_->discardKept();
        }
    }

    Session& open(const std::string& program) {
        session_ = std::make_unique<Session>(name_, wineSession(program));
        return *session_;
    }
    Session& s() { return *session_; }

    // The window of the freshly built program, started and shown; its geometry in win_.
    void startBuiltProgram() {
        const std::string exe = std::string(E2E_WINDOWS_BUILD) + "/vellorin.exe";
        ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
        ASSERT_TRUE(open(exe).start()) << s().lastError();
        const auto geo = s().windowGeometry();
        ASSERT_TRUE(geo) << s().lastError();
        win_ = *geo;
    }

    void pointAt(int x, int y) { ASSERT_TRUE(s().moveMouse(x, y)) << s().lastError(); }

    // Keys as real key events, after a click that makes the window Wine's active one.
    void typeKeys(const std::vector<std::string>& keys) {
        pointAt(win_.x + win_.width / 2, win_.y + 40);
        ASSERT_TRUE(s().click(1)) << s().lastError();
        std::vector<std::string> argv = {"xdotool", "key", "--delay", "50"};
        argv.insert(argv.end(), keys.begin(), keys.end());
        ASSERT_TRUE(s().tool(argv)) << s().lastError();
    }

    // Waits until `count` menus show; returns them (sorted by x).
    std::vector<Rect> waitForMenus(size_t count) {
        std::vector<Rect> menus;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(int(kWineSeconds));
        while (std::chrono::steady_clock::now() < deadline) {
            menus = s().visibleMenus();
            if (menus.size() == count) return menus;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << "expected " << count << " menus, saw " << menus.size();
        return menus;
    }

    // Hovers main-menu entry k and returns the submenu that opens beside it, once it is the only
    // other menu showing (the one before may take a while to go).
    std::optional<Rect> openSubmenu(const Rect& main, int k, double entry) {
        pointAt(main.x + main.width / 2, int(main.y + entry * (k + 0.5)));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(int(kWineSeconds));
        while (std::chrono::steady_clock::now() < deadline) {
            const auto shown = s().visibleMenus();
            for (const Rect& r : shown)
                if (shown.size() == 2 && r.x != main.x && std::abs(r.y - (main.y + entry * k)) < entry) return r;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return std::nullopt;
    }

    std::string name_;
    std::unique_ptr<Session> session_;
    Rect win_;
};

Image readPicture(const Session& s, const std::string& path) {
    const auto ppm = s.tool({"convert", path, "-depth", "8", "ppm:-"});
    return ppm ? Image::fromPpm(*ppm) : Image();
}

TEST_F(WineE2E, WindowTakesKeysAndDrawsTheLinuxPicture) {
    startBuiltProgram();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(s().tool({"xdotool", "getwindowname", std::to_string(s().window())}).value_or(""), " Vellorin \n");
    EXPECT_EQ(win_.width, 900);
    EXPECT_EQ(win_.height, 700);

    // The picture of docs/screenshot.png: point "d" pushed 8 steps up along z.
    const Image linux = readPicture(s(), E2E_SCREENSHOT);
    ASSERT_EQ(linux.width(), 900) << "cannot read " << E2E_SCREENSHOT;
    typeKeys({"d", "z", "plus", "plus", "plus", "plus", "plus", "plus", "plus", "plus"});
    const Image after = s().waitFor([&](const Image& i) { return i.crop(win_) == linux; }, "edited").crop(win_);
    ASSERT_EQ(after.width(), 900);
    int differing = 0;
    for (int y = 0; y < linux.height(); ++y)
        for (int x = 0; x < linux.width(); ++x) {
            const Rgb a = linux.at(x, y), b = after.at(x, y);
            differing += a.r != b.r || a.g != b.g || a.b != b.b;
        }
    EXPECT_EQ(differing, 0) << "pixels differ from " << E2E_SCREENSHOT;
}

TEST_F(WineE2E, MenusShowTheLinuxLabelsAndPicksArrive) {
    startBuiltProgram();
    ASSERT_FALSE(HasFatalFailure());
    pointAt(win_.x + 300, win_.y + 180);
    ASSERT_TRUE(s().click(3)) << s().lastError();
    const auto menus = waitForMenus(1);
    ASSERT_EQ(menus.size(), 1u);
    const Rect main = menus.front();
    const double entry = main.height / 8.0;
    // The submenus in main-menu order; each is compared with its first entry under the pointer.
    const char* submenus[] = {"rows.pbm", "columns.pbm", "points.pbm", "axes.pbm", "instructions.pbm", "help.pbm"};
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(submenus[k]);
        const auto sub = openSubmenu(main, k, entry);
        ASSERT_TRUE(sub) << "no submenu beside entry " << k;
        pointAt(sub->x + sub->width / 2, int(sub->y + entry / 2));
        const auto mismatch = [&](const Image& screen) {
            return inkMismatch(screen, *sub, submenus[k], entry) + (k == 0 ? inkMismatch(screen, main, "main.pbm", entry) : "");
        };
        const Image screen = s().waitFor([&](const Image& i) { return mismatch(i).empty(); });
        EXPECT_EQ(mismatch(screen), "");
        if (HasFailure()) s().keep(screen, std::string("menu-") + submenus[k]);
    }

    // "Dimens\xe3o horizontal" -> "2": two rows of control points, 8 dots. The click goes once the
    // entry shows highlighted, so it is known to be under the pointer.
    const auto rows = openSubmenu(main, 0, entry);
    ASSERT_TRUE(rows);
    pointAt(rows->x + rows->width / 2, int(rows->y + entry * 1.5));
    const auto secondLit = [&](const Image& i) {
        const Image menu = i.crop(*rows);
        return isHighlight(menu.at(2, int(entry * 1.5))) && !isHighlight(menu.at(2, int(entry / 2)));
    };
    ASSERT_TRUE(secondLit(s().waitFor(secondLit))) << "entry 2 never highlighted";
    ASSERT_TRUE(s().click(1)) << s().lastError();
    waitForMenus(0);
    const auto twoRows = [&](const Image& i) { return redDots(i.crop(win_)).size() == 8; };
    EXPECT_TRUE(twoRows(s().waitFor(twoRows, "rows2"))) << "the grid did not change to 2 rows";
}

// Every file under the prefix's drive C: whose path names Vellorin, and whether the registry
// holds its uninstall entry (read from the saved registry, so wineserver must have ended).
struct Footprint {
    std::set<std::string> files;
    bool uninstallKey = false;
};
Footprint footprint() {
    Footprint f;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(prefix() / "drive_c", ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        std::string path = it->path().string(), lower = path;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        if (it->is_regular_file() && lower.find("vellorin") != std::string::npos) f.files.insert(path);
    }
    std::ifstream reg(prefix() / "system.reg");
    const std::string text((std::istreambuf_iterator<char>(reg)), std::istreambuf_iterator<char>());
    f.uninstallKey = text.find("\\\\Uninstall\\\\Vellorin]") != std::string::npos;
    return f;
}

TEST_F(WineE2E, InstallerInstallsAStartableProgramAndUninstallsCleanly) {
    const std::string installer = std::string(E2E_WINDOWS_BUILD) + "/" + E2E_INSTALLER;
    ASSERT_TRUE(fs::exists(installer)) << installer << " is missing: run the windows workflow first";
    const fs::path dir = prefix() / "drive_c/Program Files/Vellorin";
    Session& session = open((dir / "vellorin.exe").string());
    ASSERT_TRUE(session.startXvfb()) << session.lastError();
    ASSERT_TRUE(session.tool(wineserverWait())) << session.lastError();
    const Footprint before = footprint();
    ASSERT_FALSE(before.uninstallKey) << "Vellorin is already installed in " << prefix();

    // Wine's exit status says nothing (a program it cannot run still gives 0): look at the files.
    auto install = wine();
    install.insert(install.end(), {installer, "/S"});
    ASSERT_TRUE(session.tool(install)) << session.lastError();
    ASSERT_TRUE(session.tool(wineserverWait())) << session.lastError();
    const Footprint installed = footprint();
    for (const char* file : {"vellorin.exe", "LICENSE.txt", "Uninstall.exe"})
        EXPECT_TRUE(fs::is_regular_file(dir / file)) << file << " not installed";
    const auto shortcuts = std::count_if(installed.files.begin(), installed.files.end(), [](const std::string& p) {
        return p.find("/Start Menu/Programs/Vellorin/") != std::string::npos && p.size() > 4 &&
               p.compare(p.size() - 4, 4, ".lnk") == 0;
    });
    EXPECT_EQ(shortcuts, 2) << "the program's and the uninstaller's Start menu entries";
    EXPECT_TRUE(installed.uninstallKey) << "no uninstall entry in the registry";

    // The installed program opens its window.
    EXPECT_TRUE(session.startEditor() && session.waitForWindow()) << session.lastError();
    session.killEditor();
    ASSERT_TRUE(session.tool(wineserverWait())) << session.lastError();

    // The uninstaller copies itself to %TEMP% and returns at once; its copy does the work.
    auto uninstall = wine();
    uninstall.insert(uninstall.end(), {(dir / "Uninstall.exe").string(), "/S"});
    ASSERT_TRUE(session.tool(uninstall)) << session.lastError();
    ASSERT_TRUE(session.tool(wineserverWait())) << session.lastError();
    const Footprint after = footprint();
    std::vector<std::string> left;
    std::set_difference(after.files.begin(), after.files.end(), before.files.begin(), before.files.end(),
                        std::back_inserter(left));
    EXPECT_TRUE(left.empty()) << left.size() << " files left, e.g. " << (left.empty() ? "" : left.front());
    EXPECT_FALSE(fs::exists(dir)) << dir << " is still there";
    EXPECT_FALSE(after.uninstallKey) << "the uninstall entry is still in the registry";
}

}  // namespace
}  // namespace e2e
