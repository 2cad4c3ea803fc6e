// Drives gnuplot through a pipe: the points go in as an inline data block, two panels side by side.
#include "bench_plot.h"

#include <cmath>
#include <csignal>
#include <cstdio>

namespace vrax::bench {
namespace {

// A gnuplot single-quoted string: a quote inside is written twice.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

bool ends_with(const std::string& text, const char* suffix) {
    const std::string s(suffix);
    return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
}

std::string script(const std::string& path, const std::string& title,
                   std::span<const PlotPoint> points) {
    std::string s;
    s += ends_with(path, ".png") ? "set terminal pngcairo size 1400,600 font 'sans,11'\n"
                                 : "set terminal svg size 1400,600 dynamic font 'sans,11' "
                                   "background rgb 'white'\n";
    s += "set output " + quoted(path) + "\n";
    s += "$points << EOD\n";
    for (const PlotPoint& p : points) {
        if (!std::isfinite(p.ratio_percent) || !std::isfinite(p.compress_mb_s) ||
            !std::isfinite(p.decompress_mb_s))
            continue;
        char line[256];
        std::snprintf(line, sizeof line, "%s %.3f %.2f %.2f %d\n", p.name.c_str(), p.ratio_percent,
                      p.compress_mb_s, p.decompress_mb_s, p.vrax ? 1 : 2);
        s += line;
    }
    s += "EOD\n";
    s += "set multiplot layout 1,2 title " + quoted(title) + "\n";
    // Colour 1 for VRAX, 2 for the peers; room around the points for their labels.
    s += "set logscale x\n"
         "set grid\n"
         "set key off\n"
         "set yrange [0:*]\n"
         "set offsets graph 0.05, graph 0.2, graph 0.1, 0\n"
         "set linetype 1 linecolor rgb '#c0392b'\n"
         "set linetype 2 linecolor rgb '#2c5aa0'\n"
         "set ylabel 'compressed size, % of input (lower is better)'\n"
         "set xlabel 'compression speed, MB/s (log scale)'\n"
         "plot $points using 3:2:5 with points pointtype 7 pointsize 1.2 linecolor variable, "
         "$points using 3:2:1 with labels offset character 0.8,0.6 left font 'sans,10'\n"
         "set xlabel 'decompression speed, MB/s (log scale)'\n"
         "plot $points using 4:2:5 with points pointtype 7 pointsize 1.2 linecolor variable, "
         "$points using 4:2:1 with labels offset character 0.8,0.6 left font 'sans,10'\n"
         "unset multiplot\n";
    return s;
}

}  // namespace

bool write_plot(const std::string& path, const std::string& title,
                std::span<const PlotPoint> points, std::string* error) {
    // A gnuplot that is missing or stops early must give an error here, not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::FILE* gnuplot = popen("gnuplot", "w");
    if (gnuplot == nullptr) {
        *error = "cannot run gnuplot";
        return false;
    }
    const std::string text = script(path, title, points);
    const bool written = std::fwrite(text.data(), 1, text.size(), gnuplot) == text.size();
    const int status = pclose(gnuplot);
    if (!written || status != 0) {
        *error = "gnuplot failed (is it installed?)";
        return false;
    }
    return true;
}

}  // namespace vrax::bench
