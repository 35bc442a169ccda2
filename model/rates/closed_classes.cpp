#include "model/rates/closed_classes.h"

#include <algorithm>

namespace {

constexpr int Unvisited = -1;

// Tarjan's strongly connected components, with an explicit stack of the
// configurations being explored and the entry each has reached, so that a
// long chain of moves cannot overflow the call stack.
class ComponentSearch {
public:
    explicit ComponentSearch(const SparseRows& rows)
        : rows_(rows),
          h_(rows.rowCount()),
          order_(static_cast<size_t>(h_), Unvisited),
          lowest_(static_cast<size_t>(h_), 0),
          component_(static_cast<size_t>(h_), Unvisited),
          onStack_(static_cast<size_t>(h_), 0) {}

    // Per configuration, its component; components numbered as they close,
    // every component after those it leads to.
    std::vector<int> run() {
        for (int root = 0; root < h_; ++root)
            if (order_[root] == Unvisited) explore(root);
        return std::move(component_);
    }

private:
    struct Frame {
        int node;
        size_t next;  // the entry of the node's row to follow next
    };

    void open(int node) {
        order_[node] = lowest_[node] = counter_++;
        stack_.push_back(node);
        onStack_[node] = 1;
        frames_.push_back({node, rows_.begin(node)});
    }

    void explore(int root) {
        open(root);
        while (!frames_.empty()) {
            Frame& frame = frames_.back();
            const int node = frame.node;
            if (frame.next < rows_.end(node)) {
                const size_t k = frame.next++;
                if (rows_.weight(k) == 0.0) continue;
                const int next = rows_.column(k);
                if (order_[next] == Unvisited)
                    open(next);
                else if (onStack_[next])
                    lowest_[node] = std::min(lowest_[node], order_[next]);
                continue;
            }
            frames_.pop_back();
            if (!frames_.empty()) {
                const int parent = frames_.back().node;
                lowest_[parent] = std::min(lowest_[parent], lowest_[node]);
            }
            if (lowest_[node] == order_[node]) close(node);
        }
    }

    void close(int head) {
        for (;;) {
            const int member = stack_.back();
            stack_.pop_back();
            onStack_[member] = 0;
            component_[member] = components_;
            if (member == head) break;
        }
        ++components_;
    }

    const SparseRows& rows_;
    const int h_;
    std::vector<int> order_;
    std::vector<int> lowest_;
    std::vector<int> component_;
    std::vector<unsigned char> onStack_;
    std::vector<int> stack_;
    std::vector<Frame> frames_;
    int counter_ = 0;
    int components_ = 0;
};

}  // namespace

ClosedClasses findClosedClasses(const SparseRows& rows) {
    const int h = rows.rowCount();
    const std::vector<int> component = ComponentSearch(rows).run();
    const int components = h == 0 ? 0 : *std::max_element(component.begin(), component.end()) + 1;
    std::vector<unsigned char> left(static_cast<size_t>(components), 0);
    for (int l = 0; l < h; ++l)
        rows.forEachEntry(l, [&](int column, double weight) {
            if (weight != 0.0 && component[column] != component[l]) left[component[l]] = 1;
        });
    ClosedClasses classes;
    classes.classOf.assign(static_cast<size_t>(h), -1);
    std::vector<int> classOfComponent(static_cast<size_t>(components), -1);
    for (int l = 0; l < h; ++l) {
        const int c = component[l];
        if (left[c]) continue;
        if (classOfComponent[c] < 0) {
            classOfComponent[c] = classes.count();
            classes.members.emplace_back();
        }
        classes.classOf[l] = classOfComponent[c];
        classes.members[classOfComponent[c]].push_back(l);
    }
    return classes;
}

bool ClosedClasses::isCycle(const SparseRows& rows, int c) const {
    for (const int l : members[c])
        if (rows.end(l) - rows.begin(l) != 1 || rows.weight(rows.begin(l)) != 1.0) return false;
    return true;
}

bool ClosedClasses::mayStay(const SparseRows& rows, int c) const {
    for (const int l : members[c]) {
        bool stays = false;
        rows.forEachEntry(l, [&](int column, double weight) { stays = stays || (column == l && weight != 0.0); });
        if (stays) return true;
    }
    return false;
}

std::vector<int> ClosedClasses::transient() const {
    std::vector<int> configurations;
    for (int l = 0; l < static_cast<int>(classOf.size()); ++l)
        if (classOf[l] < 0) configurations.push_back(l);
    return configurations;
}
