#include "viewer/viewer_texts.h"

#include "common/number_text.h"
#include "files/spectrum_format.h"
#include "viewer/view_scale.h"

#include <algorithm>

namespace korvo {

int InfoPanelSet::count() const {
    return static_cast<int>(std::count(on.begin(), on.end(), true));
}

int InfoPanelSet::height() const {
    return count() * kInfoPanelHeight;
}

int InfoPanelSet::toggle(InfoPanel p) {
    bool& b = on[static_cast<std::size_t>(p)];
    b = !b;
    return b ? kInfoPanelHeight : -kInfoPanelHeight;
}

int InfoPanelSet::showAllOrClear() {
    const int before = height();
    if (count() == kInfoPanelCount)
        on.fill(false);
    else
        on.fill(true);
    return height() - before;
}

namespace {

bool activeChosen(const tvar& ws) {
    return ws.Active >= 1 && ws.Active <= kMaxSpectra;
}

std::string width10(double v) {
    std::string s = text::formatFixed(v, 3);
    if (s.size() < 10) s.insert(0, 10 - s.size(), ' ');
    return s;
}

} // namespace

std::vector<std::string> infoPanelTexts(const tvar& ws, const InfoPanelSet& panels) {
    static const ViewerSpectrum none;
    const ViewerSpectrum& s = activeChosen(ws) ? ws.spectrum(ws.Active) : none;
    const std::string five(5, ' '), four(4, ' ');
    const std::array<std::string, kInfoPanelCount> all = {
        s.SampleText, s.CommentText, s.DateText,
        s.ScansText + five + s.PassEnText + five + s.PointsText + five + s.MeasTimeText,
        s.AnaStaText + four + s.AnaEndText};
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (panels.on[i]) texts.push_back(all[i]);
    return texts;
}

std::string cursorReadout(const tvar& ws, int column, int row, const BindingAxis* binding) {
    if (!activeChosen(ws)) return {};
    const ViewerSpectrum& s = ws.spectrum(ws.Active);
    const plot::ViewerMapping m = ws.mapping(ws.Active);
    double x = m.xAt(column), y = m.yAt(row);
    if (x < s.XMin) x = s.XMin;
    if (y < s.YMin) y = s.YMin;
    return "  X = " + width10(shownX(s, x, binding)) + "  Y = " + width10(y);
}

std::string activeCaption(const tvar& ws) {
    return activeChosen(ws) ? ws.spectrum(ws.Active).FileName : std::string();
}

std::string dropLeadingCharacters(const std::string& text, std::size_t n) {
    std::size_t i = 0;
    for (; n > 0 && i < text.size(); --n) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    return text.substr(i);
}

std::vector<std::array<std::string, 6>> valueTableRows(const tvar& ws) {
    std::vector<std::array<std::string, 6>> rows;
    for (int k : shownSpectra(ws)) {
        const ViewerSpectrum& s = ws.spectrum(k);
        // The sample text without its "Probe: " label.
        rows.push_back({s.ShortName, dropLeadingCharacters(s.SampleText, 7), text::formatFixedPrecision(s.XMin, 5, 2),
                        text::formatFixedPrecision(s.XMax, 5, 2), text::formatFixedPrecision(s.YMin, 7, 1),
                        text::formatFixedPrecision(s.YMax, 7, 1)});
    }
    return rows;
}

std::string listName(const tvar& ws, int k) {
    return cutToCharacters(ws.spectrum(k).ShortName, 15);
}

} // namespace korvo
