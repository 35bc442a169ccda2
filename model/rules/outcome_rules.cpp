#include "model/rules/outcome_rules.h"

#include "model/network/network.h"
#include "model/rules/process_outcomes.h"
#include "model/rules/window_outcomes.h"

namespace {

// Outside any configuration: below any sum of the other entries' values.
constexpr long long OutsideValue = -(1LL << 40);

std::vector<long long> digitValues(const NeighbourLists& neighbours, int n) {
    std::vector<long long> values(static_cast<size_t>(n) * (n + 1), OutsideValue);
    long long stride = 1;
    for (int i = 0; i < n; ++i) {
        long long* nodeValues = values.data() + static_cast<size_t>(i) * (n + 1) + 1;
        const auto& list = neighbours[i];
        if (list.empty()) {
            nodeValues[-1] = 0;
            continue;
        }
        for (size_t d = 0; d < list.size(); ++d) nodeValues[list[d]] = static_cast<long long>(d) * stride;
        stride *= static_cast<long long>(list.size());
    }
    return values;
}

// The ways a node with partner value v may go in one step, at most, under
// the rules: the window's branch in three at a node whose target comes
// before it; the process's in three (success, a failed attempt, none) where
// a probability of the node's lies strictly between 0 and 1, and in two
// where the node may be arbitrated against a later one.
double waysOfNode(ChainRules rules, const NetworkModel& network, int node, int v) {
    const int t = targetAfter(network, node, v);
    if (rules == ChainRules::Window) return t >= 0 && t < node ? 3.0 : 1.0;
    if (t < 0) return 1.0;
    const double alpha = network.params[NetworkModel::Alpha][node];
    const double beta = network.params[NetworkModel::Beta][node];
    const bool uncertain = (alpha > 0.0 && alpha < 1.0) || (beta > 0.0 && beta < 1.0);
    return (uncertain ? 3.0 : 1.0) * (t > node ? 2.0 : 1.0);
}

}  // namespace

const char* chainRulesName(ChainRules rules) { return rules == ChainRules::Process ? "process" : "window"; }

bool parseChainRules(const std::string& text, ChainRules& rules) {
    if (text == "process")
        rules = ChainRules::Process;
    else if (text == "window")
        rules = ChainRules::Window;
    else
        return false;
    return true;
}

int targetAfter(const NetworkModel& network, int node, int v) {
    const int n = network.nodeCount;
    int candidate = v;
    for (int tried = 0; tried < n; ++tried) {
        if (++candidate >= n) candidate = 0;
        if (network.links[node][candidate] != 0) return candidate;
    }
    return -1;
}

OutcomeRules::OutcomeRules(const NetworkModel& network, const NeighbourLists& neighbours, int configurationCount)
    : n_(network.nodeCount),
      alpha_(network.params[NetworkModel::Alpha].data()),
      beta_(network.params[NetworkModel::Beta].data()),
      gamma_(network.params[NetworkModel::Gamma].data()),
      targets_(static_cast<size_t>(n_) * n_, -1),
      digitValue_(digitValues(neighbours, n_)),
      sourceTarget_(static_cast<size_t>(n_), -1),
      newPartner_(static_cast<size_t>(n_), 0),
      row_(configurationCount) {
    for (int node = 0; node < n_; ++node)
        for (int v = 0; v < n_; ++v) targets_[static_cast<size_t>(node) * n_ + v] = targetAfter(network, node, v);
    for (int i = 0; i < n_; ++i) leafIndex_ += digitValue(i, 0);
}

void OutcomeRules::startRow(int source, const int* entries) {
    source_ = entries;
    sourceIndex_ = source;
    for (int node = 0; node < n_; ++node) sourceTarget_[node] = source_[node] < 0 ? -1 : target(node, source_[node]);
    weight_ = 1.0;
}

size_t OutcomeRules::memoryBytes() const {
    return targets_.capacity() * sizeof(int) + digitValue_.capacity() * sizeof(long long) +
           (sourceTarget_.capacity() + newPartner_.capacity()) * sizeof(int) + row_.memoryBytes();
}

void OutcomeRules::refuseTooManyPaths() const { throw TooManyOutcomePaths(sourceIndex_, pathLimit_); }

std::unique_ptr<OutcomeRules> makeOutcomeRules(ChainRules rules, const NetworkModel& network,
                                               const NeighbourLists& neighbours, int configurationCount) {
    if (rules == ChainRules::Window) return std::make_unique<WindowOutcomes>(network, neighbours, configurationCount);
    return std::make_unique<ProcessOutcomes>(network, neighbours, configurationCount);
}

double outcomePathBound(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours) {
    double bound = 1.0;
    for (int node = 0; node < network.nodeCount; ++node) {
        if (neighbours[node].empty()) continue;
        double ways = 0.0;
        for (const int v : neighbours[node]) ways += waysOfNode(rules, network, node, v);
        bound *= ways;
    }
    return bound;
}

TooManyOutcomePaths::TooManyOutcomePaths(int source, long long limit)
    : EngineError(BeyondLimit, "configuration " + std::to_string(source) + " has more than " + std::to_string(limit) +
                                   " outcome paths to follow in one step"),
      source_(source),
      limit_(limit) {}
