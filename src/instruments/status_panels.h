#pragma once
// The main window's status bar as the instrument links use it: panel 0 "Status" shows what a link
// waits for (raised while it waits), panel 1 the monochromator's last result, panel 2 the main motor.
#include <string>

namespace korvo {

class StatusPanels {
public:
    virtual ~StatusPanels() = default;
    virtual void setStatusPanel(int index, const std::string& text) = 0;
    // A raised bevel while a link waits for its instrument, lowered otherwise.
    virtual void setStatusPanelRaised(int index, bool raised) = 0;
};

class NullStatusPanels final : public StatusPanels {
public:
    void setStatusPanel(int, const std::string&) override {}
    void setStatusPanelRaised(int, bool) override {}
};

} // namespace korvo
