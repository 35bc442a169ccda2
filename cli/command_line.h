#pragma once

// Runs vorlask-cli with the process's arguments and returns its exit status.
int runCommandLine(int argc, char** argv);
