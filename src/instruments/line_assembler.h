#pragma once
// Reply lines from the bytes a serial link receives. The partial line lives in the link's terminal
// box as its last line, as the boxes have always shown it: every batch continues that line, BS takes
// back its last character, a line end completes it and starts a new empty one. All three kinds of
// link (monochromator, motor drive, electrometers) build their replies here.
#include "instruments/terminal_memo.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace korvo {

class LineAssembler {
public:
    enum class Ends {
        Cr,     // CR ends a line; LF is ignored (monochromator, motor drive)
        CrOrLf, // CR or LF ends a line, CR LF only once (electrometers)
    };
    // The longest partial line kept: a line that never ends (a wrong baud rate, an instrument that
    // talks without terminator) keeps only its latest characters instead of growing without bound.
    static constexpr std::size_t kMaxPartialLine = 4096;

    explicit LineAssembler(Ends ends) : ends_(ends) {}

    // Applies one batch to the partial line in `box`. `complete` gets every line the batch ends, with
    // one trailing NUL removed, after the box shows it.
    void receive(TerminalMemo& box, std::string_view bytes,
                 const std::function<void(const std::string&)>& complete);
    // The box has been emptied: an LF that arrives next ends no line of its own.
    void reset() { afterCr_ = false; }

private:
    Ends ends_;
    bool afterCr_ = false; // the last byte ended a line with CR: an LF now belongs to it
};

} // namespace korvo
