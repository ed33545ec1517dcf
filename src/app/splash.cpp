#include "app/splash.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSplashScreen>
#include <QTimer>

namespace korvo {

QPixmap drawSplashPixmap() {
    QPixmap pixmap(420, 220);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, pixmap.height());
    sky.setColorAt(0, QColor(0x1c, 0x2e, 0x6e));
    sky.setColorAt(1, QColor(0x5a, 0x8c, 0xd8));
    p.fillRect(pixmap.rect(), sky);

    // A stylised photoemission peak as the program's emblem.
    QPainterPath peak;
    peak.moveTo(20, 190);
    for (int x = 20; x <= 400; x += 4) {
        double t = (x - 250) / 28.0;
        double y = 185 - 80 / (1 + t * t) - 15.0 * (x - 20) / 380;
        peak.lineTo(x, y);
    }
    p.setPen(QPen(QColor(255, 220, 120), 3));
    p.drawPath(peak);

    p.setPen(Qt::white);
    QFont title(QStringLiteral("Sans Serif"), 34, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(0, 30, pixmap.width(), 60), Qt::AlignCenter, QStringLiteral("Korvo '02"));
    QFont sub(QStringLiteral("Sans Serif"), 11);
    p.setFont(sub);
    p.drawText(QRect(0, 190, pixmap.width(), 24), Qt::AlignCenter,
               QStringLiteral("Electron spectroscopy  -  version " KORVO_VERSION));
    return pixmap;
}

QSplashScreen* showSplash(int ms) {
    if (ms <= 0) return nullptr;
    auto* splash = new QSplashScreen(drawSplashPixmap(), Qt::WindowStaysOnTopHint);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();
    QTimer::singleShot(ms, splash, &QWidget::close);
    return splash;
}

} // namespace korvo
