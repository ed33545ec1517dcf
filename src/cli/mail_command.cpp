#include "cli/mail_command.h"

#include "common/ini_file.h"
#include "common/platform_info.h"
#include "instruments/mail/send_mail.h"
#include "instruments/ring_current/ring_page.h"

#include <filesystem>
#include <iostream>
#include <memory>

namespace korvo {

void addMailCommand(CLI::App& app, int& exitStatus) {
    struct Options {
        std::string to;
        std::string subject = kRingReading; // the alert's subject before any ring current was read
        std::string body = kMailDefaultBody;
        std::string attach;
        std::string ini;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand("mail", "Send the e-mail alert's test mail");
    cmd->add_option("--to", o->to, "Recipient address")->required();
    cmd->add_option("--subject", o->subject, "Subject")->capture_default_str();
    cmd->add_option("--body", o->body, "Message text")->capture_default_str();
    cmd->add_option("--attach", o->attach, "File to attach");
    cmd->add_option("--ini", o->ini, "Settings file with the [mail] section (default: the program's)");
    cmd->callback([o, &exitStatus] {
        std::error_code ec;
        // A named file that is missing would read as an empty one and send through the defaults.
        if (!o->ini.empty() && !std::filesystem::exists(o->ini, ec)) {
            std::cerr << "Cannot read " << o->ini << ": the file does not exist\n";
            exitStatus = 2;
            return;
        }
        IniFile ini(o->ini.empty() ? iniFilePath() : o->ini);
        std::string err;
        if (!ini.load(&err)) {
            std::cerr << "Cannot read " << ini.path() << ": " << err << "\n";
            exitStatus = 2;
            return;
        }
        std::vector<std::string> problems;
        const MailSettings settings = readMailSettings(ini, &problems);
        for (const std::string& p : problems) std::cerr << p << "\n";
        NullPump pump;
        std::string why;
        const int result = SendMail({settings, pump, {}, &why}, o->subject, o->body, o->attach, o->to,
                                    kMailRecipientName, settings.sender, kMailOriginatorName);
        if (result != 0) {
            std::cerr << mailErrorText(result) << "\n" << why << "\n";
            exitStatus = 2;
            return;
        }
        exitStatus = 0;
    });
}

} // namespace korvo
