#include "picture.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace e2e {

bool isBackground(Rgb c) { return std::abs(c.r - 179) <= 2 && std::abs(c.g - 179) <= 2 && c.b >= 253; }
bool isYellow(Rgb c) { return c.r >= 230 && c.g >= 230 && c.b <= 40; }
bool isRed(Rgb c) { return c.r >= 230 && c.g <= 40 && c.b <= 40; }
bool isGreen(Rgb c) { return c.g >= 230 && c.r <= 40 && c.b <= 40; }
bool isAxisBlue(Rgb c) { return c.b >= 160 && c.r <= 40 && c.g <= 40; }
bool isAxisDark(Rgb c) {
    const bool darkRed = c.r >= 160 && c.r <= 200 && c.g <= 40 && c.b <= 40;
    const bool darkGreen = c.g >= 160 && c.g <= 200 && c.r <= 40 && c.b <= 40;
    return darkRed || darkGreen;
}
bool isInk(Rgb c) { return c.r < 90 && c.g < 90 && c.b < 90; }

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

Mask Mask::of(const Image& img, const std::function<bool(Rgb)>& pred) {
    Mask m(img.width(), img.height());
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) m.set(x, y, pred(img.at(x, y)));
    return m;
}

Mask Mask::changed(const Image& a, const Image& b, const std::function<bool(Rgb)>& pred) {
    Mask m(a.width(), a.height());
    if (a.width() != b.width() || a.height() != b.height()) return m;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) m.set(x, y, pred(a.at(x, y)) != pred(b.at(x, y)));
    return m;
}

std::optional<Mask> Mask::readPbm(const std::string& path) {
    std::ifstream in(path);
    std::string magic;
    int w = 0, h = 0;
    if (!(in >> magic >> w >> h) || magic != "P1" || w <= 0 || h <= 0) return std::nullopt;
    Mask m(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            char c = 0;
            if (!(in >> c) || (c != '0' && c != '1')) return std::nullopt;
            m.set(x, y, c == '1');
        }
    return m;
}

bool Mask::writePbm(const std::string& path) const {
    std::ofstream out(path);
    out << "P1\n" << width_ << " " << height_ << "\n";
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) out << (get(x, y) ? '1' : '0');
        out << "\n";
    }
    return static_cast<bool>(out);
}

int Mask::count() const { return countIn(0, 0, width_, height_); }

int Mask::countIn(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(height_, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(width_, x1); ++x) n += get(x, y);
    return n;
}

std::optional<Point> Mask::centroid() const {
    double sx = 0, sy = 0;
    long n = 0;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (get(x, y)) sx += x, sy += y, ++n;
    if (n == 0) return std::nullopt;
    return Point{sx / n, sy / n};
}

Mask Mask::dilated(int radius) const {
    // Separable: grow along rows, then along columns, with a running count over the window.
    Mask rows(width_, height_), out(width_, height_);
    for (int y = 0; y < height_; ++y) {
        int run = 0;
        for (int x = -radius; x < width_; ++x) {
            if (x + radius < width_) run += get(x + radius, y);
            if (x - radius - 1 >= 0) run -= get(x - radius - 1, y);
            if (x >= 0) rows.set(x, y, run > 0);
        }
    }
    for (int x = 0; x < width_; ++x) {
        int run = 0;
        for (int y = -radius; y < height_; ++y) {
            if (y + radius < height_) run += rows.get(x, y + radius);
            if (y - radius - 1 >= 0) run -= rows.get(x, y - radius - 1);
            if (y >= 0) out.set(x, y, run > 0);
        }
    }
    return out;
}

Mask Mask::operator|(const Mask& o) const {
    Mask m = *this;
    for (size_t i = 0; i < m.bits_.size() && i < o.bits_.size(); ++i) m.bits_[i] |= o.bits_[i];
    return m;
}

int Mask::differences(const Mask& o) const {
    if (width_ != o.width_ || height_ != o.height_) return -1;
    int n = 0;
    for (size_t i = 0; i < bits_.size(); ++i) n += bits_[i] != o.bits_[i];
    return n;
}

std::vector<Point> Mask::farFrom(const std::vector<Point>& centres, double radius) const {
    std::vector<Point> far;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            if (!get(x, y)) continue;
            bool near = false;
            for (const Point& c : centres) near = near || distance({double(x), double(y)}, c) <= radius;
            if (!near) far.push_back({double(x), double(y)});
        }
    return far;
}

std::vector<Point> redDots(const Image& img) {
    const Mask red = Mask::of(img, isRed);
    Mask dense(img.width(), img.height());
    for (int y = 1; y + 1 < img.height(); ++y)
        for (int x = 3; x + 3 < img.width(); ++x)
            if (red.get(x, y)) dense.set(x, y, red.countIn(x - 3, y, x + 4, y + 2) == 14);
    // Group dense centres lying within a dot's size of each other: a net line across a dot can
    // split its whole rows into two bands. Dots are far more than 7 pixels apart.
    struct Cluster {
        double sx = 0, sy = 0;
        int n = 0;
        Point mean() const { return {sx / n, sy / n}; }
    };
    std::vector<Cluster> clusters;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (!dense.get(x, y)) continue;
            Cluster* home = nullptr;
            for (Cluster& c : clusters)
                if (distance(c.mean(), {double(x), double(y)}) <= 7.0) home = &c;
            if (!home) home = &clusters.emplace_back();
            home->sx += x, home->sy += y, ++home->n;
        }
    std::vector<Point> dots;
    for (const Cluster& c : clusters) dots.push_back(c.mean());
    return dots;
}

void View::slide(const std::string& key) {
    double d[3] = {center[0] - eye[0], center[1] - eye[1], center[2] - eye[2]};
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    double step[3] = {0, 0, 0};
    if (key == "Left") step[0] = -d[1] / len * 20.0, step[1] = d[0] / len * 20.0;
    if (key == "Right") step[0] = d[1] / len * 20.0, step[1] = -d[0] / len * 20.0;
    if (key == "Up") step[2] = 20.0;
    if (key == "Down") step[2] = -20.0;
    for (int i = 0; i < 3; ++i) eye[i] += step[i], center[i] += step[i];
}

Point project(const View& v, double x, double y, double z) {
    // gluLookAt with up (0, 0, 1), then gluPerspective, then the viewport; window y grows down.
    double f[3] = {v.center[0] - v.eye[0], v.center[1] - v.eye[1], v.center[2] - v.eye[2]};
    const double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& c : f) c /= fl;
    double s[3] = {f[1], -f[0], 0.0};  // f x (0, 0, 1)
    const double sl = std::hypot(s[0], s[1]);
    s[0] /= sl, s[1] /= sl;
    const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    const double p[3] = {x - v.eye[0], y - v.eye[1], z - v.eye[2]};
    const double xe = s[0] * p[0] + s[1] * p[1] + s[2] * p[2];
    const double ye = u[0] * p[0] + u[1] * p[1] + u[2] * p[2];
    const double depth = f[0] * p[0] + f[1] * p[1] + f[2] * p[2];
    const double focal = 1.0 / std::tan(v.fovY * M_PI / 360.0);
    const double aspect = double(v.width) / v.height;
    const double nx = focal / aspect * xe / depth, ny = focal * ye / depth;
    return {(nx + 1.0) * 0.5 * v.width, v.height - (ny + 1.0) * 0.5 * v.height};
}

namespace {
// Bisection on t for the point where one screen coordinate of origin + t * dir reaches target.
std::optional<Point> cross(const View& v, const double dir[3], double target, bool column, double reach) {
    auto at = [&](double t) { return project(v, dir[0] * t, dir[1] * t, dir[2] * t); };
    auto coord = [&](double t) { return column ? at(t).x : at(t).y; };
    // Only the part of the line in front of the camera (beyond the near plane) is drawn.
    auto depth = [&](double t) {
        double d = 0.0, fl = 0.0;
        for (int i = 0; i < 3; ++i) {
            const double f = v.center[i] - v.eye[i];
            d += f * (dir[i] * t - v.eye[i]);
            fl += f * f;
        }
        return d / std::sqrt(fl);
    };
    double lo = 0.0, hi = reach;
    while (hi > 1.0 && depth(hi) <= 1.0) hi *= 0.9;
    const double a = coord(lo) - target, b = coord(hi) - target;
    if (a * b > 0) return std::nullopt;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        if ((coord(mid) - target) * a > 0) lo = mid;
        else hi = mid;
    }
    return at(0.5 * (lo + hi));
}
}  // namespace

std::optional<Point> crossRow(const View& v, const double dir[3], double row, double reach) {
    return cross(v, dir, row, false, reach);
}
std::optional<Point> crossColumn(const View& v, const double dir[3], double column, double reach) {
    return cross(v, dir, column, true, reach);
}

RasterDifference rasterDifference(const Image& pic, const Image& want) {
    const auto close = [](Rgb a, Rgb b) {
        return std::abs(a.r - b.r) <= 1 && std::abs(a.g - b.g) <= 1 && std::abs(a.b - b.b) <= 1;
    };
    const auto nearby = [&](const Image& img, int x, int y, Rgb c) {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                if (img.contains(x + dx, y + dy) && close(img.at(x + dx, y + dy), c)) return true;
        return false;
    };
    RasterDifference d;
    if (pic.width() != want.width() || pic.height() != want.height()) {
        d.other = want.width() * want.height();
        return d;
    }
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x) {
            const Rgb a = pic.at(x, y), b = want.at(x, y);
            if (close(a, b)) continue;
            if (nearby(pic, x, y, b) && nearby(want, x, y, a)) {
                ++d.moved;
                d.red += isRed(a) || isRed(b);
            } else {
                ++d.other;
            }
        }
    return d;
}

}  // namespace e2e
