#pragma once
// The start-up picture, drawn by the program itself so that no picture file can go missing.
#include <QPixmap>

class QSplashScreen;

namespace korvo {

QPixmap drawSplashPixmap();
// Shows the splash screen and closes it after `ms` milliseconds; nullptr when `ms` <= 0. The screen
// deletes itself when it closes.
QSplashScreen* showSplash(int ms);

} // namespace korvo
