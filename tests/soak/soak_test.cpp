// The real editor over time and under failure: no invalid memory access or definite leak of its
// own in a scripted session under memcheck, resident memory that stays flat while keys keep
// arriving, and a process that ends promptly when its X server goes away.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver.h"

namespace {
using Clock = std::chrono::steady_clock;

void sleepFor(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Resident set size of a process in KiB, from /proc; -1 when it is gone.
long residentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

// A session that edits along every path: point moves on all axes, both transform modes, the
// camera, and keys that do nothing. Each pass ends where it began (points, angle, tz, camera and
// flags back to their values), so a long run repeats the same few seconds of pictures instead
// of turning the patch to ever new places that a warm-up could not have drawn yet.
const std::vector<std::string> kEditingKeys = {
    "d", "z", "plus", "plus", "x", "minus", "y", "plus", "minus", "y", "plus", "x", "minus",
    "minus", "z",                                                       // d out and back
    "l", "z", "minus", "plus", "z",                                     // l down and up
    "r", "plus", "plus", "t", "plus", "minus", "t", "minus", "minus", "r",  // turn, lift, undo
    "Left", "Right", "Up", "Down", "Left", "Right",                     // camera there and back
    "Q", "Escape", "F1",                                                // keys that do nothing
    "q", "x", "plus", "minus", "x"};

// Memcheck's findings about the editor's own code. Loss records and error reports are blocks
// separated by blank "==pid==" lines; a block counts when one of its frames is in our code.
struct MemcheckFindings {
    std::vector<std::string> invalidAccess;  // invalid read or write anywhere
    std::vector<std::string> ownLeaks;       // definite leaks allocated from our code
    bool finished = false;                   // the leak summary was written
};

MemcheckFindings readMemcheckLog(const std::string& text) {
    MemcheckFindings f;
    f.finished = text.find("LEAK SUMMARY") != std::string::npos ||
                 text.find("All heap blocks were freed") != std::string::npos;
    // A frame of ours: in the editor's executable (no debug info), or at a line of one of its
    // source files (with debug info).
    const std::regex ownFrame(
        R"(\(in [^)]*/vellorin\)|\((main|shell|editor_state|control_grid|bezier|scene|keyboard|camera|menus)\.cpp:\d+\))");
    std::stringstream in(text);
    std::string block;
    auto flush = [&] {
        if (block.find("Invalid read") != std::string::npos ||
            block.find("Invalid write") != std::string::npos ||
            block.find("Invalid free") != std::string::npos) {
            f.invalidAccess.push_back(block);
        }
        if (block.find("definitely lost in loss record") != std::string::npos &&
            std::regex_search(block, ownFrame)) {
            f.ownLeaks.push_back(block);
        }
        block.clear();
    };
    const std::regex blankLine(R"(==\d+==\s*)");
    for (std::string line; std::getline(in, line);) {
        if (std::regex_match(line, blankLine)) {
            flush();
        } else {
            block += line + "\n";
        }
    }
    flush();
    return f;
}

// The log reader must count what the memcheck test relies on, and only that.
TEST(SoakLog, CountsInvalidAccessesAndOnlyOurOwnDefiniteLeaks) {
    const std::string log =
        "==7== Memcheck, a memory error detector\n==7== \n"
        "==7== Invalid write of size 4\n==7==    at 0x1: drawControlNet() (scene.cpp:51)\n==7== \n"
        "==7== 16 bytes in 1 blocks are definitely lost in loss record 1 of 3\n"
        "==7==    at 0x2: malloc (vg_replace_malloc.c:381)\n==7==    by 0x3: ??? (in /usr/lib/libX11.so.6)\n==7== \n"
        "==7== 8 bytes in 1 blocks are definitely lost in loss record 2 of 3\n"
        "==7==    at 0x2: malloc (vg_replace_malloc.c:381)\n==7==    by 0x4: runEditor(int, char**) (in /b/vellorin)\n==7== \n"
        "==7== 8 bytes in 1 blocks are possibly lost in loss record 3 of 3\n"
        "==7==    by 0x5: buildMenus() (menus.cpp:90)\n==7== \n"
        "==7== LEAK SUMMARY:\n";
    const MemcheckFindings f = readMemcheckLog(log);
    EXPECT_TRUE(f.finished);
    ASSERT_EQ(f.invalidAccess.size(), 1u);
    EXPECT_NE(f.invalidAccess[0].find("scene.cpp:51"), std::string::npos);
    ASSERT_EQ(f.ownLeaks.size(), 1u);
    EXPECT_NE(f.ownLeaks[0].find("runEditor"), std::string::npos);
    EXPECT_FALSE(readMemcheckLog("==7== Invalid read of size 8\n").finished);
}

TEST(Soak, MemcheckFindsNoInvalidAccessOrOwnLeak) {
    e2e::SessionOptions options;
    const std::string log = std::string(SOAK_LOG_DIR) + "/memcheck.log";
    std::filesystem::create_directories(SOAK_LOG_DIR);
    std::remove(log.c_str());
    options.wrapper = {"valgrind", "--tool=memcheck", "--leak-check=full",
                       "--show-leak-kinds=definite", "--num-callers=40",
                       "--suppressions=" SOAK_SUPPRESSIONS, "--log-file=" + log};
    options.startTimeout = 240;  // memcheck runs the software renderer some fifty times slower
    options.actionTimeout = 60;
    e2e::Session s("memcheck", options);
    ASSERT_TRUE(s.start()) << s.lastError() << "\n" << readFile(log);
    ASSERT_TRUE(s.keys(kEditingKeys)) << s.lastError();
    sleepFor(10);  // a few more frames with the edited state
    ASSERT_TRUE(s.editorRunning());
    s.killEditor();  // TERM: memcheck still writes its error and leak report on the way out
    const std::string text = readFile(log);
    const MemcheckFindings f = readMemcheckLog(text);
    ASSERT_TRUE(f.finished) << "memcheck wrote no leak summary:\n" << text;
    EXPECT_TRUE(f.invalidAccess.empty()) << f.invalidAccess.size() << " invalid accesses, first:\n"
                                         << f.invalidAccess.front();
    EXPECT_TRUE(f.ownLeaks.empty()) << f.ownLeaks.size() << " definite leaks from our code, first:\n"
                                    << f.ownLeaks.front();
    std::printf("memcheck log: %s\n", log.c_str());
}

TEST(Soak, ResidentMemoryStaysFlatUnderTwoMinutesOfKeys) {
    // Every frame rebuilds everything from the two state records and allocates nothing of its own,
    // so after warm-up (renderer threads, JIT-compiled shaders, font glyphs) memory must not grow.
    // The libraries' allocators swing VmRSS up and back by about 1 MiB now and then, so "where it
    // stood" is the median over the last seconds of warm-up, compared with the median at the end.
    constexpr double kWarmUp = 10, kRun = 120, kKeyEvery = 0.1, kWindow = 5;
    constexpr long kAllowedGrowthKiB = 1024;
    e2e::Session s("resident");
    ASSERT_TRUE(s.start()) << s.lastError();
    const pid_t pid = s.editorPid();
    const auto begin = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - begin).count(); };
    std::vector<long> atWarmUp, atEnd;
    long highest = 0;
    size_t presses = 0;
    double nextKey = 0;
    while (elapsed() < kRun) {
        if (elapsed() >= nextKey) {
            ASSERT_TRUE(s.keys({kEditingKeys[presses % kEditingKeys.size()]})) << s.lastError();
            ++presses;
            nextKey += kKeyEvery;
        }
        const long rss = residentKiB(pid);
        const double t = elapsed();
        ASSERT_GT(rss, 0) << "the editor ended after " << t << " s";
        if (t >= kWarmUp - kWindow && t < kWarmUp) atWarmUp.push_back(rss);
        if (t >= kWarmUp) highest = std::max(highest, rss);
        if (t >= kRun - kWindow) atEnd.push_back(rss);
        sleepFor(0.02);
    }
    ASSERT_FALSE(atWarmUp.empty() || atEnd.empty());
    auto median = [](std::vector<long> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    const long baseline = median(atWarmUp), last = median(atEnd);
    std::printf("VmRSS median: %ld KiB before %.0f s, %ld KiB at the end, highest %ld KiB; %zu keys\n",
                baseline, kWarmUp, last, highest, presses);
    EXPECT_LE(last - baseline, kAllowedGrowthKiB) << "resident memory grew over the run";
    EXPECT_GT(presses, static_cast<size_t>(kRun / kKeyEvery * 0.8));
}

TEST(Soak, EditorEndsWhenItsXServerDies) {
    for (int sig : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(sig == SIGKILL ? "Xvfb killed" : "Xvfb terminated");
        e2e::Session s(sig == SIGKILL ? "xkill" : "xterm");
        ASSERT_TRUE(s.start()) << s.lastError();
        ASSERT_TRUE(s.keys({"d", "z", "plus", "Left"})) << s.lastError();
        const auto before = Clock::now();
        s.killXvfb(sig);
        const std::optional<int> status = s.waitForExit(5.0);
        const double took = std::chrono::duration<double>(Clock::now() - before).count();
        ASSERT_TRUE(status.has_value()) << "still running 5 s after its X server died";
        EXPECT_NE(*status, 0) << "a lost display is a failure, not a normal exit";
        std::printf("X server %s: editor ended with status %d after %.2f s\n",
                    sig == SIGKILL ? "killed" : "terminated", *status, took);
        s.stop();
        EXPECT_TRUE(s.leftoverProcesses().empty());
    }
}
}  // namespace
