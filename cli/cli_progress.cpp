// The progress line, "\rvrax: NAME: 123.4 MB done (45%), ratio 47.22%, 250.1 MB/s", redrawn in
// place on standard error at most five times a second once the work has lasted a second.
#include "cli_progress.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

namespace vrax::cli {
namespace {

constexpr auto FIRST_AFTER = std::chrono::seconds(1);
constexpr auto REDRAW_EVERY = std::chrono::milliseconds(200);

}  // namespace

ProgressLine::ProgressLine(bool enabled, std::string name, bool compressing,
                           std::uint64_t input_size)
    : enabled_(enabled),
      name_(std::move(name)),
      compressing_(compressing),
      input_size_(input_size) {}

int ProgressLine::update(void* context, std::uint64_t bytes_read, std::uint64_t bytes_written) {
    auto& self = *static_cast<ProgressLine*>(context);
    if (!self.enabled_) return 0;
    const Clock::time_point now = Clock::now();
    if (now - self.start_ < FIRST_AFTER || now - self.last_shown_ < REDRAW_EVERY) return 0;
    self.last_shown_ = now;
    // Sizes and speed count the original data, as the ratio does: compressed / original.
    const std::uint64_t original = self.compressing_ ? bytes_read : bytes_written;
    const std::uint64_t compressed = self.compressing_ ? bytes_written : bytes_read;
    const double seconds = std::chrono::duration<double>(now - self.start_).count();
    char share[16] = "";  // of the input, when its size is known
    if (self.input_size_ != 0)
        std::snprintf(share, sizeof share, " (%d%%)", int(100 * bytes_read / self.input_size_));
    char line[160];
    const int length =
        std::snprintf(line, sizeof line, "vrax: %s: %.1f MB done%s, ratio %.2f%%, %.1f MB/s",
                      self.name_.c_str(), double(original) / 1e6, share,
                      original == 0 ? 0.0 : 100.0 * double(compressed) / double(original),
                      double(original) / 1e6 / seconds);
    if (length < 0) return 0;
    const std::size_t shown = std::min(std::size_t(length), sizeof line - 1);
    // Pad over the end of a longer line drawn before.
    std::fprintf(stderr, "\r%s%*s", line,
                 int(self.shown_length_ > shown ? self.shown_length_ - shown : 0), "");
    std::fflush(stderr);
    self.shown_length_ = std::max(self.shown_length_, shown);
    return 0;
}

void ProgressLine::clear() {
    if (shown_length_ == 0) return;
    std::fprintf(stderr, "\r%*s\r", int(shown_length_), "");
    std::fflush(stderr);
    shown_length_ = 0;
}

}  // namespace vrax::cli
