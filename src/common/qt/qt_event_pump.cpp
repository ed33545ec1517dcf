#include "common/qt/qt_event_pump.h"

#include <QCoreApplication>

namespace korvo {

void QtEventPump::pump() {
    // Without an application object (a tool run without windows) there is nothing to process.
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

} // namespace korvo
