#include "model/network/configurations.h"

#include <algorithm>

#include "model/network/network.h"

NeighbourLists neighbourLists(const NetworkModel& network) {
    NeighbourLists lists(static_cast<size_t>(network.nodeCount));
    for (int i = 0; i < network.nodeCount; ++i)
        for (int j = 0; j < network.nodeCount; ++j)
            if (network.links[i][j] == 1) lists[i].push_back(j);
    return lists;
}

long long configurationCount(const NeighbourLists& neighbours, long long limit) {
    long long count = 1;
    for (const auto& list : neighbours) {
        if (list.empty()) continue;
        count *= static_cast<long long>(list.size());
        if (count > limit) return -1;
    }
    return count;
}

std::string configurationCountText(const NeighbourLists& neighbours) {
    std::vector<int> factors;
    for (const auto& list : neighbours)
        if (!list.empty()) factors.push_back(static_cast<int>(list.size()));
    return decimalProduct(factors);
}

std::string decimalProduct(const std::vector<int>& factors) {
    std::vector<int> digits{1};  // least significant first
    for (const int factor : factors) {
        long long carry = 0;
        for (int& digit : digits) {
            const long long value = static_cast<long long>(digit) * factor + carry;
            digit = static_cast<int>(value % 10);
            carry = value / 10;
        }
        for (; carry > 0; carry /= 10) digits.push_back(static_cast<int>(carry % 10));
    }
    while (digits.size() > 1 && digits.back() == 0) digits.pop_back();
    std::string text;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) text += static_cast<char>('0' + *it);
    return text;
}

ConfigurationList listConfigurations(const NeighbourLists& neighbours, int count) {
    ConfigurationList list;
    list.nodeCount = static_cast<int>(neighbours.size());
    list.count = count;
    list.entries.assign(static_cast<size_t>(count) * list.nodeCount, -1);
    for (int s = 0; s < count; ++s) {
        int* entries = list.entries.data() + static_cast<size_t>(s) * list.nodeCount;
        int rest = s;
        for (int i = 0; i < list.nodeCount; ++i) {
            const int k = static_cast<int>(neighbours[i].size());
            if (k == 0) continue;
            entries[i] = neighbours[i][rest % k];
            rest /= k;
        }
    }
    return list;
}

void configurationEntries(const NeighbourLists& neighbours, long long s, int* entries) {
    long long rest = s;
    for (size_t i = 0; i < neighbours.size(); ++i) {
        const long long k = static_cast<long long>(neighbours[i].size());
        if (k == 0) {
            entries[i] = -1;
            continue;
        }
        entries[i] = neighbours[i][static_cast<size_t>(rest % k)];
        rest /= k;
    }
}

long long configurationNumber(const NeighbourLists& neighbours, const std::vector<int>& partners, int& badNode) {
    badNode = -1;
    if (partners.size() != neighbours.size()) return -1;
    long long number = 0;
    long long stride = 1;
    for (size_t i = 0; i < neighbours.size(); ++i) {
        const std::vector<int>& list = neighbours[i];
        if (list.empty()) {
            if (partners[i] == -1) continue;
            badNode = static_cast<int>(i);
            return -1;
        }
        const auto found = std::find(list.begin(), list.end(), partners[i]);
        if (found == list.end()) {
            badNode = static_cast<int>(i);
            return -1;
        }
        number += static_cast<long long>(found - list.begin()) * stride;
        stride *= static_cast<long long>(list.size());
    }
    return number;
}
