#include "files/line_reader.h"

namespace korvo {
namespace {

// Position of the first CR or LF (a plain loop: find_first_of searches its set once per byte).
std::size_t lineEnd(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == '\n' || s[i] == '\r') return i;
    return std::string_view::npos;
}

} // namespace

LineReader::Status LineReader::next(std::string_view& line) {
    if (lineInCarry_) {
        carry_.clear();
        lineInCarry_ = false;
    }
    for (;;) {
        if (piece_.empty()) {
            if (atEnd_) {
                if (!started_) return Status::End;
                started_ = false;
                return deliver(line, carry_, true);
            }
            if (!source_.next(piece_, error_)) return Status::ReadError;
            bytes_ += piece_.size();
            if (piece_.empty()) atEnd_ = true;
            if (skipLf_ && !atEnd_) {
                if (piece_.front() == '\n') piece_.remove_prefix(1);
                skipLf_ = false;
            }
            continue;
        }
        const std::size_t end = lineEnd(piece_);
        if (end == std::string_view::npos) {
            if (carry_.size() + piece_.size() > maxLine_) return tooLong();
            carry_.append(piece_);
            piece_ = {};
            started_ = true;
            continue;
        }
        const bool cr = piece_[end] == '\r';
        Status status;
        if (started_) {
            if (carry_.size() + end > maxLine_) return tooLong();
            carry_.append(piece_.substr(0, end));
            started_ = false;
            status = deliver(line, carry_, true);
        } else {
            if (end > maxLine_) return tooLong();
            status = deliver(line, piece_.substr(0, end), false);
        }
        piece_.remove_prefix(end + 1);
        // CR LF may be split between two pieces: the LF is then skipped at the next piece.
        if (cr) {
            if (piece_.empty())
                skipLf_ = true;
            else if (piece_.front() == '\n')
                piece_.remove_prefix(1);
        }
        return status;
    }
}

bool LineReader::restart() {
    if (!source_.rewind(error_)) return false;
    piece_ = {};
    carry_.clear();
    started_ = lineInCarry_ = skipLf_ = atEnd_ = false;
    number_ = 0;
    bytes_ = 0;
    return true;
}

LineReader::Status LineReader::deliver(std::string_view& line, std::string_view text, bool fromCarry) {
    lineInCarry_ = fromCarry;
    line = text;
    if (++number_ == 1 && stripBom_ && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    return Status::Line;
}

LineReader::Status LineReader::tooLong() {
    ++number_;
    return Status::TooLong;
}

} // namespace korvo
