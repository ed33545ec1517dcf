#include "app/instrument_wiring.h"

#include "app/run_connection.h"
#include "instruments/mail/send_mail.h"

#include <QLabel>
#include <QLineEdit>

namespace korvo {

void connectOptionsWindow(TForm1& window, TForm15& options, TForm14& mailAlert, Beamline& beamline,
                          InstrumentDisplayRouter& router) {
    Station& station = window.station();
    router.setOptionsDisplay(options);
    window.showOptionsPage = [&options](int page) { options.showOptionsPage(page); };
    window.registerWindow(TForm1::WindowCommand::Setup, [&window, &options] {
        // The check points the directory list at SaveDir; the page shown is the first one anyway.
        window.checkSaveDir(false);
        options.showTimeCorrection();
        options.showOptionsPage(TForm15::Saving);
    });
    // Help and Info have always opened the options window on the page of index 5.
    for (TForm1::WindowCommand c : {TForm1::WindowCommand::Help, TForm1::WindowCommand::Info})
        window.registerWindow(c, [&options] { options.showOptionsPage(TForm15::Keithley2); });

    options.analyserTestsChanged = [&window](bool) { window.analyserTestsChanged(); };
    options.ringDisplayChanged = [&window](const RingDisplay& d) {
        window.ringCurrentLabel()->setText(QString::fromStdString(d.mainLabel));
        window.ringCurrentLabel()->setVisible(d.mainLabelVisible);
    };
    options.plotColourReset = [&window] {
        if (window.measurementPanel()->isVisible()) window.run().redraw();
    };
    mailAlert.ringCurrentLabel = [&options] { return options.ringCurrentLabel(); };

    // The position the monochromator reads back is the photon field's, and the photon box shows it.
    auto photonField = beamline.monochromator.photonFieldShown;
    beamline.monochromator.photonFieldShown = [photonField, &window](const std::string& photon) {
        if (photonField) photonField(photon);
        window.photonEdit()->setText(QString::fromStdString(photon));
    };

    station.engine.beamLossNotice = [&mailAlert, &station](const std::string& why) {
        const std::optional<int> sent = mailAlert.beamLossAlert(why);
        // The run waits for the beam meanwhile: a box would hold it until someone closed it.
        if (sent && *sent != 0)
            station.ctx.statusPanels().setStatusPanel(0, why + "; e-mail alert failed: " + mailErrorText(*sent));
    };
}

} // namespace korvo
