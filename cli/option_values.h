#pragma once

#include <CLI/CLI.hpp>

// Option values read as they are written.

// Makes every integer option of `app` and of its subcommands decimal: digits
// only, with leading zeros read as zeros (CLI11 would read 010 as octal 8,
// 0x10 as 16 and 1'000 as 1000), a minus sign only on options whose type
// has one and a plus sign nowhere (a minus on an unsigned option would wrap
// round to a huge value). Call it once every option is added.
void readIntegersAsWritten(CLI::App& app);

// Refuses an empty file name: "-o ''" names no file, not standard output.
extern const CLI::Validator FileName;
