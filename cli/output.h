#pragma once

#include <fstream>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// Where a command writes its data: standard output for "-", or a file. A
// file is written to a temporary file beside it and renamed over it once the
// command's every output is written (OutputSet), so a failed or interrupted
// run leaves no half-written file and an existing one untouched. A symbolic
// link is written through: the temporary file lies beside its final target,
// which gets the new contents while the link stays. A device or a pipe
// (/dev/null, a named pipe) is written in place, and so, once it is whole,
// is a file of several hard links, so that each of its names sees it.
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
    // Writes out what is buffered and closes a file: CliError when any of
    // it could not be written.
    void finish();
    // Renames the finished temporary file over the file.
    void putInPlace();

private:
    class FileBuffer;

    [[noreturn]] void fail(int error);

    std::string path_;
    std::string name_;
    std::string temporary_;
    std::unique_ptr<FileBuffer> buffer_;
    std::unique_ptr<std::ostream> file_;
    bool committed_ = false;
};

// The outputs of one command, committed together: every file is written
// whole before any is put in place, so a command whose second output fails
// leaves its first file untouched as well.
//
//     OutputSet outputs;
//     Output& data = outputs.add("--output", options.output);
//     ...write...
//     outputs.commit();
class OutputSet {
public:
    // The output that `option` names ("-" for standard output). CliError (a
    // bad command line) when an earlier output names the same file: one
    // would overwrite the other.
    Output& add(const std::string& option, const std::string& path);
    // Finishes every file, then standard output, and only then puts the
    // files in place.
    void commit();

private:
    std::vector<std::unique_ptr<Output>> outputs_;
    std::vector<std::string> options_;
    std::vector<std::string> paths_;
};

// Ignores SIGPIPE, so that a closed standard output shows as a failed write,
// and removes open temporary files when a signal ends the process; a signal
// that the process inherited as ignored stays ignored.
void installOutputSignalHandlers();
