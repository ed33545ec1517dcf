#pragma once
// Undo and Redo of the viewer commands that change spectra (the analysis commands, the spike
// removal of measuring mode, "&Select"), back to the data as they were loaded.
//
// What a step holds. A command changes the count values (`y` of the pool points) in place, and a few
// change which spectra are shown (`Order`, `ShownCount`, `HiddenCount`, `Active`) or set the stretch
// between the measuring marks (`SelStartPoint`, `SelEndPoint`, `SelStartX`, `SelEndX`). Energies, point
// counts, the pool's layout and the texts never change without a load. A step keeps, for the state
// before the command:
//   - the y values of the whole pool (hidden spectra too, 8 bytes a point), but only when the
//     command changed at least one of them (compared bit for bit); a step that only changed the
//     shown spectra keeps no counts;
//   - the shown spectra and the stretch, before and after (about 8 KiB); undo puts back a part only
//     when the step changed it, so a mark the user moved or a spectrum made active since stays.
// The display ranges are not kept: after undo or redo the window shows the data at full scale, as
// most commands end. Nor is the store file that "Store", "a" and "b" write: it is outside the
// window, and the next "Add Store" reads what is in it.
//
// What becomes a step. The caller captures the workspace before a command and records it after; a
// step is pushed only when the counts or the shown spectra actually differ. A command refused by
// its check, "&Integrate", "Store" and a chain that changed nothing push nothing, while a chain
// that went on past a refused part ("a", "b", "Add Store") is a step when it changed data. A new
// step clears the redo steps. A load (any change of the pool's layout) starts a new history: the
// window calls reset(), and a recorded workspace whose pool size differs from the steps' is taken
// as a new load all the same.
//
// Memory bound. The steps together stay within Limits::bytes (256 MiB) and Limits::steps (100)
// per window. Undo always reaches the loaded data: the oldest step holds the state right after the
// load (or the last reset) and is never dropped. When a new step goes over either limit, the oldest
// step after it is merged into it (its counts freed), again and again, until the history fits or
// only that base step and the newest step are left; Undo then jumps from the oldest kept step
// straight back to the loaded data. So a window holds at most max(Limits::bytes, two copies of the
// counts) plus, during a command, the one copy taken before it; undo and redo swap the counts in
// place and take no memory of their own. Figures: 100 spectra of 1000 points
// are 0.8 MB a step (all 100 steps fit); 2000 spectra of 5000 points are 80 MB a step (three steps:
// the loaded data, and the two newest).
//
// Plain C++: the window, the tests and the benchmark drive the same code.
#include "viewer/workspace.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace korvo {

// Which spectra are shown, in which order, and the active one.
struct ShownSpectra {
    std::array<std::uint16_t, kMaxSpectra + 1> Order{};
    std::int32_t ShownCount = 0;
    std::uint16_t HiddenCount = 0;
    std::int32_t Active = 0;

    static ShownSpectra of(const tvar& ws);
    // The same spectra in the same order; Active is not compared (it is the user's choice).
    bool sameAs(const ShownSpectra& other) const;
};

// The stretch between the measuring marks.
struct MarkedStretch {
    std::int32_t SelStartPoint = 0, SelEndPoint = 0;
    double SelStartX = 0, SelEndX = 0;

    static MarkedStretch of(const tvar& ws);
    bool operator==(const MarkedStretch&) const = default;
};

// The memory bound of one window's history.
struct UndoLimits {
    std::size_t bytes = std::size_t(256) << 20; // all steps together
    std::size_t steps = 100;                    // at least 2
};

class UndoHistory {
public:
    using Limits = UndoLimits;

    // A workspace as it was before a command: capture() it, run the command, record() it.
    class Before {
    public:
        std::size_t bytes() const;

    private:
        friend class UndoHistory;
        std::vector<double> counts; // y of pool elements 0 .. pool.size() - 1
        ShownSpectra shown;
        MarkedStretch stretch;
    };

    // What undo or redo put back, for the window's redraw.
    struct Restored {
        bool done = false;    // a step was undone or redone
        bool counts = false;  // y values
        bool shown = false;   // the shown spectra (the "&Spectrum" menu is to be rebuilt)
        bool stretch = false; // the marks
    };

    explicit UndoHistory(Limits limits = {});

    static Before capture(const tvar& ws);
    // After the command: a step when the counts or the shown spectra differ from `before`. Returns
    // whether one was pushed.
    bool record(const tvar& ws, Before before);

    // A load, project load, import or close: all steps dropped; the next step's state before is
    // the new base.
    void reset();

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // Nothing happens without a step. A workspace whose pool no longer fits the steps (loaded
    // anew without reset()) drops the history and is left alone.
    Restored undo(tvar& ws);
    Restored redo(tvar& ws);

    std::size_t undoSteps() const { return undo_.size(); }
    std::size_t redoSteps() const { return redo_.size(); }
    std::size_t bytes() const; // what the steps hold
    const Limits& limits() const { return limits_; }

private:
    // The state one step returns to (`to`) and the state it leaves (`from`); counts only when they
    // differ between the two.
    struct Step {
        bool hasCounts = false;
        std::vector<double> counts;
        std::size_t poolSize = 0;
        ShownSpectra shownTo, shownFrom;
        MarkedStretch stretchTo, stretchFrom;
        std::size_t bytes() const;
    };

    // Puts the step's state into `ws` and turns the step into the one that goes back.
    static Restored swapInto(Step& step, tvar& ws);
    Restored move(std::deque<Step>& from, std::deque<Step>& to, tvar& ws);
    void fitLimits();

    Limits limits_;
    std::deque<Step> undo_; // oldest first; undo_.front() returns to the loaded data
    std::deque<Step> redo_; // the next redo last
};

} // namespace korvo
