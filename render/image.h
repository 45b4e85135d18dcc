// An RGB picture in memory with the few drawing operations that plots and labels need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace render {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

class Image {
public:
    Image() = default;
    Image(int width, int height, Rgb fill);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Rows top to bottom, 3 bytes per pixel.
    const std::vector<uint8_t>& Bytes() const { return rgb_; }

    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    Rgb Get(int x, int y) const;
    void Set(int x, int y, Rgb c);  // outside the picture: nothing
    void FillRect(int x0, int y0, int x1, int y1, Rgb c);  // [x0,x1) x [y0,y1), clipped
    // A line of `thickness` pixels between two points given in pixels; clipped, and
    // nothing for a point that is not finite.
    void DrawLine(double x0, double y0, double x1, double y1, Rgb c, int thickness = 1);

    // Text in the built-in 5x7 font, each font pixel drawn as `scale` x `scale`; (x, y) is the
    // top-left corner. Characters outside printable ASCII are drawn as '?'.
    void DrawText(int x, int y, const std::string& text, Rgb c, int scale = 1);
    static int TextWidth(const std::string& text, int scale = 1);
    static int TextHeight(int scale = 1) { return 7 * scale; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> rgb_;
};

}  // namespace render
