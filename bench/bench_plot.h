// The picture of a vraxbench run: compressed size against compression and decompression speed,
// drawn by gnuplot.
#pragma once

#include <span>
#include <string>

namespace vrax::bench {

struct PlotPoint {
    std::string name;
    bool vrax;  // drawn in its own colour, apart from the peers
    double ratio_percent;
    double compress_mb_s;
    double decompress_mb_s;
};

// Writes the picture to `path` (PNG when the name ends in .png, SVG otherwise) by running gnuplot.
// False with a reason in `error` when gnuplot cannot be run or fails.
bool write_plot(const std::string& path, const std::string& title,
                std::span<const PlotPoint> points, std::string* error);

}  // namespace vrax::bench
