// The progress line of `vrax`: on a terminal only, for work that has lasted more than a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vrax::cli {

class ProgressLine {
public:
    // `enabled` is false when standard error is not a terminal or the user asked for quiet.
    // `compressing` decides which side of the totals is the original data; `input_size` is the
    // size of the input when it is known (a regular file), else 0.
    ProgressLine(bool enabled, std::string name, bool compressing, std::uint64_t input_size);
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // The library's progress callback (vrax_progress_fn): `context` is a ProgressLine. Prints at
    // most a few lines a second and never asks the library to stop.
    static int update(void* context, std::uint64_t bytes_read, std::uint64_t bytes_written);

    // Erases the line, if one is shown, so that a message or the prompt starts on a clean line.
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    std::string name_;
    bool compressing_;
    std::uint64_t input_size_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_shown_{};
    std::size_t shown_length_ = 0;
};

}  // namespace vrax::cli
