// The Windows build (vellorin.exe and its installer) under Wine on a private Xvfb, judged against
// the Linux build's pictures: docs/screenshot.png and the menu references.
//
// Wine runs under a window manager (openbox), as on any desktop: with none, Wine 10 leaves
// freeglut's closed menus on the screen.
// Keys go as real (XTEST) key events, after a click in the window as a user's would; the window
// manager frames the window and places it as it likes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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
const fs::path kPrefix = fs::path(E2E_WINDOWS_BUILD) / "wineprefix";

// env WINEPREFIX=... <program> [args]: a Wine program in the Windows build's prefix.
std::vector<std::string> inWine(std::vector<std::string> command) {
    std::vector<std::string> argv = {"env"};
    std::istringstream env(E2E_WINE_ENV);
    for (std::string assignment; std::getline(env, assignment, '|');) argv.push_back(assignment);
    argv.insert(argv.end(), command.begin(), command.end());
    return argv;
}
const std::vector<std::string> kWineserverWait = inWine({E2E_WINESERVER, "-w"});

bool waitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(int(kWineSeconds));
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

bool isHighlight(Rgb c) { return c.b > 80 && c.r < 80 && c.g < 80; }  // a highlighted entry

// The menu's ink must be the Linux build's, pixel for pixel, entry by entry (so a glyph drawn for
// the tabs of the help pages' blank spacer lines shows up). The one entry Windows' freeglut keeps
// highlighted (under the pointer, or the parent of an open submenu) is left out. Returns what
// differs, or "" when nothing does.
std::string inkMismatch(const Image& screen, const Rect& menu, const std::string& reference, double entry) {
    const Image pic = screen.crop(menu);
    const Mask ink = Mask::of(pic, isInk), highlight = Mask::of(pic, isHighlight);
    const auto expected = Mask::readPbm(std::string(E2E_REFERENCE_DIR) + "/" + reference);
    std::ostringstream why;
    if (!expected || expected->width() != menu.width || expected->height() != menu.height) {
        why << reference << ": menu " << menu.width << "x" << menu.height << " unlike the reference";
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
    if (differing != 0) why << reference << ": " << differing << " label pixels differ; ";
    if (ink.count() <= 15 * compared) why << reference << ": labels missing";
    return why.str();
}

class WineE2E : public ::testing::Test {
protected:
    void TearDown() override {
        if (!session_) return;
        session_->stop();
        // Wine's own processes end once no program is left; the next test must not find them
        // still tied to this test's X server.
        EXPECT_TRUE(session_->tool(kWineserverWait)) << session_->lastError();
        if (HasFailure())
            for (const std::string& path : session_->keptFiles()) std::cout << "  screenshot: " << path << "\n";
        else
            session_->discardKept();
    }

    Session& open(const std::string& program) {
        SessionOptions o;
        o.wrapper = inWine({E2E_WINE});
        o.program = program;
        o.windowManager = {"openbox"};
        o.startTimeout = o.actionTimeout = o.judgeTimeout = kWineSeconds;
        session_ = std::make_unique<Session>(std::string("WineE2E.") + ::testing::UnitTest::GetInstance()->current_test_info()->name(), o);
        return *session_;
    }
    Session& s() { return *session_; }

    // The freshly built program's window, shown; its geometry in win_.
    void startBuiltProgram() {
        const std::string exe = std::string(E2E_WINDOWS_BUILD) + "/vellorin.exe";
        ASSERT_TRUE(fs::exists(exe)) << exe << " is missing: build the windows preset first";
        ASSERT_TRUE(open(exe).start()) << s().lastError();
        const auto geo = s().windowGeometry();
        ASSERT_TRUE(geo) << s().lastError();
        win_ = *geo;
    }

    void pointAt(int x, int y) { ASSERT_TRUE(s().moveMouse(x, y)) << s().lastError(); }

    // Hovers main-menu entry k; returns the submenu that opens beside it, level with the entry
    // (not the one of the entry hovered before, should it still be closing).
    std::optional<Rect> openSubmenu(const Rect& main, int k, double entry) {
        pointAt(main.x + main.width / 2, int(main.y + entry * (k + 0.5)));
        std::optional<Rect> sub;
        waitUntil([&] {
            for (const Rect& r : s().visibleMenus())
                if (r.x != main.x && std::abs(r.y - (main.y + entry * k)) < entry / 2) sub = r;
            return sub.has_value();
        });
        return sub;
    }

    std::unique_ptr<Session> session_;
    Rect win_;
};

TEST_F(WineE2E, WindowShowsTheProgramsIconTakesKeysAndDrawsTheLinuxPicture) {
    startBuiltProgram();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(s().tool({"xdotool", "getwindowname", std::to_string(s().window())}).value_or(""), " Vellorin \n");
    EXPECT_EQ(win_.width, 900);
    EXPECT_EQ(win_.height, 700);

    // Wine puts the window class's icon, each size it uses, on its X window: every one must be
    // that size of the program's own icon, not of Wine's default.
    const std::vector<Icon> ico = s().iconsIn(E2E_WINDOWS_ICON), icons = s().windowIcons();
    ASSERT_FALSE(ico.empty()) << "cannot read " << E2E_WINDOWS_ICON;
    EXPECT_FALSE(icons.empty()) << "the window has no _NET_WM_ICON";
    for (const Icon& icon : icons)
        EXPECT_TRUE(std::find(ico.begin(), ico.end(), icon) != ico.end())
            << "the window's " << icon.width << " x " << icon.height << " icon is not in " << E2E_WINDOWS_ICON;

    // docs/screenshot.png shows point "d" pushed 8 steps up along z.
    const auto ppm = s().tool({"convert", E2E_SCREENSHOT, "-depth", "8", "ppm:-"});
    const Image linux = Image::fromPpm(ppm.value_or(""));
    ASSERT_EQ(linux.width(), 900) << "cannot read " << E2E_SCREENSHOT;
    pointAt(win_.x + win_.width / 2, win_.y + 40);
    ASSERT_TRUE(s().click(1)) << s().lastError();
    ASSERT_TRUE(s().tool({"xdotool", "key", "--delay", "50", "d", "z", "plus", "plus", "plus", "plus", "plus",
                          "plus", "plus", "plus"}))
        << s().lastError();
    const auto same = [&](const Image& i) { return i.crop(win_) == linux; };
    EXPECT_TRUE(same(s().waitFor(same, "edited"))) << "the window never showed " << E2E_SCREENSHOT;
}

TEST_F(WineE2E, MenusShowTheLinuxLabelsAndPicksArrive) {
    startBuiltProgram();
    ASSERT_FALSE(HasFatalFailure());
    pointAt(win_.x + 300, win_.y + 180);
    ASSERT_TRUE(s().click(3)) << s().lastError();
    ASSERT_TRUE(waitUntil([&] { return s().visibleMenus().size() == 1; })) << "no menu";
    const Rect main = s().visibleMenus().front();
    const double entry = main.height / 8.0;
    // The submenus in main-menu order, each judged with its first entry under the pointer.
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
    EXPECT_TRUE(waitUntil([&] { return s().visibleMenus().empty(); })) << "the menus stayed open";
    const auto twoRows = [&](const Image& i) { return redDots(i.crop(win_)).size() == 8; };
    EXPECT_TRUE(twoRows(s().waitFor(twoRows, "rows2"))) << "the grid did not change to 2 rows";
}

// Files under the prefix's drive C: whose path names Vellorin, and whether the saved registry
// (written when wineserver ends) holds the uninstall entry.
std::pair<std::set<std::string>, bool> footprint() {
    std::set<std::string> files;
    std::error_code ec;
    const fs::path drive = kPrefix / "drive_c";
    for (auto it = fs::recursive_directory_iterator(drive, ec); !ec && it != fs::end(it); it.increment(ec)) {
        // Only the part inside the prefix: the build folder's own path may name Vellorin too.
        std::string lower = fs::relative(it->path(), drive).string();
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        if (it->is_regular_file() && lower.find("vellorin") != std::string::npos) files.insert(it->path().string());
    }
    std::ifstream reg(kPrefix / "system.reg");
    const std::string text((std::istreambuf_iterator<char>(reg)), std::istreambuf_iterator<char>());
    return {files, text.find("\\\\Uninstall\\\\Vellorin]") != std::string::npos};
}

TEST_F(WineE2E, InstallerInstallsAStartableProgramAndUninstallsCleanly) {
    const std::string installer = std::string(E2E_WINDOWS_BUILD) + "/" + E2E_INSTALLER;
    ASSERT_TRUE(fs::exists(installer)) << installer << " is missing: run the windows workflow first";
    const fs::path dir = kPrefix / "drive_c/Program Files/Vellorin";
    Session& session = open((dir / "vellorin.exe").string());
    ASSERT_TRUE(session.startXvfb()) << session.lastError();
    ASSERT_TRUE(session.tool(kWineserverWait)) << session.lastError();
    const auto [before, registeredBefore] = footprint();
    ASSERT_FALSE(registeredBefore) << "Vellorin is already installed in " << kPrefix;

    // Wine's exit status proves nothing (a program it cannot run still gives 0): look at the files.
    ASSERT_TRUE(session.tool(inWine({E2E_WINE, installer, "/S"}))) << session.lastError();
    ASSERT_TRUE(session.tool(kWineserverWait)) << session.lastError();
    const auto [installed, registered] = footprint();
    for (const char* file : {"vellorin.exe", "LICENSE.txt", "Uninstall.exe"})
        EXPECT_TRUE(fs::is_regular_file(dir / file)) << file << " not installed";
    EXPECT_EQ(std::count_if(installed.begin(), installed.end(), [](const std::string& p) {
                  return p.find("/Start Menu/Programs/Vellorin/") != std::string::npos && fs::path(p).extension() == ".lnk";
              }), 2) << "the program's and the uninstaller's Start menu entries";
    EXPECT_TRUE(registered) << "no uninstall entry in the registry";

    EXPECT_TRUE(session.startEditor() && session.waitForWindow()) << session.lastError();
    session.killEditor();
    ASSERT_TRUE(session.tool(kWineserverWait)) << session.lastError();

    // The uninstaller copies itself to %TEMP% and returns at once; wineserver -w waits for the copy.
    ASSERT_TRUE(session.tool(inWine({E2E_WINE, (dir / "Uninstall.exe").string(), "/S"}))) << session.lastError();
    ASSERT_TRUE(session.tool(kWineserverWait)) << session.lastError();
    const auto [after, registeredAfter] = footprint();
    std::vector<std::string> left;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(left));
    EXPECT_TRUE(left.empty()) << left.size() << " files left, e.g. " << (left.empty() ? "" : left.front());
    EXPECT_FALSE(fs::exists(dir)) << dir << " is still there";
    EXPECT_FALSE(registeredAfter) << "the uninstall entry is still in the registry";
}

}  // namespace
}  // namespace e2e
