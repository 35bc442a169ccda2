#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "model/network/network.h"

// Running vorlask-cli inside a test: its standard output and error
// captured, files in a temporary folder, CSV text split into fields.

struct CliOutcome {
    int status = 0;
    std::string out;
    std::string err;
};

inline CliOutcome runCli(std::vector<std::string> args) {
    args.insert(args.begin(), "vorlask-cli");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* savedOut = std::cout.rdbuf(out.rdbuf());
    std::streambuf* savedErr = std::cerr.rdbuf(err.rdbuf());
    CliOutcome result;
    result.status = runCommandLine(static_cast<int>(argv.size()), argv.data());
    std::cout.rdbuf(savedOut);
    std::cerr.rdbuf(savedErr);
    std::cout.clear();
    result.out = out.str();
    result.err = err.str();
    return result;
}

class TestFolder {
public:
    TestFolder() {
        std::string pattern = testing::TempDir() + "vorlask-cli-XXXXXX";
        path_ = mkdtemp(pattern.data());
    }
    ~TestFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name)) << text;
        return file(name);
    }
    std::string files() const {
        std::string names;
        std::unique_ptr<FILE, int (*)(FILE*)> listing(popen(("ls -A '" + path_ + "'").c_str(), "r"), pclose);
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, listing.get())) names += buffer;
        return names;
    }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> textLines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

inline std::vector<std::vector<std::string>> csvFields(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& line : textLines(text)) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

inline std::string networkBlock(const NetworkModel& network) {
    std::ostringstream text;
    network.dumpData(text);
    return text.str();
}
