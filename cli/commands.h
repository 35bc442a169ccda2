#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_support.h"

// Each adds its subcommand to the application and returns what runs it.
CommandRun addReportCommand(CLI::App& app);
CommandRun addStepsCommand(CLI::App& app);
CommandRun addExportCommand(CLI::App& app);
CommandRun addPlotCommand(CLI::App& app);
CommandRun addSimulateCommand(CLI::App& app);
CommandRun addSweepCommand(CLI::App& app);
CommandRun addSettleCommand(CLI::App& app);
CommandRun addRatesCommand(CLI::App& app);
CommandRun addGradientCommand(CLI::App& app);
CommandRun addOptimizeCommand(CLI::App& app);
