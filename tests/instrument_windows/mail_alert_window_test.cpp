// The e-mail alert window against a mail relay on 127.0.0.1.
#include "app/app_test_support.h"
#include "instruments/local_servers.h"
#include "instrument_windows/mail_alert_window.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <fstream>

namespace korvo {
namespace {

using testing::ClosedPort;
using testing::LocalSmtpServer;

struct MailRig {
    explicit MailRig(int port) {
        testing::app();
        iniPath = dir.filePath(QStringLiteral("korvo.ini")).toStdString();
        std::ofstream(iniPath, std::ios::binary)
            << "[mail]\r\nserver=127.0.0.1\r\nport=" << port << "\r\nsender=korvo@station.example\r\n";
    }
    QTemporaryDir dir;
    std::string iniPath;
    VirtualClock clock;
    ScriptedPump pump;
    RecordingDialogs dialogs;
    AcquisitionContext ctx{clock, pump, dialogs};
};

TEST(MailAlertWindow, ItsFieldsSitOnThePanelTheTestBoxShows) {
    MailRig r(25);
    r.ctx.values.MonoQuiet = true;
    TForm14 w(r.ctx, r.iniPath);
    EXPECT_FALSE(r.ctx.values.MonoQuiet) << "creating the window clears the monochromator's quiet flag";
    EXPECT_EQ(w.windowTitle(), QStringLiteral("e-mail - Alert"));
    w.show();
    EXPECT_FALSE(w.testPanel()->isVisible());
    w.enableTestsBox()->click();
    EXPECT_TRUE(w.testPanel()->isVisible());
    w.enableTestsBox()->click();
    EXPECT_FALSE(w.testPanel()->isVisible());
}

TEST(MailAlertWindow, SendsTheRingCurrentLabelAsSubject) {
    LocalSmtpServer relay;
    MailRig r(relay.port());
    TForm14 w(r.ctx, r.iniPath);
    w.emailEdit()->setText(QStringLiteral("beamline@example.org"));

    // Before anyone hands in the options window's label, the subject is that label's first text.
    w.sendButton()->click();
    // Then the label as it reads at the moment of sending.
    std::string label = "250.3 mA";
    w.ringCurrentLabel = [&] { return label; };
    w.bodyEdit()->setText(QStringLiteral("Strahl verloren"));
    // The window stays alive during the send; a second press meanwhile sends nothing more.
    r.pump.once([] { return true; },
                [&] {
                    EXPECT_FALSE(w.sendButton()->isEnabled());
                    w.sendButton()->click();
                    w.Button1Click();
                });
    w.sendButton()->click();

    EXPECT_TRUE(r.dialogs.shown.empty()) << r.dialogs.texts().front();
    EXPECT_TRUE(w.sendButton()->isEnabled());
    const auto mails = relay.mails();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_TRUE(mails[0].header("Subject: ------- mA")) << mails[0].data;
    EXPECT_NE(mails[0].data.find("Info vom Me=C3=9Fprogram"), std::string::npos) << mails[0].data;
    EXPECT_TRUE(mails[1].header("Subject: 250.3 mA")) << mails[1].data;
    EXPECT_NE(mails[1].data.find("Strahl verloren"), std::string::npos);
    EXPECT_EQ(mails[1].to, std::vector<std::string>{"beamline@example.org"});
    EXPECT_EQ(mails[1].from, "korvo@station.example");
}

TEST(MailAlertWindow, AFailedSendShowsItsCode) {
    ClosedPort closed;
    MailRig r(closed.port());
    TForm14 w(r.ctx, r.iniPath);
    w.emailEdit()->setText(QStringLiteral("beamline@example.org"));
    w.sendButton()->click();
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.dialogs.shown[0].text, "Error sending mail (7).");
    EXPECT_EQ(r.dialogs.shown[0].icon, DialogIcon::Error);
    EXPECT_EQ(r.dialogs.shown[0].buttons, DialogButtons::Ok);
    EXPECT_TRUE(w.sendButton()->isEnabled());

    // No address typed: nothing goes out, and the window says so the same way.
    r.dialogs.clear();
    w.emailEdit()->clear();
    w.sendButton()->click();
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.dialogs.shown[0].text, "Error sending mail (55).");
}

TEST(MailAlertWindow, AnUnusableRelaySettingIsReportedOnce) {
    LocalSmtpServer relay;
    MailRig r(relay.port());
    std::ofstream(r.iniPath, std::ios::binary)
        << "[mail]\r\nserver=127.0.0.1\r\nport=" << relay.port() << "\r\nsender=korvo station\r\n";
    TForm14 w(r.ctx, r.iniPath);
    w.emailEdit()->setText(QStringLiteral("beamline@example.org"));
    w.sendButton()->click();
    w.sendButton()->click();
    ASSERT_EQ(r.dialogs.shown.size(), 1u) << "reported once, not at every send";
    EXPECT_NE(r.dialogs.shown[0].text.find("sender=korvo station"), std::string::npos);
    ASSERT_EQ(relay.mails().size(), 2u);
    EXPECT_EQ(relay.mails()[0].from, "korvo@localhost") << "the default sender stands in";
}

TEST(MailAlertWindow, ABeamLossAlertGoesOutOnlyWhenAskedFor) {
    LocalSmtpServer relay;
    MailRig r(relay.port());
    TForm14 w(r.ctx, r.iniPath);
    w.ringCurrentLabel = [] { return std::string("12.0 mA"); };
    const std::string why = "Beam lost: ring current 12.0 mA below 100 mA, the run waits";
    // Neither the box ticked nor an address typed, then only one of them: nothing is sent.
    EXPECT_FALSE(w.beamLossAlert(why));
    w.emailEdit()->setText(QStringLiteral("beamline@example.org"));
    EXPECT_FALSE(w.beamLossAlert(why));
    w.emailEdit()->setText(QStringLiteral("  "));
    w.enableMailsBox()->setChecked(true);
    EXPECT_FALSE(w.beamLossAlert(why));
    EXPECT_TRUE(relay.mails().empty());

    w.emailEdit()->setText(QStringLiteral("beamline@example.org"));
    EXPECT_EQ(w.beamLossAlert(why), 0);
    ASSERT_EQ(relay.mails().size(), 1u);
    EXPECT_TRUE(relay.mails()[0].header("Subject: 12.0 mA")) << relay.mails()[0].data;
    EXPECT_NE(relay.mails()[0].data.find(why), std::string::npos) << relay.mails()[0].data;
    // (A relay that is not there gives its code and no box: the options window's beam-loss test.)
}

} // namespace
} // namespace korvo
