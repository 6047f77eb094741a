// Reading the editor's pictures: colour classes, pixel masks and where world points land on screen.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver.h"

namespace e2e {

// Colour classes of what the editor draws (8-bit, as the X server stores them).
bool isBackground(Rgb c);  // clear colour (0.7, 0.7, 1.0)
bool isYellow(Rgb c);      // surface samples
bool isRed(Rgb c);         // control points, their letters, the bright +x axis
bool isGreen(Rgb c);       // control net, the bright +y axis
bool isAxisBlue(Rgb c);    // z axis, either half
bool isAxisDark(Rgb c);    // dark red or dark green: the negative x and y halves
bool isInk(Rgb c);         // menu text and arrows

struct Point {
    double x = 0, y = 0;
};
double distance(Point a, Point b);

// A boolean picture.
class Mask {
public:
    Mask() = default;
    Mask(int width, int height) : width_(width), height_(height), bits_(size_t(width) * height, 0) {}
    static Mask of(const Image& img, const std::function<bool(Rgb)>& pred);
    // Pixels whose class differs between two pictures of the same size.
    static Mask changed(const Image& a, const Image& b, const std::function<bool(Rgb)>& pred);
    // Reads and writes plain (ASCII) PBM, "P1".
    static std::optional<Mask> readPbm(const std::string& path);
    bool writePbm(const std::string& path) const;

    int width() const { return width_; }
    int height() const { return height_; }
    bool get(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_ && bits_[size_t(y) * width_ + x]; }
    void set(int x, int y, bool v) { bits_[size_t(y) * width_ + x] = v; }
    int count() const;
    int countIn(int x0, int y0, int x1, int y1) const;  // half-open rectangle
    std::optional<Point> centroid() const;
    // Grown by a square of the given radius (Chebyshev distance).
    Mask dilated(int radius) const;
    Mask operator|(const Mask& o) const;
    int differences(const Mask& o) const;  // -1 when sizes differ
    // Points set in this mask farther than `radius` from every one of `centres`.
    std::vector<Point> farFrom(const std::vector<Point>& centres, double radius) const;

private:
    int width_ = 0, height_ = 0;
    std::vector<unsigned char> bits_;
};

// A picture against a reference drawn by another rasteriser (the same Mesa on another CPU, the
// browser): pixels more than one level off count as `moved` when each picture has the other's
// colour within two pixels (an edge that landed a pixel over; `red` of them on dots and labels),
// as `other` when not. Another rasteriser draws the same picture when only a few edges moved.
struct RasterDifference {
    int moved = 0, red = 0, other = 0;
    bool likeReference() const { return other == 0 && moved <= 200 && red <= 16; }
};
RasterDifference rasterDifference(const Image& pic, const Image& want);

// Centres of the visible parts of control-point dots: clusters of all-red 7 x 2 blocks. A dot is a
// 7 x 7 square, partly hidden by nearer surface samples and crossed by net lines, but two whole
// rows of it stay in view; letters, with their one-pixel horizontal strokes, and one-pixel lines
// never fill such a block. Blocks within 7 pixels of each other count as one dot.
std::vector<Point> redDots(const Image& img);

// The editor's viewing set-up, mirrored to predict where world points appear in the window.
struct View {
    double eye[3] = {900.0, 900.0, 350.0};
    double center[3] = {0.0, 0.0, 2.0};
    double fovY = 35.0;
    int width = 900, height = 700;
    // The camera slid as the arrow keys do: Left, Right (sideways by 20 units), Up, Down (z 20).
    void slide(const std::string& key);
};
// Window pixel (x right, y down) of a world point.
Point project(const View& v, double x, double y, double z);
// Where the world line origin + t * dir (t >= 0, t up to `reach`) crosses the given window row
// or column; nullopt when it does not within reach.
std::optional<Point> crossRow(const View& v, const double dir[3], double row, double reach = 6000.0);
std::optional<Point> crossColumn(const View& v, const double dir[3], double column, double reach = 6000.0);

}  // namespace e2e
