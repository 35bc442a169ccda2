#include "model/support/system_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <limits>

namespace {

constexpr double Infinite = std::numeric_limits<double>::infinity();

// The first number of a file, or infinity when it cannot be read ("max").
double numberIn(const std::string& path) {
    std::ifstream file(path);
    double value = 0;
    if (file >> value) return value;
    return Infinite;
}

}  // namespace

double memAvailableIn(std::istream& meminfo) {
    std::string key;
    double kilobytes = 0;
    std::string unit;
    while (meminfo >> key >> kilobytes) {
        std::getline(meminfo, unit);
        if (key == "MemAvailable:") return kilobytes * 1024;
    }
    return Infinite;
}

namespace {

double memAvailable() {
    std::ifstream meminfo("/proc/meminfo");
    return memAvailableIn(meminfo);
}

// Version 2 names the group on a line "0::/path"; version 1 shows the
// group's own files at the mount point.
double controlGroupRoom() {
    std::ifstream groups("/proc/self/cgroup");
    for (std::string line; std::getline(groups, line);) {
        if (line.rfind("0::", 0) != 0) continue;
        const std::string folder = "/sys/fs/cgroup" + line.substr(3);
        const double room = numberIn(folder + "/memory.max") - numberIn(folder + "/memory.current");
        if (!std::isnan(room) && room < Infinite) return room;
    }
    const double room = numberIn("/sys/fs/cgroup/memory/memory.limit_in_bytes") -
                        numberIn("/sys/fs/cgroup/memory/memory.usage_in_bytes");
    return std::isnan(room) ? Infinite : room;
}

// What a resource limit leaves beyond `used`.
double limitRoom(int resource, double used) {
    struct rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return Infinite;
    return static_cast<double>(limit.rlim_cur) - used;
}

double addressSpaceInUse() {
    std::ifstream statm("/proc/self/statm");
    double pages = 0;
    if (!(statm >> pages)) return 0;
    return pages * static_cast<double>(sysconf(_SC_PAGESIZE));
}

}  // namespace

double availableMemory() {
    const double inUse = addressSpaceInUse();
    const double room = std::min({memAvailable(), controlGroupRoom(), limitRoom(RLIMIT_AS, inUse),
                                  limitRoom(RLIMIT_DATA, inUse)});
    return std::max(room, 0.0);
}

bool parseByteSize(const std::string& text, double& bytes) {
    size_t k = 0;
    double value = 0;
    bool digits = false;
    for (; k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k, digits = true) value = value * 10 + (text[k] - '0');
    if (k < text.size() && text[k] == '.') {
        double scale = 0.1;
        for (++k; k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k, digits = true, scale /= 10)
            value += (text[k] - '0') * scale;
    }
    if (!digits) return false;
    if (k + 1 == text.size()) {
        const std::string suffixes = "KMGT";
        const size_t power = suffixes.find(static_cast<char>(std::toupper(static_cast<unsigned char>(text[k]))));
        if (power == std::string::npos) return false;
        value *= std::pow(1024.0, static_cast<double>(power + 1));
        ++k;
    }
    if (k != text.size() || !(value > 0) || !std::isfinite(value)) return false;
    bytes = value;
    return true;
}
