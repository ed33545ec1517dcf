#pragma once
// Lines of a byte source, shared by the readers of spectrum files, projects and Origin tables.

#include "files/spectrum_reader.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace korvo {

// Lines end with CR LF, LF or a lone CR; a line end at the end of the bytes does not start a further,
// empty line. A line that lies within one piece is handed out in place; only a line that runs over
// the end of a piece is copied, so the memory held is one line at most.
class LineReader {
public:
    enum class Status { Line, End, TooLong, ReadError };

    // `stripBom`: a UTF-8 byte order mark at the start of the first line is not part of the line
    // (tables saved by current editors may start with one).
    LineReader(SpectrumByteSource& source, std::size_t maxLine, bool stripBom = true)
        : source_(source), maxLine_(maxLine), stripBom_(stripBom) {}

    // The next line, valid until the next call. A line longer than `maxLine` bytes gives TooLong.
    Status next(std::string_view& line);

    // Back to the first line for a second pass.
    bool restart();

    int lineNumber() const { return number_; }
    std::uint64_t bytesRead() const { return bytes_; }
    const std::string& error() const { return error_; }

private:
    Status deliver(std::string_view& line, std::string_view text, bool fromCarry);
    Status tooLong();

    SpectrumByteSource& source_;
    std::size_t maxLine_;
    bool stripBom_;
    std::string_view piece_; // unread rest of the current piece
    std::string carry_;      // the start of a line that runs over the end of a piece
    bool started_ = false;   // carry_ holds the start of the next line
    bool lineInCarry_ = false;
    bool skipLf_ = false; // the last line ended with a CR at the very end of a piece
    bool atEnd_ = false;
    int number_ = 0;
    std::uint64_t bytes_ = 0;
    std::string error_;
};

} // namespace korvo
