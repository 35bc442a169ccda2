#pragma once

#include <fstream>
#include <iosfwd>
#include <string>

// Where a command writes its data: standard output for "-" or no name, or a
// file. A file is written to a temporary file beside it and renamed over it
// by commit, so a failed or interrupted run leaves no half-written file and
// an existing one untouched.
class Output {
public:
    explicit Output(std::string path);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    std::ostream& stream();
    const std::string& name() const { return name_; }
    bool toStandardOutput() const { return path_.empty(); }

    // Writes `text` and empties it once it holds a megabyte or more, so that
    // large tables go out in pieces; checks the stream when it writes.
    void writeWhenLarge(std::string& text);
    // Throws ReaderGone when standard output's reader has gone, so the
    // command can stop early; CliError when the file cannot be written.
    void check();
    // Puts the data in place: flushes standard output, or renames the file.
    void commit();

private:
    void fail(const std::string& what);

    std::string path_;
    std::string name_;
    std::string temporary_;
    std::ofstream file_;
    bool committed_ = false;
};

// Ignores SIGPIPE, so that a closed standard output shows as a failed write,
// and removes open temporary files when SIGINT, SIGTERM or SIGHUP ends the process.
void installOutputSignalHandlers();
