#include "cli/simulate_options.h"

#include <charconv>
#include <vector>

#include "cli/cli_error.h"
#include "cli/number_text.h"
#include "model/studies/replicate_summary.h"
#include "model/support/engine_error.h"
#include "model/text/message_text.h"

namespace {

std::vector<std::string> commaSeparated(const std::string& text) {
    std::vector<std::string> entries;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        entries.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return entries;
        start = comma + 1;
    }
}

// A decimal node number, or -1; false for anything else.
bool partnerValue(const std::string& text, long long& value) {
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

}  // namespace

void addStartAndSummaryOptions(CLI::App& command, SimulateOptions& options) {
    command
        .add_option("--from", options.from,
                    "where each replicate starts: start, the network's start state (the window's); uniform, a "
                    "configuration drawn uniformly from its seed; or C0,C1,..., one partner value per node")
        ->capture_default_str();
    CLI::Option* summary =
        command.add_flag("--summary", options.summary,
                         "instead of the step table, per node the mean chance after the last step over the "
                         "replicates (2 or more) with its Student t interval");
    if (CLI::Option* every = command.get_option_no_throw("--every")) summary->excludes(every);
    command.add_option("--confidence", options.confidence, "the level of the summary's intervals, in (0, 1)")
        ->capture_default_str()
        ->needs(summary);
}

void checkSummaryOptions(const SimulateOptions& options) {
    if (!options.summary) return;
    if (options.replicates < 2)
        throw CliError(ExitBadInput, "--summary needs --replicates 2 or more, not " +
                                         std::to_string(options.replicates));
    if (!isConfidenceLevel(options.confidence))
        throw CliError(ExitBadInput, "--confidence " + numberText(options.confidence) + " is outside (0, 1)");
}

RunStart parseRunStart(const std::string& text, const NetworkModel& network) {
    if (text == "start") return RunStart{};
    if (text == "uniform") return RunStart{RunStart::Uniform, {}};
    const std::vector<std::string> entries = commaSeparated(text);
    std::vector<long long> partners;
    for (const std::string& entry : entries) {
        long long value = 0;
        if (!partnerValue(entry, value)) {
            if (entries.size() == 1)
                throw CliError(ExitBadInput, "--from " + quotedText(text) +
                                                 " is not start, uniform or one partner value per node (as 1,0,3)");
            throw CliError(ExitBadInput, "--from " + quotedText(text) + ": " + quotedText(entry) +
                                             " is not a node number");
        }
        partners.push_back(value);
    }
    try {
        return configurationStart(neighbourLists(network), partners);
    } catch (const EngineError& e) {
        throw CliError(ExitBadInput, "--from " + quotedText(text) + ": " + e.what());
    }
}

nlohmann::ordered_json startJson(const RunStart& start) {
    switch (start.kind) {
        case RunStart::Uniform: return "uniform";
        case RunStart::Configuration: return start.partners;
        default: return "start";
    }
}
