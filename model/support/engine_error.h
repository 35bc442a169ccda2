#pragma once

#include <stdexcept>
#include <string>

// A request the engine turns down: a file it cannot read, a bad argument or
// network (a parameter outside [0, 1], a node the network does not have) or
// work beyond a limit. Each front end turns it into its own kind of error
// with the same message.
class EngineError : public std::runtime_error {
public:
    enum Kind { CannotRead, BadInput, BeyondLimit };

    EngineError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};
