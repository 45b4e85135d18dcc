// Line plots as PNG pictures, for looking at a slider formula over its range.
#pragma once

#include <string>
#include <vector>

namespace render {

// A line plot with its axes named. Samples marked `failed` (a value that stands in for one the
// formula could not give) are drawn as red crosses and the line is broken around them.
struct LinePlot {
    std::vector<double> xs, ys;
    std::vector<bool> failed;  // empty, or one flag per sample
    std::string title;
    std::string xLabel = "x", yLabel = "y";
};
bool WriteLinePlotPng(const std::string& path, const LinePlot& plot, std::string& error);

// A line plot of y over x (NaN/inf samples leave gaps) with axes and tick labels, as PNG.
// False with `error` set when xs and ys differ in length or the file cannot be written. With
// no finite sample the axes are drawn over 0..1 and the picture says so.
bool WriteLinePlotPng(const std::string& path, const std::vector<double>& xs, const std::vector<double>& ys,
                      const std::string& title, std::string& error);

// Tick positions of a readable step (1, 2 or 5 times a power of ten) inside [lo, hi], about
// `target` of them; empty when the range is not finite or empty.
std::vector<double> NiceTicks(double lo, double hi, int target);

}  // namespace render
