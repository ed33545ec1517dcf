#pragma once
// A terminal box of a link's page: the lines typed for the instrument or received from it. The links'
// receive handlers work on its last line (the partial line), as the boxes always did.
#include <string>
#include <vector>

namespace korvo {

class TerminalMemo {
public:
    const std::vector<std::string>& lines() const { return lines_; }
    bool empty() const { return lines_.empty(); }
    std::size_t count() const { return lines_.size(); }
    // The last line, or "" when there is none.
    std::string lastLine() const { return lines_.empty() ? std::string() : lines_.back(); }
    // Replaces the last line, or adds it when the box is empty.
    void setLastLine(const std::string& text) {
        if (lines_.empty())
            lines_.push_back(text);
        else
            lines_.back() = text;
    }
    void addLine(const std::string& text) { lines_.push_back(text); }
    void deleteFirst() {
        if (!lines_.empty()) lines_.erase(lines_.begin());
    }
    void clear() { lines_.clear(); }
    // All lines joined with "\n", as a text box shows them.
    std::string text() const {
        std::string t;
        for (std::size_t i = 0; i < lines_.size(); ++i) t += (i ? "\n" : "") + lines_[i];
        return t;
    }

private:
    std::vector<std::string> lines_;
};

} // namespace korvo
