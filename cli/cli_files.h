// The files of `vrax`: inputs, outputs written under a temporary name and renamed when complete,
// the source's permissions and times, and the removal of a partial output on a fatal signal.
#pragma once

#include <sys/stat.h>

#include <string>

namespace vrax::cli {

// Standard input and output as named in messages.
inline constexpr const char* STDIN_NAME = "(stdin)";
inline constexpr const char* STDOUT_NAME = "(stdout)";

// An open input: a named file, or standard input for "-".
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `path` ("-": standard input). Returns "" or the reason it cannot be read.
    std::string open(const std::string& path);

    int fd() const { return fd_; }
    bool is_stdin() const { return is_stdin_; }
    const std::string& name() const { return name_; }  // for messages
    // The regular file it reads, whose permissions and times its output takes; null otherwise.
    const struct stat* regular_file() const { return S_ISREG(stat_.st_mode) ? &stat_ : nullptr; }
    // True when `path` names this input: writing there would replace the data being read.
    bool is_same_file_as(const std::string& path) const;

private:
    int fd_ = -1;
    bool is_stdin_ = false;
    std::string name_;
    struct stat stat_ {};
};

// True when `target` exists and is neither a regular file nor a directory (/dev/null, a named
// pipe): it is written in place, as it holds no data that writing could destroy.
bool is_written_in_place(const std::string& target);

// An output file. It is written under a temporary name in the target's directory (".NAME.XXXXXX")
// and renamed to NAME only once complete: the format has no end marker or checksum, so a stream
// cut short at a record boundary would read back cleanly as a shorter file, and a partial output
// under the final name would pass for a good one. A failed, cancelled or killed run (SIGINT,
// SIGTERM, SIGHUP) removes the temporary and leaves any earlier NAME as it was. A device or a
// named pipe is written in place (is_written_in_place).
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary for `target`, or opens a target written in place. False, errno set,
    // when it cannot.
    bool create(const std::string& target);
    int fd() const { return fd_; }

    // Gives the output the permissions, owner and times of `source` (or, when null, the mode a new
    // file gets under the umask), closes it and renames it to the target, over an existing file
    // only when `replace`. False, errno set, on any failure (EEXIST: the target appeared since the
    // run began); the temporary is then removed. A target written in place is only closed.
    bool commit(const struct stat* source, bool replace);

    // Closes and removes the temporary, if any.
    void discard();

private:
    int fd_ = -1;
    bool in_place_ = false;
    std::string target_;
    std::string temp_;
};

// From here on, SIGINT, SIGTERM and SIGHUP remove the partial output, if any, and then end the
// process by the same signal, so that its parent sees why it stopped. A signal ignored at start
// (nohup, a background job) stays ignored.
void install_signal_handlers();

// The format named by the suffix of `path` ("a.tar.vrax3a" -> "vrax3a"), or "" when the text after
// the last dot of its base name is not a format name, or nothing stands before that dot.
std::string format_suffix(const std::string& path);

}  // namespace vrax::cli
