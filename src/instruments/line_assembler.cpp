#include "instruments/line_assembler.h"

namespace korvo {

void LineAssembler::receive(TerminalMemo& box, std::string_view bytes,
                            const std::function<void(const std::string&)>& complete) {
    std::string line = box.lastLine();
    for (const char c : bytes) {
        if (c == '\n' && afterCr_) {
            // The LF of a CR LF pair: that line has ended already. As a second, empty line it would
            // add two lines to the box per reply.
            afterCr_ = false;
            continue;
        }
        afterCr_ = ends_ == Ends::CrOrLf && c == '\r';
        if (c == '\b') {
            if (!line.empty()) line.pop_back();
        } else if (c == '\n' && ends_ == Ends::Cr) {
            // CR alone ends a line; an instrument that adds LF must not produce empty replies.
        } else if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() == '\0') line.pop_back();
            box.setLastLine(line);
            box.addLine("");
            if (complete) complete(line);
            line.clear();
        } else {
            line += c;
            if (line.size() > kMaxPartialLine) line.erase(0, line.size() - kMaxPartialLine);
        }
    }
    // A partial line that backspaces emptied is written back too: left standing, its old characters
    // would come back in front of the rest of the line.
    if (line != box.lastLine() && !(line.empty() && box.empty())) box.setLastLine(line);
}

} // namespace korvo
