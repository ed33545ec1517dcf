#pragma once
// For the targets of the line readers: the same bytes handed out in small pieces, as a file arrives
// from the disk, so that a line cut between two pieces must read as the whole line.
#include "files/spectrum_reader.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace korvo::fuzz {

class PieceSource final : public SpectrumByteSource {
public:
    PieceSource(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
    bool next(std::string_view& piece, std::string&) override {
        piece = bytes_.substr(std::min(pos_, bytes_.size()), piece_);
        pos_ += piece.size();
        return true;
    }
    bool rewind(std::string&) override {
        pos_ = 0;
        return true;
    }

private:
    std::string_view bytes_;
    std::size_t piece_;
    std::size_t pos_ = 0;
};

} // namespace korvo::fuzz
