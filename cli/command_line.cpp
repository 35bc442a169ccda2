#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <new>

#include "cli/cli_error.h"
#include "cli/commands.h"
#include "cli/option_values.h"
#include "cli/output.h"
#include "model/support/engine_error.h"
#include "model/text/message_text.h"

namespace {

const char* const Description =
    "vorlask-cli: the exact analysis of a vorlask network as reports, data files and plots, and its simulation\n"
    "and parameter sweeps, reproducible and on every core. NETWORK is a file holding the \"DATA:\" block that\n"
    "the window prints for the A key (the saved output of a whole session will do), or - for standard input.";

const char* const Examples =
    "Examples:\n"
    "  vorlask-cli report session.txt > report.txt      # what the window writes for the A key\n"
    "  vorlask-cli steps --horizon 100 -o steps.csv session.txt\n"
    "  vorlask-cli export --matrix chain.mtx --configurations chain.csv session.txt\n"
    "  vorlask-cli plot -o curves.svg ring.txt complete.txt\n"
    "  vorlask-cli simulate --steps 1000000 --replicates 8 session.txt\n"
    "  vorlask-cli sweep --vary alpha=0:1:0.025 --vary gamma=0.5,1 --plot sweep.svg session.txt\n"
    "  vorlask-cli settle --quantiles 0.5,0.99 session.txt\n"
    "  vorlask-cli rates --format json session.txt\n"
    "  vorlask-cli gradient --measure mean-steps ring12.txt\n"
    "\n"
    "Exit status: 0 success, 1 a file cannot be read or written, 2 a bad command line or network,\n"
    "3 a network beyond a limit. Each subcommand has its own --help.";

void printError(const std::string& message) { std::cerr << "vorlask-cli: " << oneLine(message) << std::endl; }

// CLI11's messages echo what was given; a word of it longer than a file
// name that messages show whole is cut.
std::string withShortWords(const std::string& message) {
    constexpr size_t MaxWord = MaxShownName;
    std::string shown;
    size_t start = 0;
    while (start < message.size()) {
        size_t end = message.find(' ', start);
        if (end == std::string::npos) end = message.size();
        shown += end - start > MaxWord ? message.substr(start, MaxWord) + "... (" + std::to_string(end - start) +
                                             " bytes)"
                                       : message.substr(start, end - start);
        if (end < message.size()) shown += ' ';
        start = end + 1;
    }
    return shown;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
    installOutputSignalHandlers();
    CLI::App app{Description, "vorlask-cli"};
    app.set_version_flag("--version", std::string("vorlask-cli ") + VORLASK_VERSION);
    app.require_subcommand(1);
    app.footer(Examples);
    const std::vector<std::pair<CLI::App*, CommandRun>> commands = [&app] {
        std::vector<std::pair<CLI::App*, CommandRun>> list;
        for (auto add : {addReportCommand, addStepsCommand, addExportCommand, addPlotCommand, addSimulateCommand,
                         addSweepCommand, addSettleCommand, addRatesCommand, addGradientCommand,
                         addOptimizeCommand}) {
            CommandRun run = add(app);
            list.emplace_back(app.get_subcommands({}).back(), std::move(run));
        }
        return list;
    }();
    readIntegersAsWritten(app);

    const auto named = [&](const std::string& name) {
        for (const auto& command : commands)
            if (command.first->get_name() == name) return true;
        return false;
    };
    if (argc > 1 && argv[1][0] != '-' && !named(argv[1])) {
        printError("unknown command " + quotedText(argv[1]) + " (see vorlask-cli --help)");
        return ExitBadInput;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
        printError(withShortWords(e.what()) + " (see vorlask-cli --help)");
        return ExitBadInput;
    }

    try {
        for (const auto& [command, run] : commands)
            if (command->parsed()) run();
        return ExitSuccess;
    } catch (const CliError& e) {
        printError(e.what());
        return e.status();
    } catch (const EngineError& e) {
        printError(e.what());
        return e.kind() == EngineError::CannotRead ? ExitFailure
               : e.kind() == EngineError::BeyondLimit ? ExitBeyondLimit
                                                      : ExitBadInput;
    } catch (const ReaderGone&) {
        return ExitSuccess;
    } catch (const std::bad_alloc&) {
        printError("out of memory");
        return ExitFailure;
    } catch (const std::exception& e) {
        printError(e.what());
        return ExitFailure;
    }
}
