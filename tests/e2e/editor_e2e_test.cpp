// End-to-end tests of the editor: the real binary, a real window on a private Xvfb, keys and
// pointer through xdotool, and conclusions drawn from screenshots. Each test starts a fresh X
// server and a fresh editor process.
//
// Where pixels are predicted, the prediction comes from the editor's viewing set-up as a user
// would describe it: camera at (900, 900, 350) looking at (0, 0, 2) with z up, 35 degrees of
// vertical field of view, the base grid at x, y = 100 .. 400 on the plane z = 0.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <iostream>
#include <set>
#include <sstream>
#include <thread>

#include "driver.h"
#include "picture.h"

namespace e2e {
namespace {

constexpr double kWaitSeconds = 30.0;  // for a menu to show or close, or the editor to end

// World position of a control point's base, by grid row i and column j.
Point gridPoint(const View& v, int i, int j, double z = 0.0) { return project(v, 100.0 * (j + 1), 100.0 * (i + 1), z); }

// Window positions of the 50 x 50 surface samples of the flat start patch, after lifting it
// `lift` units along its own z and then turning it `angle` degrees about `axis` through the origin.
std::vector<Point> flatPatchSamples(const View& v, const double axis[3] = nullptr, double angle = 0.0,
                                    double lift = 0.0) {
    double k[3] = {0, 0, 1};
    if (axis) {
        const double n = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        for (int i = 0; i < 3; ++i) k[i] = axis[i] / n;
    }
    const double c = std::cos(angle * M_PI / 180.0), s = std::sin(angle * M_PI / 180.0);
    std::vector<Point> samples;
    for (int a = 0; a < 50; ++a)
        for (int b = 0; b < 50; ++b) {
            const double p[3] = {100.0 + 300.0 * a / 49.0, 100.0 + 300.0 * b / 49.0, lift};
            const double kp = k[0] * p[0] + k[1] * p[1] + k[2] * p[2];
            const double cross[3] = {k[1] * p[2] - k[2] * p[1], k[2] * p[0] - k[0] * p[2], k[0] * p[1] - k[1] * p[0]};
            double r[3];
            for (int i = 0; i < 3; ++i) r[i] = p[i] * c + cross[i] * s + k[i] * kp * (1.0 - c);
            samples.push_back(project(v, r[0], r[1], r[2]));
        }
    return samples;
}

Point flatPatchCentroid(const View& v) {
    Point sum;
    const auto samples = flatPatchSamples(v);
    for (const Point& p : samples) sum.x += p.x, sum.y += p.y;
    return {sum.x / samples.size(), sum.y / samples.size()};
}

// Left, top, right, bottom.
struct Box {
    double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
    void add(double x, double y) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
    }
};
Box boxOf(const std::vector<Point>& points) {
    Box b;
    for (const Point& p : points) b.add(p.x, p.y);
    return b;
}
Box boxOf(const Mask& m) {
    Box b;
    for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x)
            if (m.get(x, y)) b.add(x, y);
    return b;
}

std::string describe(const Point& p) {
    std::ostringstream o;
    o << "(" << p.x << ", " << p.y << ")";
    return o.str();
}

// Every base point of a rows x cols grid has a red dot found within 4 pixels of its projection.
void expectDotsOnGrid(const View& v, const std::vector<Point>& dots, int rows, int cols) {
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) {
            const Point p = gridPoint(v, i, j);
            bool found = false;
            for (const Point& d : dots) found = found || distance(d, p) < 4.0;
            EXPECT_TRUE(found) << "no red dot at point (" << i << "," << j << ") " << describe(p);
        }
}

// Mean column of the pixels of one class on a row, or mean row on a column.
std::optional<double> meanOnRow(const Image& img, int row, bool (*pred)(Rgb)) {
    double sum = 0;
    int n = 0;
    for (int x = 0; x < img.width(); ++x)
        if (pred(img.at(x, row))) sum += x, ++n;
    if (n == 0) return std::nullopt;
    return sum / n;
}
std::optional<double> meanOnColumn(const Image& img, int column, bool (*pred)(Rgb)) {
    double sum = 0;
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        if (pred(img.at(column, y))) sum += y, ++n;
    if (n == 0) return std::nullopt;
    return sum / n;
}

bool isDarkGreen(Rgb c) { return isAxisDark(c) && c.g > c.r; }

// Runs checks with their failures caught instead of reported: true when none failed.
bool passesQuietly(const std::function<void()>& checks) {
    ::testing::TestPartResultArray failures;
    const ::testing::ScopedFakeTestPartResultReporter quiet(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
    checks();
    return failures.size() == 0;
}

// Menu labels as drawn, top to bottom; an empty string is an entry that shows nothing.
struct MenuLabels {
    const char* reference;  // file name of the expected ink, under the reference folder
    std::vector<bool> inked;
};
const MenuLabels kMainMenu = {"main.pbm", std::vector<bool>(8, true)};
// The six submenus, in main-menu order: rows, columns, points, axes, instructions, help.
const std::vector<MenuLabels> kSubmenus = {
    {"rows.pbm", std::vector<bool>(4, true)},
    {"columns.pbm", std::vector<bool>(4, true)},
    {"points.pbm", std::vector<bool>(16, true)},
    {"axes.pbm", std::vector<bool>(6, true)},
    // Lines 5, 9, 12, 15 and 16 of the instructions are blank spacers.
    {"instructions.pbm", {true, true, true, true, false, true, true, true, false, true, true, false,
                          true, true, false, false, true, true, true, true, true}},
    // The help page ends with an empty line.
    {"help.pbm", {true, true, true, true, true, true, true, false}},
};
constexpr int kResetEntry = 6, kQuitEntry = 7;

class EditorE2E : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        session_ = std::make_unique<Session>(std::string(info->test_suite_name()) + "." + info->name());
        ASSERT_TRUE(session_->start()) << session_->lastError();
        const auto geo = session_->windowGeometry();
        ASSERT_TRUE(geo) << session_->lastError();
        win_ = *geo;
    }

    void TearDown() override {
        session_->stop();
        const auto left = session_->leftoverProcesses();
        EXPECT_TRUE(left.empty()) << "still running: " << (left.empty() ? "" : left.front());
        if (HasFailure()) {
            for (const std::string& path : session_->keptFiles()) std::cout << "  screenshot: " << path << "\n";
        } else {
            session_->discardKept();
        }
    }

    Session& s() { return *session_; }
    Image windowPart(const Image& screen) const { return screen.crop(win_); }

    // Waits until `checks` pass on the window's picture, as a user waits for what they look for,
    // then runs them once more on that picture for real: a state that never comes is reported by
    // the very checks that judge it. A busy machine only makes the wait longer.
    Image windowWhen(const std::string& label, const std::function<void(const Image&)>& checks) {
        const auto passes = [&](const Image& screen) { return passesQuietly([&] { checks(windowPart(screen)); }); };
        const Image pic = windowPart(s().waitFor(passes, label));
        checks(pic);
        return pic;
    }

    // The start picture: the whole 4 x 4 patch drawn.
    Image startPicture(const std::string& label = "start") {
        return windowWhen(label, [](const Image& pic) {
            EXPECT_EQ(redDots(pic).size(), 16u);
            EXPECT_GT(Mask::of(pic, isYellow).count(), 5000);
        });
    }

    static std::function<void(const Image&)> differsFrom(const Image& before) {
        return [&before](const Image& pic) { EXPECT_NE(pic, before) << "the picture did not change"; };
    }

    // Sends keys and returns the window once `checks` pass on it.
    Image pressKeys(const std::vector<std::string>& keys, const std::string& label,
                    const std::function<void(const Image&)>& checks) {
        EXPECT_TRUE(s().keys(keys)) << s().lastError();
        return windowWhen(label, checks);
    }

    // Picks from the menu and returns the window once the menu has gone and `checks` pass.
    Image chooseAndWait(int mainIndex, std::optional<int> subIndex, const std::string& label,
                        const std::function<void(const Image&)>& checks) {
        choose(mainIndex, subIndex);
        waitForMenus(0);
        return windowWhen(label, checks);
    }

    // Waits until exactly `count` freeglut menus are visible and returns them.
    std::vector<Rect> waitForMenus(size_t count) {
        std::vector<Rect> menus;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(int(kWaitSeconds));
        while (std::chrono::steady_clock::now() < deadline) {
            menus = s().visibleMenus();
            if (menus.size() == count) return menus;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "expected " << count << " visible menus, saw " << menus.size();
        return menus;
    }

    // Right-clicks at a screen point and returns the main menu that opens there.
    std::optional<Rect> openMainMenu(int x = 300, int y = 200) {
        EXPECT_TRUE(s().moveMouse(x, y)) << s().lastError();
        EXPECT_TRUE(s().click(3)) << s().lastError();
        const auto menus = waitForMenus(1);
        if (menus.size() != 1) return std::nullopt;
        return menus.front();
    }

    // Centre of entry `index` of a menu with `entries` entries, from the menu's measured height.
    static Point entryCentre(const Rect& menu, int index, int entries) {
        return {menu.x + menu.width / 2.0, menu.y + menu.height * (2.0 * index + 1.0) / (2.0 * entries)};
    }

    void hover(const Rect& menu, int index, int entries) {
        const Point p = entryCentre(menu, index, entries);
        EXPECT_TRUE(s().moveMouse(int(p.x), int(p.y))) << s().lastError();
    }

    // Hovers a submenu entry of the main menu and returns the submenu that opens beside it: the
    // one other menu, its top level with the hovered entry (not one still closing elsewhere).
    std::optional<Rect> openSubmenu(const Rect& main, int index) {
        hover(main, index, 8);
        const double entryTop = main.y + main.height * index / 8.0, entryHeight = main.height / 8.0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(int(kWaitSeconds));
        while (std::chrono::steady_clock::now() < deadline) {
            const auto menus = s().visibleMenus();
            for (const Rect& r : menus)
                if (menus.size() == 2 && (r.x != main.x || r.y != main.y) && std::abs(r.y - entryTop) < entryHeight)
                    return r;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "no submenu opened beside entry " << index;
        return std::nullopt;
    }

    // Picks main-menu entry `mainIndex`, or entry `subIndex` of the submenu it opens.
    void choose(int mainIndex, std::optional<int> subIndex = std::nullopt) {
        const auto main = openMainMenu();
        ASSERT_TRUE(main);
        if (subIndex) {
            const auto sub = openSubmenu(*main, mainIndex);
            ASSERT_TRUE(sub);
            hover(*sub, *subIndex, int(kSubmenus[size_t(mainIndex)].inked.size()));
        } else {
            hover(*main, mainIndex, 8);
        }
        ASSERT_TRUE(s().click(1)) << s().lastError();
    }

    // The menu's picture must show its labels: ink where a label is, none on blank lines, no scene
    // colours, and the same ink as the stored reference. `final` is false while waiting for them.
    void expectLabels(const Image& screen, const Rect& menu, const MenuLabels& labels, bool final = true) {
        const Image pic = screen.crop(menu);
        ASSERT_EQ(pic.width(), menu.width);
        const Mask ink = Mask::of(pic, isInk);
        const Mask scene = Mask::of(pic, [](Rgb c) { return isBackground(c) || isYellow(c); });
        EXPECT_EQ(scene.count(), 0) << labels.reference << ": scene colours inside the menu";
        const int entries = int(labels.inked.size());
        for (int i = 0; i < entries; ++i) {
            const int top = menu.height * i / entries + 3, bottom = menu.height * (i + 1) / entries - 3;
            const int n = ink.countIn(0, top, menu.width, bottom);
            const int area = menu.width * (bottom - top);
            if (labels.inked[size_t(i)]) {
                EXPECT_GT(n, 15) << labels.reference << " entry " << i << ": no label drawn";
                EXPECT_LT(n, area / 3) << labels.reference << " entry " << i << ": a dark box, not a label";
            } else {
                EXPECT_EQ(n, 0) << labels.reference << " entry " << i << " should be blank";
            }
        }
        const std::string path = std::string(E2E_REFERENCE_DIR) + "/" + labels.reference;
        const bool updating = std::getenv("E2E_UPDATE_REFERENCES") != nullptr;
        if (updating && !final) return;
        if (updating) {
            ASSERT_TRUE(ink.writePbm(path));
            std::cout << "  wrote reference " << path << "\n";
        }
        const auto expected = Mask::readPbm(path);
        ASSERT_TRUE(expected) << "missing reference " << path << " (E2E_UPDATE_REFERENCES=1 writes it)";
        const int diff = ink.differences(*expected);
        // Same font, same server: the ink should match exactly; a few pixels of slack for
        // rounding in the highlight position.
        EXPECT_GE(diff, 0) << labels.reference << ": menu is " << menu.width << "x" << menu.height
                           << ", reference " << expected->width() << "x" << expected->height();
        EXPECT_LE(diff, ink.count() / 100) << labels.reference << ": label pixels differ";
        if (diff != 0 && final) s().keep(screen, std::string("menu-") + labels.reference);
    }

    // Waits until the menus show their labels, and judges them on that picture.
    void expectMenusDrawn(const std::string& label, const std::vector<std::pair<Rect, MenuLabels>>& menus) {
        const auto passes = [&](const Image& screen) {
            return passesQuietly([&] {
                for (const auto& [menu, labels] : menus) expectLabels(screen, menu, labels, false);
            });
        };
        // A menu window can be mapped after freeglut drew it, and then stays blank until the next
        // redraw, which a change of highlight brings: the user, seeing a blank menu, moves the
        // pointer. So does the wait, every few seconds: one entry down and back to the hovered one.
        const int entry = menus.front().first.height / int(menus.front().second.inked.size());
        auto nudged = std::chrono::steady_clock::now();
        const auto drawnOrNudge = [&](const Image& screen) {
            if (passes(screen)) return true;
            if (std::chrono::steady_clock::now() - nudged > std::chrono::seconds(3)) {
                s().tool({"xdotool", "mousemove_relative", "--", "0", std::to_string(entry), "sleep", "0.3",
                          "mousemove_relative", "--", "0", std::to_string(-entry)});
                nudged = std::chrono::steady_clock::now();
            }
            return false;
        };
        const Image screen = s().waitFor(drawnOrNudge, label);
        for (const auto& [menu, labels] : menus) expectLabels(screen, menu, labels);
    }

    std::unique_ptr<Session> session_;
    Rect win_;
};

// ---- start-up ------------------------------------------------------------------------------

TEST_F(EditorE2E, StartUpShowsOneWindowWithThePatchAndAxes) {
    EXPECT_EQ(s().windowNames(), std::vector<std::string>{" Vellorin "});
    EXPECT_EQ(win_.x, 100);
    EXPECT_EQ(win_.y, 100);
    EXPECT_EQ(win_.width, 900);
    EXPECT_EQ(win_.height, 700);

    windowWhen("start", [](const Image& pic) {
        ASSERT_EQ(pic.width(), 900);
        for (const auto& [x, y] : std::vector<std::pair<int, int>>{{2, 2}, {897, 2}, {2, 697}, {897, 697}})
            EXPECT_TRUE(isBackground(pic.at(x, y))) << "corner " << x << "," << y;

        // The patch: yellow samples inside the projected outline, a red dot on every control point.
        const View v;
        const Mask yellow = Mask::of(pic, isYellow);
        EXPECT_GT(yellow.count(), 5000);
        const auto centroid = yellow.centroid();
        ASSERT_TRUE(centroid);
        EXPECT_LT(distance(*centroid, flatPatchCentroid(v)), 6.0) << describe(*centroid);
        const auto dots = redDots(pic);
        EXPECT_EQ(dots.size(), 16u);
        expectDotsOnGrid(v, dots, 4, 4);
        const Mask green = Mask::of(pic, isGreen);
        const Point corners[] = {gridPoint(v, 0, 0), gridPoint(v, 0, 3), gridPoint(v, 3, 0), gridPoint(v, 3, 3)};
        int left = 900, right = 0, top = 700, bottom = 0;
        for (const Point& c : corners) {
            left = std::min(left, int(c.x)), right = std::max(right, int(c.x));
            top = std::min(top, int(c.y)), bottom = std::max(bottom, int(c.y));
        }
        EXPECT_GT(green.countIn(left, top, right, bottom), 500) << "control net missing over the patch";
        EXPECT_GT(yellow.countIn(left, top, right, bottom), yellow.count() * 99 / 100) << "samples off the patch";

        // The axes, away from the patch: blue z above the origin, dark -y to the upper left, dark -x to
        // the upper right, bright +x to the lower left.
        struct Axis {
            double dir[3];
            bool byRow;
            int from, to;
            bool (*pred)(Rgb);
            const char* name;
        };
        const Axis axes[] = {
            {{0, 0, 1}, true, 10, 300, isAxisBlue, "+z"},
            {{0, -1, 0}, false, 10, 400, isDarkGreen, "-y"},
            {{-1, 0, 0}, false, 500, 890, [](Rgb c) { return isAxisDark(c) && c.r > c.g; }, "-x"},
            {{1, 0, 0}, false, 10, 150, isRed, "+x"},
        };
        for (const Axis& a : axes)
            for (int t = a.from; t <= a.to; t += 20) {
                const auto p = a.byRow ? crossRow(v, a.dir, t) : crossColumn(v, a.dir, t);
                ASSERT_TRUE(p) << a.name << " at " << t;
                const auto seen = a.byRow ? meanOnRow(pic, t, a.pred) : meanOnColumn(pic, t, a.pred);
                ASSERT_TRUE(seen) << a.name << " axis not drawn at " << t;
                EXPECT_NEAR(*seen, a.byRow ? p->x : p->y, 1.5) << a.name << " at " << t;
            }
    });
}

// What a dock ties the window to its launcher by, and shows for it.
TEST_F(EditorE2E, WindowCarriesTheDesktopEntrysClassItsProcessAndTheIcon) {
    std::ifstream entry(E2E_DESKTOP_ENTRY);
    std::string wmClass;
    for (std::string line; std::getline(entry, line);)
        if (line.rfind("StartupWMClass=", 0) == 0) wmClass = line.substr(15);
    ASSERT_FALSE(wmClass.empty()) << E2E_DESKTOP_ENTRY << " names no StartupWMClass";
    EXPECT_EQ(s().windowProperty("WM_CLASS").value_or(s().lastError()),
              "WM_CLASS(STRING) = \"vellorin\", \"" + wmClass + "\"\n");
    EXPECT_EQ(s().windowProperty("_NET_WM_PID").value_or(s().lastError()),
              "_NET_WM_PID(CARDINAL) = " + std::to_string(s().editorPid()) + "\n");

    // Every size the window offers is the committed PNG of that size, pixel for pixel; 48 and 128
    // px are there at least.
    std::set<int> sizes;
    for (const Icon& icon : s().windowIcons()) {
        const std::string png = std::string(E2E_ICON_DIR) + "/" + std::to_string(icon.width) + "/org.vellorin.Vellorin.png";
        const auto committed = s().iconsIn(png);
        EXPECT_TRUE(committed.size() == 1 && icon == committed.front())
            << "the " << icon.width << " x " << icon.height << " icon is not " << png;
        sizes.insert(icon.width);
    }
    EXPECT_TRUE(sizes.count(48) && sizes.count(128)) << "_NET_WM_ICON has " << sizes.size() << " sizes, not 48 and 128 px";
}

TEST_F(EditorE2E, RendersFramesContinuouslyWhileIdle) {
    const Image before = startPicture("before");
    // A loop that only draws on request sits still once the first frame is up; one that draws
    // frame after frame keeps using CPU with no input at all. On a busy machine it gets a small
    // share of a core, so the CPU it must use is awaited, not timed.
    constexpr double kBusySeconds = 0.5;
    const double cpu0 = s().editorCpuSeconds();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2 * int(kWaitSeconds));
    double used = 0;
    while ((used = s().editorCpuSeconds() - cpu0) < kBusySeconds && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GE(used, kBusySeconds) << "the editor used " << used << " s of CPU in " << 2 * kWaitSeconds
                                  << " s without input: it does not draw continuously";
    EXPECT_EQ(windowPart(s().screenshot("idle")), before) << "picture changed with no input";
    pressKeys({"Left"}, "after-key", differsFrom(before));
    EXPECT_TRUE(s().editorRunning());
}

// ---- keyboard ------------------------------------------------------------------------------

TEST_F(EditorE2E, PointEditChangesOnlyTheNeighbourhoodOfThePoint) {
    const View v;
    // Point "d" is (2, 1); its net neighbours are (1, 1), (3, 1), (2, 0), (2, 2).
    const Point base = gridPoint(v, 2, 1);
    double reach = 0;
    for (const auto& [i, j] : std::vector<std::pair<int, int>>{{1, 1}, {3, 1}, {2, 0}, {2, 2}})
        reach = std::max(reach, distance(base, gridPoint(v, i, j)));
    reach += 25.0;  // a letter beside a neighbour
    int farPoints = 0;  // border points whose dots must stay as they were
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            farPoints += (i % 3 == 0 || j % 3 == 0) && distance(base, gridPoint(v, i, j)) > reach + 10.0;
    ASSERT_GE(farPoints, 3);

    struct Step {
        int presses;
        double z;  // height of "d" after the step
        const char* label;
    };
    Image before = startPicture();
    for (const Step& step : {Step{3, 15.0, "plus3"}, Step{20, 115.0, "plus20"}}) {
        SCOPED_TRACE(step.label);
        std::vector<std::string> keys(size_t(step.presses), "plus");
        if (step.presses == 3) keys.insert(keys.begin(), {"d", "z"});
        before = pressKeys(keys, step.label, [&](const Image& after) {
            const Point raised = gridPoint(v, 2, 1, step.z);
            const Mask red = Mask::changed(before, after, isRed);
            const Mask green = Mask::changed(before, after, isGreen);
            // The dot and its letter went from the old place to the new one.
            EXPECT_GT(red.countIn(int(raised.x) - 4, int(raised.y) - 4, int(raised.x) + 5, int(raised.y) + 5), 20)
                << "no red dot arrived at " << describe(raised);
            EXPECT_GT(green.count(), 20) << "the net segments at the point did not move";
            // The control points on the patch's border far from "d" keep their dots where they were.
            // (The border curves of the surface do not depend on an inner point; over the inner
            // points the bent surface may pass above a dot and hide it.)
            const auto dotsBefore = redDots(before), dotsAfter = redDots(after);
            auto nearest = [](const std::vector<Point>& dots, Point p) {
                Point best{-1e9, -1e9};
                for (const Point& d : dots)
                    if (distance(d, p) < distance(best, p)) best = d;
                return best;
            };
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    const Point p = gridPoint(v, i, j);
                    const bool border = i == 0 || i == 3 || j == 0 || j == 3;
                    if (!border || distance(p, base) <= reach + 10.0) continue;
                    const Point a = nearest(dotsBefore, p), b = nearest(dotsAfter, p);
                    EXPECT_LT(distance(a, p), 5.0) << "no dot at (" << i << "," << j << ") before";
                    EXPECT_LT(distance(a, b), 1.0) << "dot (" << i << "," << j << ") moved to " << describe(b);
                }
            // Red and green elsewhere are unchanged, except where they lie on the surface: the whole
            // surface bends a little, so its samples may now hide or uncover a few other net and
            // letter pixels.
            const Mask onSurface = (Mask::of(before, isYellow) | Mask::of(after, isYellow)).dilated(3);
            const std::vector<Point> centres = {base, raised};
            for (const auto& [name, mask] : {std::pair<const char*, const Mask*>{"red", &red}, {"green", &green}}) {
                std::vector<Point> far;
                for (const Point& p : mask->farFrom(centres, reach))
                    if (!onSurface.get(int(p.x), int(p.y))) far.push_back(p);
                EXPECT_TRUE(far.empty()) << far.size() << " " << name << " pixels changed far away, e.g. "
                                         << describe(far.front());
            }
        });
    }
}

TEST_F(EditorE2E, RotationAndTranslationMoveThePatchButNotTheAxes) {
    const View v;
    const Image start = startPicture();
    struct Step {
        std::vector<std::string> keys;
        double angle, lift;  // the patch's turn about z and its height after the step
        const char* label;
    };
    // "r" again ends rotation mode, so the translation presses only lift the patch.
    const Step steps[] = {
        {{"r", "plus", "plus", "plus"}, 90.0, 0.0, "rotated"},
        {{"r", "t", "plus", "plus", "plus", "plus"}, 90.0, 200.0, "lifted"},
    };
    const double diagonal[3] = {1, 1, 0};  // the rotation axis at start, "Eixo dos XY"
    Image before = start;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.label);
        before = pressKeys(step.keys, step.label, [&](const Image& after) {
            // The yellow samples cover the outline the turned and lifted patch projects to. Samples are
            // 3 pixels wide, and the 7-pixel corner dots are drawn over the corner samples, so the
            // yellow edge may sit a few pixels off the outermost sample centres.
            const Box seen = boxOf(Mask::of(after, isYellow));
            const Box expected = boxOf(flatPatchSamples(v, diagonal, step.angle, step.lift));
            EXPECT_NEAR(seen.left, expected.left, 6.0);
            EXPECT_NEAR(seen.right, expected.right, 6.0);
            EXPECT_NEAR(seen.top, expected.top, 6.0);
            EXPECT_NEAR(seen.bottom, expected.bottom, 6.0);
            const Mask was = Mask::of(before, isYellow);
            EXPECT_GT(was.differences(Mask::of(after, isYellow)), was.count() / 5) << "the patch hardly moved";
            // Away from where the patch was and is, nothing changed, and that area holds axes.
            const Mask patch = (Mask::of(before, isYellow) | Mask::of(after, isYellow)).dilated(30);
            int axisPixels = 0, changed = 0;
            for (int y = 0; y < after.height(); ++y)
                for (int x = 0; x < after.width(); ++x) {
                    if (patch.get(x, y)) continue;
                    const Rgb c = before.at(x, y);
                    axisPixels += isAxisBlue(c) || isAxisDark(c) || isRed(c) || isGreen(c);
                    const Rgb d = after.at(x, y);
                    changed += c.r != d.r || c.g != d.g || c.b != d.b;
                }
            EXPECT_GT(axisPixels, 1000);
            EXPECT_EQ(changed, 0) << "pixels away from the patch changed";
        });
    }
}

TEST_F(EditorE2E, ArrowKeysSlideTheWholePicture) {
    View v;
    Image before = startPicture();
    const double zAxis[3] = {0, 0, 1}, minusY[3] = {0, -1, 0};
    struct Expect {
        const char* key;
        int dx, dy;  // sign of the picture's movement on screen
    };
    // The camera slides left, so the picture moves right; the camera rises, so it moves down.
    for (const Expect& e : {Expect{"Left", 1, 0}, Expect{"Right", -1, 0}, Expect{"Up", 0, 1}, Expect{"Down", 0, -1}}) {
        SCOPED_TRACE(e.key);
        const View old = v;
        v.slide(e.key);
        before = pressKeys({e.key}, e.key, [&](const Image& after) {
            // Three marks: the z axis on row 40, the -y axis on column 20, the patch's centroid.
            const auto zOld = meanOnRow(before, 40, isAxisBlue), zNew = meanOnRow(after, 40, isAxisBlue);
            const auto yOld = meanOnColumn(before, 20, isDarkGreen), yNew = meanOnColumn(after, 20, isDarkGreen);
            const auto cOld = Mask::of(before, isYellow).centroid(), cNew = Mask::of(after, isYellow).centroid();
            ASSERT_TRUE(zOld && zNew && yOld && yNew && cOld && cNew);
            const double zShift = *zNew - *zOld, yShift = *yNew - *yOld;
            const Point cShift = {cNew->x - cOld->x, cNew->y - cOld->y};
            EXPECT_NEAR(zShift, crossRow(v, zAxis, 40)->x - crossRow(old, zAxis, 40)->x, 1.0);
            EXPECT_NEAR(yShift, crossColumn(v, minusY, 20)->y - crossColumn(old, minusY, 20)->y, 1.0);
            const Point pNew = flatPatchCentroid(v), pOld = flatPatchCentroid(old);
            EXPECT_NEAR(cShift.x, pNew.x - pOld.x, 1.5);
            EXPECT_NEAR(cShift.y, pNew.y - pOld.y, 1.5);
            // And the direction a user sees, at least 5 pixels.
            if (e.dx != 0) {
                EXPECT_GT(e.dx * zShift, 5.0);
                EXPECT_GT(e.dx * cShift.x, 5.0);
            } else {
                EXPECT_GT(e.dy * yShift, 5.0);
                EXPECT_GT(e.dy * cShift.y, 5.0);
                EXPECT_NEAR(zShift, 0.0, 0.5) << "a vertical slide moved the z axis sideways";
            }
        });
    }
}

// ---- menus ---------------------------------------------------------------------------------

TEST_F(EditorE2E, EverySubmenuOpensAndShowsItsLabels) {
    const auto main = openMainMenu();
    ASSERT_TRUE(main);
    std::optional<int> entryHeight;
    for (size_t k = 0; k < kSubmenus.size(); ++k) {
        SCOPED_TRACE(kSubmenus[k].reference);
        const auto sub = openSubmenu(*main, int(k));
        ASSERT_TRUE(sub);
        const int entries = int(kSubmenus[k].inked.size());
        // All entries are equally tall in every menu, so the heights differ by whole entries.
        if (!entryHeight) entryHeight = (main->height - sub->height) / (8 - entries);
        EXPECT_EQ(sub->height - main->height, *entryHeight * (entries - 8)) << "wrong number of entries";
        EXPECT_GE(sub->x, main->x + main->width - 2) << "submenu should open beside the main menu";
        hover(*sub, 0, entries);
        std::vector<std::pair<Rect, MenuLabels>> shown = {{*sub, kSubmenus[k]}};
        if (k == 0) shown.push_back({*main, kMainMenu});
        expectMenusDrawn(std::string("submenu-") + std::to_string(k), shown);
    }
    ASSERT_TRUE(entryHeight);
    EXPECT_GE(*entryHeight, 15);
}

TEST_F(EditorE2E, MenuOverRunningFramesShowsItsLabels) {
    const auto main = openMainMenu();
    ASSERT_TRUE(main);
    hover(*main, 6, 8);  // "Reset": an entry with no submenu, so only this menu shows
    // Frames keep coming underneath; the menu must keep its own picture throughout.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        expectMenusDrawn("menu-" + std::to_string(round), {{*main, kMainMenu}});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    EXPECT_EQ(waitForMenus(1).size(), 1u);
    EXPECT_TRUE(s().editorRunning());
}

TEST_F(EditorE2E, GridDimensionsFromTheMenu) {
    const View v;
    startPicture();
    chooseAndWait(0, 1, "rows2", [&](const Image& pic) {  // "Dimensao horizontal" -> "2"
        expectDotsOnGrid(v, redDots(pic), 2, 4);
        EXPECT_EQ(redDots(pic).size(), 8u);
    });
    chooseAndWait(1, 2, "grid2x3", [&](const Image& pic) {  // "Dimensao vertical" -> "3"
        const auto dots = redDots(pic);
        EXPECT_EQ(dots.size(), 6u);
        expectDotsOnGrid(v, dots, 2, 3);
    });
}

TEST_F(EditorE2E, ResetRestoresTheStartPicture) {
    const Image start = startPicture();
    // A point edit, a turn, a lift and a camera slide: everything Reset puts back. (The grid
    // dimensions are not among them; Reset keeps those.)
    pressKeys({"d", "z", "plus", "plus", "plus", "r", "plus", "t", "plus", "Left", "Up"}, "edited", differsFrom(start));
    chooseAndWait(kResetEntry, std::nullopt, "reset", [&](const Image& reset) {
        // Same state, same renderer: every pixel of the window must come back.
        int differing = 0;
        for (int y = 0; y < start.height(); ++y)
            for (int x = 0; x < start.width(); ++x) {
                const Rgb a = start.at(x, y), b = reset.at(x, y);
                differing += a.r != b.r || a.g != b.g || a.b != b.b;
            }
        EXPECT_EQ(differing, 0) << "pixels differ from the start picture after Reset";
    });
}

// The pictures the other builds are held to (the page, the Windows program): the start, the short
// edit of docs/screenshot.png, and the patch turned over, its labels behind the surface. Made by
// scripts/screenshot.sh --references; a change of the drawing shows here first.
TEST_F(EditorE2E, WindowShowsTheReferencePictures) {
    const auto reference = [&](const std::string& path) {
        const Image pic = Image::fromPpm(s().tool({"convert", path, "-depth", "8", "ppm:-"}).value_or(""));
        EXPECT_EQ(pic.width(), 900) << "cannot read " << path;
        return pic;
    };
    // The installed editor of another architecture (VELLORIN_E2E_RASTERISER=other) draws with that
    // CPU's Mesa: the same picture within the tolerance for another rasteriser.
    const char* rasteriser = std::getenv("VELLORIN_E2E_RASTERISER");
    const bool other = rasteriser && std::string(rasteriser) == "other";
    const auto same = [other](const Image& want) {
        return [&want, other](const Image& pic) {
            if (!other) {
                EXPECT_EQ(pic, want);
                return;
            }
            const RasterDifference d = rasterDifference(pic, want);
            EXPECT_TRUE(d.likeReference()) << d.moved << " pixels moved (" << d.red << " red), " << d.other << " others";
        };
    };
    const Image start = reference(E2E_REFERENCE_DIR "/start.png");
    windowWhen("start", same(start));
    const Image edited = reference(E2E_SCREENSHOT);
    pressKeys({"d", "z", "plus", "plus", "plus", "plus", "plus", "plus", "plus", "plus"}, "edited", same(edited));
    chooseAndWait(kResetEntry, std::nullopt, "reset", same(start));
    const Image turned = reference(E2E_REFERENCE_DIR "/turned.png");
    pressKeys({"r", "plus", "plus", "plus", "plus", "plus", "plus"}, "turned", same(turned));
}

TEST_F(EditorE2E, QuitEndsTheProcessWithStatusZero) {
    choose(kQuitEntry);
    const auto status = s().waitForExit(kWaitSeconds);
    ASSERT_TRUE(status) << "editor still running after Sair";
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(s().windowNames().empty());
}

// ---- window size ---------------------------------------------------------------------------

TEST_F(EditorE2E, ResizingKeepsTheProcessAliveAndTheAspectRight) {
    const Image start = startPicture();
    struct Size {
        int width, height;
        bool checkPicture;
    };
    // X allows no zero-sized window: a request for height 0 leaves the height as it was.
    for (const Size& size : {Size{1100, 500, true}, Size{900, 1, false}, Size{900, 0, false}, Size{600, 800, true}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        ASSERT_TRUE(s().resizeWindow(size.width, size.height)) << s().lastError();
        std::optional<Rect> geo;
        for (int tries = 0; tries < 100; ++tries) {
            geo = s().windowGeometry();
            if (geo && geo->width == size.width && (size.height == 0 || geo->height == size.height)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_TRUE(geo);
        EXPECT_EQ(geo->width, size.width);
        if (size.height > 0) {
            EXPECT_EQ(geo->height, size.height);
        }
        win_ = *geo;
        if (!size.checkPicture) {
            ASSERT_TRUE(s().editorRunning()) << "editor ended on resize";
            continue;
        }
        // Same camera, new aspect: the control points land where the new projection puts them.
        View v;
        v.width = size.width, v.height = size.height;
        windowWhen("resized", [&](const Image& pic) {
            ASSERT_TRUE(s().editorRunning()) << "editor ended on resize";
            const auto dots = redDots(pic);
            int outside = 0;
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    const Point p = gridPoint(v, i, j);
                    if (p.x < 5 || p.y < 5 || p.x > size.width - 5 || p.y > size.height - 5) {
                        ++outside;
                        continue;
                    }
                    bool found = false;
                    for (const Point& d : dots) found = found || distance(d, p) < 4.0;
                    EXPECT_TRUE(found) << "no red dot at (" << i << "," << j << ") " << describe(p);
                }
            EXPECT_EQ(dots.size(), size_t(16 - outside));
        });
    }
    ASSERT_TRUE(s().resizeWindow(900, 700));
    for (int tries = 0; tries < 100 && s().windowGeometry()->height != 700; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    win_ = *s().windowGeometry();
    const Image back = windowWhen("back", [&](const Image& pic) {
        EXPECT_EQ(pic, start) << "back at 900x700 the picture should be the start picture";
    });
    pressKeys({"Left"}, "still-drawing", differsFrom(back));
}

}  // namespace
}  // namespace e2e
