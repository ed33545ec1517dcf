#pragma once
// The main window with the multichanneltron setup behind it, connected as the program connects
// them (see app/main.cpp): the analyser routines draw the channel bars into the setup through the
// display router, and a mode switch shows the setup's values again.
#include "acquisition/rig.h"
#include "app/app_test_support.h"
#include "instruments/ui/instrument_display_router.h"
#include "instruments/ui/multichanneltron_setup.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

namespace korvo::testing {

inline const char* kClamIni = "[general]\r\nmachine=CLAM\r\ntime=0\r\n";

struct SetupRig {
    explicit SetupRig(const std::string& iniText = kClamIni) : w(iniText), setup(w.station, w.iniPath) {
        router.setChannelDisplay(setup);
        w.station.io.setDisplay(router);
        QObject::connect(w.window.get(), &TForm1::machineModeChanged, &setup, &TForm19::showModel,
                         Qt::QueuedConnection);
    }
    // Counts come from a card that answers every gate at once: channeltrons 1, 2 and 3 count 100,
    // 200 and 50 per gate, the others nothing.
    void useFormulaCard() {
        card.counts = [](int c, int) { return c == 1 ? 100 : c == 2 ? 200 : c == 3 ? 50 : 0; };
        w.station.usePort(card);
        w.ctx.options.testWithoutAnalyser = false;
    }
    void showMeasurementView() {
        w.window->show();
        w.window->MeasureClick();
    }

    WindowRig w;
    FormulaCard card;
    InstrumentDisplayRouter router;
    TForm19 setup;
};

inline QColor channelColour(int c) {
    const Rgb rgb = kChannelColours.at(std::size_t(c));
    return QColor(rgb.r, rgb.g, rgb.b);
}

inline QColor pixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

// The bar of channeltron c reaches up to row `top`: coloured there, white just above.
inline ::testing::AssertionResult barTop(const QImage& view, int c, int top) {
    const int x = 16 * c - 13 + 7;
    if (pixelAt(view, x, top) != channelColour(c))
        return ::testing::AssertionFailure() << "channeltron " << c << ": no bar colour at row " << top;
    if (top > 0 && pixelAt(view, x, top - 1) != QColor(Qt::white))
        return ::testing::AssertionFailure() << "channeltron " << c << ": bar higher than row " << top;
    return ::testing::AssertionSuccess();
}

} // namespace korvo::testing
