#include "sim/physics.h"

#include <algorithm>
#include <cmath>

namespace yukt::sim {

namespace {

// Edges computed as firstEdge + k * period may land a rounding step off the
// time a caller got from the same formula; this much counts as "on" the edge.
constexpr double kEdgeSlack = 1e-9;

}  // namespace

std::int64_t PulseTrain::edgesUpTo(double t) const {
    if (!running() || t + kEdgeSlack * period < firstEdge) return 0;
    const double upTo = std::floor((t - firstEdge) / period + kEdgeSlack) + 1.0;
    if (end == kNever) return static_cast<std::int64_t>(upTo);
    const double beforeEnd = std::max(0.0, std::ceil((end - firstEdge) / period - kEdgeSlack));
    return static_cast<std::int64_t>(std::min(upTo, beforeEnd));
}

std::int64_t PulseTrain::edgesBetween(double from, double to) const {
    return to <= from ? 0 : edgesUpTo(to) - edgesUpTo(from);
}

std::optional<double> PulseTrain::lastEdgeAtOrBefore(double t) const {
    const std::int64_t n = edgesUpTo(t);
    if (n == 0) return std::nullopt;
    return firstEdge + static_cast<double>(n - 1) * period;
}

std::optional<double> PulseTrain::firstEdgeAfter(double t) const {
    if (!running()) return std::nullopt;
    const double e = firstEdge + static_cast<double>(edgesUpTo(t)) * period;
    if (e >= end) return std::nullopt;
    return e;
}

void PulseHistory::add(PulseTrain train, double at) {
    if (!train.running()) return;
    train.end = std::min(train.end, at);
    if (train.edgesUpTo(train.end) == 0) return;
    trains.push_back(train);
    if (trains.size() > kKeptTrains) {
        foldedEdges += trains.front().edgesUpTo(kNever);
        trains.erase(trains.begin());
    }
}

std::int64_t edgesUpTo(const PulseHistory& past, const PulseTrain& current, double t) {
    std::int64_t n = past.foldedEdges + current.edgesUpTo(t);
    for (const PulseTrain& train : past.trains) n += train.edgesUpTo(t);
    return n;
}

std::int64_t edgesBetween(const PulseHistory& past, const PulseTrain& current, double from,
                          double to) {
    return to <= from ? 0 : edgesUpTo(past, current, to) - edgesUpTo(past, current, from);
}

std::optional<double> lastEdgeAtOrBefore(const PulseHistory& past, const PulseTrain& current,
                                         double t) {
    std::optional<double> last = current.lastEdgeAtOrBefore(t);
    for (const PulseTrain& train : past.trains)
        if (auto e = train.lastEdgeAtOrBefore(t); e && (!last || *e > *last)) last = e;
    return last;
}

std::optional<double> firstEdgeAfter(const PulseHistory& past, const PulseTrain& current,
                                     double t) {
    std::optional<double> first = current.firstEdgeAfter(t);
    for (const PulseTrain& train : past.trains)
        if (auto e = train.firstEdgeAfter(t); e && (!first || *e < *first)) first = e;
    return first;
}

}  // namespace yukt::sim
