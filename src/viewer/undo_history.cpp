#include "viewer/undo_history.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace korvo {

namespace {

std::vector<double> countsOf(const tvar& ws) {
    std::vector<double> y(ws.pool.size());
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = ws.pool[i].y;
    return y;
}

// Bit for bit: a NaN equals itself, and -0 differs from 0, so a restore is exact.
bool sameCounts(const std::vector<double>& y, const tvar& ws) {
    if (y.size() != ws.pool.size()) return false;
    for (std::size_t i = 0; i < y.size(); ++i)
        if (std::bit_cast<std::uint64_t>(y[i]) != std::bit_cast<std::uint64_t>(ws.pool[i].y)) return false;
    return true;
}

std::size_t vectorBytes(const std::vector<double>& v) {
    return v.capacity() * sizeof(double);
}

// Active on a shown spectrum: the one kept if it is shown, else the first shown one, else none.
void keepActiveShown(tvar& ws) {
    for (int i = 1; i <= ws.ShownCount; ++i)
        if (ws.atPosition(i) == ws.Active) return;
    ws.Active = ws.ShownCount > 0 ? ws.atPosition(1) : 0;
}

} // namespace

ShownSpectra ShownSpectra::of(const tvar& ws) {
    return {ws.Order, ws.ShownCount, ws.HiddenCount, ws.Active};
}

bool ShownSpectra::sameAs(const ShownSpectra& other) const {
    return Order == other.Order && ShownCount == other.ShownCount && HiddenCount == other.HiddenCount;
}

MarkedStretch MarkedStretch::of(const tvar& ws) {
    return {ws.SelStartPoint, ws.SelEndPoint, ws.SelStartX, ws.SelEndX};
}

std::size_t UndoHistory::Before::bytes() const {
    return sizeof(Before) + vectorBytes(counts);
}

std::size_t UndoHistory::Step::bytes() const {
    return sizeof(Step) + vectorBytes(counts);
}

UndoHistory::UndoHistory(Limits limits) : limits_(limits) {
    limits_.steps = std::max<std::size_t>(limits_.steps, 2);
}

UndoHistory::Before UndoHistory::capture(const tvar& ws) {
    Before b;
    b.counts = countsOf(ws);
    b.shown = ShownSpectra::of(ws);
    b.stretch = MarkedStretch::of(ws);
    return b;
}

bool UndoHistory::record(const tvar& ws, Before before) {
    // A command never changes the pool's layout; a workspace loaded anew since the steps were
    // taken starts a new history.
    if (before.counts.size() != ws.pool.size()) {
        reset();
        return false;
    }
    if (!undo_.empty() && undo_.back().poolSize != ws.pool.size()) reset();
    const bool countsChanged = !sameCounts(before.counts, ws);
    const ShownSpectra shownNow = ShownSpectra::of(ws);
    if (!countsChanged && before.shown.sameAs(shownNow)) return false;

    Step step;
    step.hasCounts = countsChanged;
    if (countsChanged) step.counts = std::move(before.counts);
    step.poolSize = ws.pool.size();
    step.shownTo = before.shown;
    step.shownFrom = shownNow;
    step.stretchTo = before.stretch;
    step.stretchFrom = MarkedStretch::of(ws);
    redo_.clear();
    undo_.push_back(std::move(step));
    fitLimits();
    return true;
}

void UndoHistory::fitLimits() {
    // The base step (front) and the newest step stay; the ones between are merged into the base,
    // oldest first, which frees their counts.
    while (undo_.size() >= 3 && (undo_.size() > limits_.steps || bytes() > limits_.bytes)) {
        Step& base = undo_[0];
        Step& next = undo_[1];
        if (!base.hasCounts && next.hasCounts) {
            base.counts = std::move(next.counts);
            base.hasCounts = true;
        }
        base.shownFrom = next.shownFrom;
        base.stretchFrom = next.stretchFrom;
        undo_.erase(undo_.begin() + 1);
    }
}

void UndoHistory::reset() {
    undo_.clear();
    redo_.clear();
}

std::size_t UndoHistory::bytes() const {
    std::size_t total = 0;
    for (const Step& s : undo_) total += s.bytes();
    for (const Step& s : redo_) total += s.bytes();
    return total;
}

UndoHistory::Restored UndoHistory::swapInto(Step& step, tvar& ws) {
    Restored r;
    r.done = true;
    if (step.hasCounts) {
        // Swapped, not copied: the step then holds the counts it replaced, and an undo or redo
        // needs no memory of its own.
        for (std::size_t i = 0; i < step.counts.size(); ++i) std::swap(step.counts[i], ws.pool[i].y);
        r.counts = true;
    }
    if (!step.shownTo.sameAs(step.shownFrom)) {
        ws.Order = step.shownTo.Order;
        ws.ShownCount = step.shownTo.ShownCount;
        ws.HiddenCount = step.shownTo.HiddenCount;
        ws.Active = step.shownTo.Active;
        keepActiveShown(ws);
        r.shown = true;
    }
    if (step.stretchTo != step.stretchFrom) {
        ws.SelStartPoint = step.stretchTo.SelStartPoint;
        ws.SelEndPoint = step.stretchTo.SelEndPoint;
        ws.SelStartX = step.stretchTo.SelStartX;
        ws.SelEndX = step.stretchTo.SelEndX;
        r.stretch = true;
    }
    std::swap(step.shownTo, step.shownFrom);
    std::swap(step.stretchTo, step.stretchFrom);
    return r;
}

UndoHistory::Restored UndoHistory::move(std::deque<Step>& from, std::deque<Step>& to, tvar& ws) {
    if (from.empty()) return {};
    if (from.back().poolSize != ws.pool.size()) {
        reset();
        return {};
    }
    Step step = std::move(from.back());
    from.pop_back();
    const Restored r = swapInto(step, ws);
    to.push_back(std::move(step));
    return r;
}

UndoHistory::Restored UndoHistory::undo(tvar& ws) {
    return move(undo_, redo_, ws);
}

UndoHistory::Restored UndoHistory::redo(tvar& ws) {
    return move(redo_, undo_, ws);
}

} // namespace korvo
