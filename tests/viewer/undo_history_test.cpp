// Undo and Redo over the analysis commands: exact counts back, steps only for commands that changed
// spectra, the memory limits that merge middle steps but always keep the loaded data, and loads.
#include "support/temp_dir.h"
#include "viewer/analysis/operations.h"
#include "viewer/data_selection.h"
#include "viewer/undo_history.h"
#include "viewer/viewer_test_util.h"
#include "viewer_ui/viewer_test_util.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

namespace korvo::testing {
namespace {

using analysis::Operation;
using Kind = Operation::Kind;

// Every count of the pool as bits, so that equal means restored exactly.
std::vector<std::uint64_t> bitsOf(const tvar& ws) {
    std::vector<std::uint64_t> bits;
    for (const SpectrumPoint& p : ws.pool) bits.push_back(std::bit_cast<std::uint64_t>(p.y));
    return bits;
}

// `spectra` spectra of `points` noisy counts each (sums of them are not exact in binary).
tvar noisy(int spectra, int points, unsigned seed = 5) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> count(100, 900);
    std::vector<Points> all;
    for (int k = 0; k < spectra; ++k) all.push_back(sampled(points, 280, 0.1, [&](double) { return count(rng) / 7; }));
    return makeWorkspace(all);
}

struct Rig {
    TempDir dir;
    UndoHistory history;
    explicit Rig(UndoHistory::Limits limits = {}) : history(limits) {}
    // A command as the window runs it: captured before, recorded after.
    bool run(tvar& ws, Operation op, analysis::Outcome* outcome = nullptr) {
        UndoHistory::Before before = UndoHistory::capture(ws);
        const analysis::OperationResult r = analysis::runOperation(ws, op, dir.file("tempo123.dat"));
        if (outcome) *outcome = r.outcome;
        return history.record(ws, std::move(before));
    }
    // "&Select" with the shown spectrum at `row` moved to the hidden ones.
    bool hide(tvar& ws, int row) {
        UndoHistory::Before before = UndoHistory::capture(ws);
        DataSelection selection = DataSelection::of(ws);
        selection.hide({row});
        selection.applyTo(ws);
        return history.record(ws, std::move(before));
    }
};

TEST(UndoHistory, UndoAndRedoChainsRestoreEveryCountExactly) {
    Rig rig;
    tvar ws = noisy(3, 50);
    const auto loaded = bitsOf(ws);
    EXPECT_FALSE(rig.history.canUndo());
    EXPECT_FALSE(rig.history.canRedo());

    ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
    const auto smoothed = bitsOf(ws);
    ASSERT_NE(smoothed, loaded);
    ASSERT_TRUE(rig.run(ws, {Kind::MeanFit, 25}));
    const auto fitted = bitsOf(ws);
    ASSERT_TRUE(rig.run(ws, {Kind::Stack}));
    const auto stacked = bitsOf(ws);
    EXPECT_EQ(rig.history.undoSteps(), 3u);

    // Back to the loaded data, step by step.
    EXPECT_TRUE(rig.history.undo(ws).counts);
    EXPECT_EQ(bitsOf(ws), fitted);
    rig.history.undo(ws);
    EXPECT_EQ(bitsOf(ws), smoothed);
    rig.history.undo(ws);
    EXPECT_EQ(bitsOf(ws), loaded);
    EXPECT_FALSE(rig.history.canUndo());
    EXPECT_FALSE(rig.history.undo(ws).done);
    EXPECT_EQ(bitsOf(ws), loaded);

    // And forward again.
    EXPECT_EQ(rig.history.redoSteps(), 3u);
    rig.history.redo(ws);
    EXPECT_EQ(bitsOf(ws), smoothed);
    rig.history.redo(ws);
    rig.history.redo(ws);
    EXPECT_EQ(bitsOf(ws), stacked);
    EXPECT_FALSE(rig.history.canRedo());
    EXPECT_FALSE(rig.history.redo(ws).done);

    // A new command after an undo drops what could have been redone.
    rig.history.undo(ws);
    rig.history.undo(ws);
    ASSERT_TRUE(rig.history.canRedo());
    ASSERT_TRUE(rig.run(ws, {Kind::MinimumFit}));
    EXPECT_FALSE(rig.history.canRedo());
    EXPECT_EQ(rig.history.undoSteps(), 2u);
    rig.history.undo(ws);
    EXPECT_EQ(bitsOf(ws), smoothed);
    rig.history.undo(ws);
    EXPECT_EQ(bitsOf(ws), loaded);
}

TEST(UndoHistory, CommandsThatChangedNothingLeaveNothingToUndo) {
    Rig rig;
    tvar one = noisy(1, 20);
    tvar uneven = makeWorkspace({sampled(20, 0, 1, [](double x) { return x * x; }),
                                 sampled(15, 0, 1, [](double x) { return 3 * x; })});
    analysis::Outcome out;
    // Refused by the checks: a single spectrum, unequal point counts.
    EXPECT_FALSE(rig.run(one, {Kind::Normalise}, &out));
    EXPECT_EQ(out.message, "Anzahl der Spektren muß > 1 sein !!!!");
    EXPECT_FALSE(rig.run(uneven, {Kind::MeanFit, 100}, &out));
    EXPECT_FALSE(out.ok());
    EXPECT_FALSE(rig.run(uneven, {Kind::SetR}, &out));
    EXPECT_FALSE(out.ok());
    // Ran, but changed no spectrum: the mean subtraction with share 0, the integration, "Store" (which
    // writes only its file) and "Add Store" without a store file.
    tvar ws = noisy(3, 30);
    ws.SelStartPoint = 3, ws.SelEndPoint = 20;
    EXPECT_FALSE(rig.run(ws, {Kind::MeanFit, 0}, &out));
    EXPECT_TRUE(out.ok());
    EXPECT_FALSE(rig.run(ws, {Kind::Integrate}));
    EXPECT_FALSE(rig.run(ws, {Kind::AddStore}, &out));
    EXPECT_FALSE(out.ok());
    EXPECT_FALSE(rig.run(ws, {Kind::Store}, &out));
    EXPECT_TRUE(out.ok());
    EXPECT_FALSE(rig.history.canUndo());
    EXPECT_EQ(rig.history.bytes(), 0u);

    // "a" on unequal point counts: the normalisation is refused, yet the min-max fit changed
    // spectrum 1, so the command is a step, and undo puts back the counts and the marks it set.
    uneven.SelStartPoint = 4, uneven.SelEndPoint = 9;
    uneven.SelStartX = 3, uneven.SelEndX = 8;
    const auto before = bitsOf(uneven);
    EXPECT_TRUE(rig.run(uneven, {Kind::LetterA}, &out));
    EXPECT_FALSE(out.ok());
    ASSERT_NE(bitsOf(uneven), before);
    EXPECT_EQ(uneven.SelEndPoint, 20);
    const UndoHistory::Restored r = rig.history.undo(uneven);
    EXPECT_TRUE(r.counts && r.stretch && !r.shown);
    EXPECT_EQ(bitsOf(uneven), before);
    EXPECT_EQ(uneven.SelStartPoint, 4);
    EXPECT_EQ(uneven.SelEndPoint, 9);
    EXPECT_EQ(uneven.SelStartX, 3);
}

TEST(UndoHistory, UndoLeavesWhatTheStepDidNotChange) {
    Rig rig;
    tvar ws = noisy(3, 40);
    const auto loaded = bitsOf(ws);
    ws.SelStartPoint = 2, ws.SelEndPoint = 30;
    ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
    // Marks moved and another spectrum made active after the command stay where the user put them.
    ws.SelStartPoint = 10, ws.SelStartX = 281;
    ws.Active = 3;
    const UndoHistory::Restored r = rig.history.undo(ws);
    EXPECT_TRUE(r.counts);
    EXPECT_FALSE(r.stretch || r.shown);
    EXPECT_EQ(bitsOf(ws), loaded);
    EXPECT_EQ(ws.SelStartPoint, 10);
    EXPECT_EQ(ws.SelStartX, 281);
    EXPECT_EQ(ws.Active, 3);
}

TEST(UndoHistory, DataSelectionIsAStepWithoutCounts) {
    Rig rig;
    tvar ws = noisy(3, 1000);
    const auto loaded = bitsOf(ws);
    // "&Select": spectrum 1 hidden; spectrum 2 becomes active.
    ASSERT_TRUE(rig.hide(ws, 0));
    EXPECT_LT(rig.history.bytes(), ws.pool.size() * sizeof(double)); // no counts kept
    ASSERT_EQ(ws.ShownCount, 2);
    const tvar selected = ws;

    // The commands take spectra 1 .. ShownCount by number; undoing one puts back the counts only.
    ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
    EXPECT_EQ(ws.point(3, 5).y, selected.point(3, 5).y);
    EXPECT_TRUE(rig.history.undo(ws).counts);
    EXPECT_EQ(bitsOf(ws), loaded);
    EXPECT_EQ(ws.ShownCount, 2);

    // Undoing the selection shows all three again in their old order, with an active one shown.
    const UndoHistory::Restored r = rig.history.undo(ws);
    EXPECT_TRUE(r.shown);
    EXPECT_FALSE(r.counts);
    EXPECT_EQ(ws.ShownCount, 3);
    EXPECT_EQ(ws.HiddenCount, 0);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(ws.atPosition(i), i);
    EXPECT_EQ(ws.Active, 1);
    rig.history.redo(ws);
    EXPECT_EQ(ws.ShownCount, 2);
    EXPECT_EQ(ws.Order, selected.Order);
    EXPECT_EQ(ws.Active, selected.Active);
}

TEST(UndoHistory, MemoryLimitsMergeMiddleStepsButUndoReachesTheLoadedData) {
    tvar ws = noisy(4, 250); // 1001 counts: about 8 KB a step
    const std::size_t step = ws.pool.size() * sizeof(double);
    const auto loaded = bitsOf(ws);

    // What one step of this workspace holds, measured.
    Rig probe;
    tvar copy = ws;
    ASSERT_TRUE(probe.run(copy, {Kind::Smooth}));
    const std::size_t one = probe.history.bytes();
    EXPECT_GE(one, step);
    EXPECT_LT(one, step + 16 * 1024); // the counts and the shown spectra before and after

    // Room for three steps: after ten commands, the loaded data and the two newest.
    Rig rig(UndoHistory::Limits{3 * one, 100});
    std::vector<std::vector<std::uint64_t>> after;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
        after.push_back(bitsOf(ws));
        EXPECT_LE(rig.history.bytes(), rig.history.limits().bytes);
    }
    EXPECT_EQ(rig.history.undoSteps(), 3u);
    rig.history.undo(ws);
    EXPECT_EQ(bitsOf(ws), after[8]);
    rig.history.undo(ws);
    EXPECT_EQ(bitsOf(ws), after[7]);
    rig.history.undo(ws);
    EXPECT_EQ(bitsOf(ws), loaded);
    EXPECT_FALSE(rig.history.canUndo());
    for (int i = 0; i < 3; ++i) rig.history.redo(ws);
    EXPECT_EQ(bitsOf(ws), after[9]);
    EXPECT_LE(rig.history.bytes(), rig.history.limits().bytes);

    // A step limit of 4: the loaded data and the three newest.
    Rig counted(UndoHistory::Limits{std::size_t(1) << 30, 4});
    tvar other = noisy(2, 100);
    const auto otherLoaded = bitsOf(other);
    std::vector<std::vector<std::uint64_t>> states;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(counted.run(other, i % 2 ? Operation{Kind::Smooth} : Operation{Kind::MeanFit, 25}));
        states.push_back(bitsOf(other));
    }
    EXPECT_EQ(counted.history.undoSteps(), 4u);
    for (int i = 8; i >= 6; --i) {
        counted.history.undo(other);
        EXPECT_EQ(bitsOf(other), states[std::size_t(i)]) << i;
    }
    counted.history.undo(other);
    EXPECT_EQ(bitsOf(other), otherLoaded);

    // A budget below one step keeps the loaded data and the newest step all the same.
    Rig tight(UndoHistory::Limits{1, 100});
    tvar third = noisy(2, 100);
    const auto thirdLoaded = bitsOf(third);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(tight.run(third, {Kind::Smooth}));
    const auto fourth = [&] {
        tvar t = noisy(2, 100);
        for (int i = 0; i < 4; ++i) analysis::smooth(t);
        return bitsOf(t);
    }();
    EXPECT_EQ(tight.history.undoSteps(), 2u);
    tight.history.undo(third);
    EXPECT_EQ(bitsOf(third), fourth);
    tight.history.undo(third);
    EXPECT_EQ(bitsOf(third), thirdLoaded);
}

TEST(UndoHistory, MergedStepsKeepTheShownSpectraOfTheLoadedData) {
    // A selection first (no counts), then smoothing: merged into one, the step still shows all
    // spectra again and puts back the loaded counts.
    Rig rig(UndoHistory::Limits{std::size_t(1) << 30, 2});
    tvar ws = noisy(3, 30);
    const tvar loaded = ws;
    ASSERT_TRUE(rig.hide(ws, 2));
    ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
    ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
    EXPECT_EQ(rig.history.undoSteps(), 2u);
    rig.history.undo(ws);
    const UndoHistory::Restored r = rig.history.undo(ws);
    EXPECT_TRUE(r.counts && r.shown);
    EXPECT_EQ(bitsOf(ws), bitsOf(loaded));
    EXPECT_EQ(ws.ShownCount, 3);
    EXPECT_EQ(ws.Order, loaded.Order);
}

TEST(UndoHistory, ALoadStartsANewHistory) {
    Rig rig;
    tvar ws = noisy(2, 30);
    ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
    rig.history.reset();
    EXPECT_FALSE(rig.history.canUndo());
    EXPECT_EQ(rig.history.bytes(), 0u);

    // Loaded into without reset(): the steps no longer fit the pool; undo drops them and leaves
    // the workspace alone, and the next command starts from the new data.
    ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
    ASSERT_TRUE(load(ws, {writeText(rig.dir, "c.dat", spectrumText({{1, 5}, {2, 6}, {3, 7}}))}));
    const std::string afterLoad = stateOf(ws);
    EXPECT_FALSE(rig.history.undo(ws).done);
    EXPECT_FALSE(rig.history.canUndo());
    EXPECT_EQ(stateOf(ws), afterLoad);
    ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
    ASSERT_TRUE(rig.run(ws, {Kind::Smooth}));
    EXPECT_EQ(rig.history.undoSteps(), 2u);
    rig.history.undo(ws);
    rig.history.undo(ws);
    EXPECT_EQ(stateOf(ws), afterLoad);
}

} // namespace
} // namespace korvo::testing
