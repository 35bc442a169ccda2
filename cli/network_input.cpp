#include "cli/network_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "cli/cli_error.h"
#include "model/network_block.h"

std::string locationOf(const std::string& name, int line) {
    return line > 0 ? name + ":" + std::to_string(line) + ": " : name + ": ";
}

NetworkInput readNetworkInput(const std::string& path) {
    NetworkInput input;
    input.path = path;
    input.name = path == "-" ? "standard input" : path;
    BlockError error;
    if (path == "-") {
        error = readNetworkBlock(std::cin, input.network);
    } else {
        struct stat status;
        if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            throw CliError(ExitFailure, "cannot read " + path + ": " + std::strerror(EISDIR));
        std::ifstream file(path);
        if (!file) throw CliError(ExitFailure, "cannot read " + path + ": " + std::strerror(errno));
        error = readNetworkBlock(file, input.network);
        if (error.kind == BlockError::BadInput && file.bad())
            throw CliError(ExitFailure, "cannot read " + path + ": " + std::strerror(errno));
    }
    if (error.kind != BlockError::None)
        throw CliError(error.kind == BlockError::BeyondLimit ? ExitBeyondLimit : ExitBadInput,
                       locationOf(input.name, error.line) + error.message);
    return input;
}
