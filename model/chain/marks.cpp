#include "model/chain/marks.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr long long Never = std::numeric_limits<long long>::max();

enum Kind : unsigned char { Unvisited, OnPath, EndsWithoutSuccessor, OnCycle, OnTree };

// What the marking pass needs to know of a configuration on a tree.
constexpr int MarkedAlways = -2;  // no linked entry ever recurs
constexpr int MarkedNever = -1;   // a linked entry recurs after one step

// Which configurations end without a successor, lie on a cycle, or lie on a
// tree that runs into a cycle.
std::vector<unsigned char> classify(const std::vector<int>& successor) {
    const int h = static_cast<int>(successor.size());
    std::vector<unsigned char> kind(static_cast<size_t>(h), Unvisited);
    std::vector<int> path;
    for (int start = 0; start < h; ++start) {
        if (kind[start] != Unvisited) continue;
        path.clear();
        int y = start;
        while (y != -1 && kind[y] == Unvisited) {
            kind[y] = OnPath;
            path.push_back(y);
            y = successor[y];
        }
        size_t treeEnd = path.size();
        unsigned char tail = OnTree;
        if (y == -1 || kind[y] == EndsWithoutSuccessor) {
            tail = EndsWithoutSuccessor;
        } else if (kind[y] == OnPath) {
            treeEnd = static_cast<size_t>(std::find(path.begin(), path.end(), y) - path.begin());
            for (size_t k = treeEnd; k < path.size(); ++k) kind[path[k]] = OnCycle;
        }
        for (size_t k = 0; k < treeEnd; ++k) kind[path[k]] = tail;
    }
    return kind;
}

// The configurations of one cycle in successor order, and where each value
// of each linked node occurs on it.
class Cycle {
public:
    Cycle(const ConfigurationList& configurations, const std::vector<int>& linkedNodes, std::vector<int> nodes)
        : configurations_(configurations), linkedNodes_(linkedNodes), nodes_(std::move(nodes)) {
        if (length() > LinearSearchLength) indexValues();
    }

    long long length() const { return static_cast<long long>(nodes_.size()); }
    int at(long long position) const { return nodes_[static_cast<size_t>(position % length())]; }

    // The fewest steps t >= 0 from `position` to a configuration of the cycle
    // whose entry `node` is `value`, or Never.
    long long stepsToValue(int node, int value, long long position) const {
        const long long n = length();
        position %= n;
        if (n <= LinearSearchLength) {
            for (long long t = 0; t < n; ++t)
                if (configurations_[at(position + t)][node] == value) return t;
            return Never;
        }
        const long long code = codeOf(node, value) * n;
        auto found = std::lower_bound(keys_.begin(), keys_.end(), code + position);
        if (found != keys_.end() && *found < code + n) return *found - code - position;
        found = std::lower_bound(keys_.begin(), keys_.end(), code);
        if (found != keys_.end() && *found < code + n) return *found - code + n - position;
        return Never;
    }

    // Whether no linked entry of the configuration at `position` recurs
    // elsewhere on the cycle.
    bool entriesUnique(long long position) const {
        const int* entries = configurations_[at(position)];
        for (const int node : linkedNodes_) {
            const long long t = stepsToValue(node, entries[node], position + 1);
            if (t != Never && t < length() - 1) return false;
        }
        return true;
    }

private:
    static constexpr long long LinearSearchLength = 32;

    long long codeOf(int node, int value) const {
        return static_cast<long long>(node) * (configurations_.nodeCount + 1) + value + 1;
    }

    // Sorted keys (node, value, position), one per linked node and position.
    void indexValues() {
        keys_.reserve(linkedNodes_.size() * nodes_.size());
        for (long long p = 0; p < length(); ++p)
            for (const int node : linkedNodes_) keys_.push_back(codeOf(node, configurations_[at(p)][node]) * length() + p);
        std::sort(keys_.begin(), keys_.end());
    }

    const ConfigurationList& configurations_;
    const std::vector<int>& linkedNodes_;
    std::vector<int> nodes_;
    std::vector<long long> keys_;
};

// Walks the trees that run into each cycle and decides, for every
// configuration on them, what the marking pass must look at.
class TreeWalk {
public:
    TreeWalk(const ConfigurationList& configurations, const std::vector<int>& successor,
             const std::vector<unsigned char>& kind, const std::vector<int>& linkedNodes)
        : configurations_(configurations),
          linkedNodes_(linkedNodes),
          stride_(configurations.nodeCount + 1),
          lastDepth_(static_cast<size_t>(configurations.nodeCount) * stride_, 0) {
        const int h = configurations.count;
        childStart_.assign(static_cast<size_t>(h) + 1, 0);
        for (int x = 0; x < h; ++x)
            if (kind[x] == OnTree) ++childStart_[successor[x] + 1];
        for (int x = 0; x < h; ++x) childStart_[x + 1] += childStart_[x];
        children_.resize(childStart_[h]);
        std::vector<int> fill(childStart_.begin(), childStart_.end() - 1);
        for (int x = 0; x < h; ++x)
            if (kind[x] == OnTree) children_[fill[successor[x]]++] = x;
    }

    // Fills decision[x] for the trees rooted at the cycle's configuration at
    // `position`: MarkedAlways, MarkedNever, or the configuration whose mark
    // decides x's.
    void decideTrees(const Cycle& cycle, long long position, std::vector<int>& decision) {
        path_.assign(1, cycle.at(position));
        frames_.assign(1, Frame{cycle.at(position), childStart_[cycle.at(position)]});
        while (!frames_.empty()) {
            Frame& frame = frames_.back();
            if (frame.nextChild == childStart_[frame.node + 1]) {
                leave();
                continue;
            }
            const int child = children_[frame.nextChild++];
            decision[child] = decide(child, cycle, position);
            enter(child);
        }
    }

private:
    struct Frame {
        int node;
        int nextChild;
    };

    // The depth of the configuration being decided is path_.size(); its
    // ancestors up to the root are path_[1 .. depth - 1] and path_[0].
    int decide(int x, const Cycle& cycle, long long position) const {
        const long long depth = static_cast<long long>(path_.size());
        const int* entries = configurations_[x];
        long long first = Never;
        for (const int node : linkedNodes_) {
            const int seen = lastDepth_[static_cast<size_t>(node) * stride_ + entries[node] + 1];
            long long steps = seen > 0 ? depth - seen : Never;
            if (seen == 0) {
                const long long onCycle = cycle.stepsToValue(node, entries[node], position);
                if (onCycle != Never) steps = depth + onCycle;
            }
            first = std::min(first, steps);
        }
        if (first == Never) return MarkedAlways;
        if (first == 1) return MarkedNever;
        const long long ahead = first - 1;
        return ahead <= depth - 1 ? path_[static_cast<size_t>(depth - ahead)] : cycle.at(position + ahead - depth);
    }

    void enter(int x) {
        const int depth = static_cast<int>(path_.size());
        const int* entries = configurations_[x];
        for (const int node : linkedNodes_) {
            int& seen = lastDepth_[static_cast<size_t>(node) * stride_ + entries[node] + 1];
            saved_.push_back(seen);
            seen = depth;
        }
        path_.push_back(x);
        frames_.push_back(Frame{x, childStart_[x]});
    }

    void leave() {
        const int x = frames_.back().node;
        frames_.pop_back();
        if (frames_.empty()) return;  // the root pushed nothing
        path_.pop_back();
        const int* entries = configurations_[x];
        for (auto node = linkedNodes_.rbegin(); node != linkedNodes_.rend(); ++node) {
            lastDepth_[static_cast<size_t>(*node) * stride_ + entries[*node] + 1] = saved_.back();
            saved_.pop_back();
        }
    }

    const ConfigurationList& configurations_;
    const std::vector<int>& linkedNodes_;
    const int stride_;
    // Per node and value, the depth of the nearest tree ancestor with that
    // entry, or 0 for none.
    std::vector<int> lastDepth_;
    std::vector<int> childStart_;
    std::vector<int> children_;
    std::vector<int> path_;
    std::vector<Frame> frames_;
    std::vector<int> saved_;
};

std::vector<int> linkedNodesOf(const ConfigurationList& configurations) {
    std::vector<int> nodes;
    if (configurations.count == 0) return nodes;
    for (int i = 0; i < configurations.nodeCount; ++i)
        if (configurations[0][i] != -1) nodes.push_back(i);
    return nodes;
}

std::vector<int> cycleFrom(int start, const std::vector<int>& successor) {
    std::vector<int> nodes{start};
    for (int x = successor[start]; x != start; x = successor[x]) nodes.push_back(x);
    return nodes;
}

void markChain(int l, const std::vector<int>& successor, std::vector<bool>& marked) {
    marked[l] = true;
    for (int f = successor[l]; !marked[f]; f = successor[f]) marked[f] = true;
}

}  // namespace

std::vector<bool> markConfigurations(const ConfigurationList& configurations, const std::vector<int>& successor) {
    const int h = configurations.count;
    const std::vector<int> linkedNodes = linkedNodesOf(configurations);
    const std::vector<unsigned char> kind = classify(successor);

    // For cycle configurations: 1 when marked once reached; for tree
    // configurations: a decision of TreeWalk.
    std::vector<int> decision(static_cast<size_t>(h), MarkedNever);
    std::vector<bool> cycleSeen(static_cast<size_t>(h), false);
    TreeWalk trees(configurations, successor, kind, linkedNodes);
    for (int start = 0; start < h; ++start) {
        if (kind[start] != OnCycle || cycleSeen[start]) continue;
        const Cycle cycle(configurations, linkedNodes, cycleFrom(start, successor));
        for (long long p = 0; p < cycle.length(); ++p) {
            const int x = cycle.at(p);
            cycleSeen[x] = true;
            decision[x] = cycle.entriesUnique(p) ? 1 : 0;
            trees.decideTrees(cycle, p, decision);
        }
    }

    std::vector<bool> marked(static_cast<size_t>(h), false);
    for (int l = 0; l < h; ++l) {
        if (marked[l]) continue;
        bool mark = false;
        if (kind[l] == OnCycle) {
            mark = decision[l] == 1;
        } else if (kind[l] == OnTree) {
            mark = decision[l] == MarkedAlways || (decision[l] >= 0 && marked[decision[l]]);
        }
        if (mark) markChain(l, successor, marked);
    }
    return marked;
}
