#include "cli/commands.h"

CommandRun addSimulateCommand(CLI::App& app) {
    app.add_subcommand("simulate", "sampled runs of the pairing step");
    return [] {};
}

CommandRun addSweepCommand(CLI::App& app) {
    app.add_subcommand("sweep", "exact success curves over a parameter grid");
    return [] {};
}
