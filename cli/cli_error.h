#pragma once

#include <stdexcept>
#include <string>

// Exit statuses of vorlask-cli.
enum ExitStatus : int {
    ExitSuccess = 0,
    ExitFailure = 1,       // anything else: unreadable or unwritable files, no memory
    ExitBadInput = 2,      // a bad command line or network
    ExitBeyondLimit = 3,   // a network beyond a limit
};

// A failure that ends the command: one line on standard error, an exit status.
class CliError : public std::runtime_error {
public:
    CliError(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// Ends the command quietly with success: the reader of standard output has gone.
struct ReaderGone {};
