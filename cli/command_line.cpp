#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <iostream>

int runCommandLine(int argc, char** argv) {
    CLI::App app{"vorlask-cli: the exact analysis, data files, plots, simulations and sweeps of a vorlask network"};
    app.set_version_flag("--version", std::string("vorlask-cli ") + VORLASK_VERSION);
    app.require_subcommand(1);
    app.add_subcommand("report", "the window's analysis report");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return 0;
}
