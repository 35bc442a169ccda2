#include "cli/option_values.h"

#include "model/text/message_text.h"

namespace {

// Whether the option's value converts to an integer type; `hasSign` when
// that type is signed.
bool takesInteger(const CLI::Option& option, bool& hasSign) {
    const std::string type = option.get_type_name();
    const std::string base = type.substr(0, type.find(':'));
    hasSign = base == "INT";
    return base == "INT" || base == "UINT";
}

// The 19 digits of the largest signed 64-bit integer: anything longer is
// beyond every integer option.
constexpr size_t MaxIntegerDigits = 19;

CLI::Validator decimalInteger(bool hasSign) {
    return CLI::Validator(
        [hasSign](std::string& value) -> std::string {
            const bool negative = !value.empty() && value[0] == '-';
            const size_t first = negative ? 1 : 0;
            if (negative && !hasSign) return quotedText(value) + " is below 0";
            if (value.size() == first || value.find_first_not_of("0123456789", first) != std::string::npos)
                return quotedText(value) + " is not a whole number in decimal digits";
            size_t start = value.find_first_not_of('0', first);
            if (start == std::string::npos) start = value.size() - 1;
            if (value.size() - start > MaxIntegerDigits) return quotedText(value) + " is out of range";
            value = (negative ? "-" : "") + value.substr(start);
            return std::string();
        },
        "", "decimal integer");
}

void readIntegersOf(CLI::App& command) {
    for (CLI::Option* option : command.get_options()) {
        bool hasSign = false;
        if (takesInteger(*option, hasSign)) option->transform(decimalInteger(hasSign));
    }
    for (CLI::App* subcommand : command.get_subcommands({})) readIntegersOf(*subcommand);
}

}  // namespace

void readIntegersAsWritten(CLI::App& app) { readIntegersOf(app); }

const CLI::Validator FileName(
    [](std::string& value) { return value.empty() ? std::string("the file name is empty") : std::string(); }, "",
    "file name");
