// Program start: the command line and the guard against a second running copy.
#include "app/app_options.h"
#include "app/single_instance.h"
#include "app_test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <gtest/gtest.h>

#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvo;
using Outcome = SingleInstanceGuard::Outcome;

namespace {

// Processes events until `done` or a second has passed.
template <typename F> bool waitFor(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Sets (or, without a value, removes) environment variables until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(std::initializer_list<std::pair<const char*, std::optional<QByteArray>>> vars) {
        for (const auto& [name, value] : vars) {
            saved_.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                                      : std::nullopt);
            set(name, value);
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) set(name, value);
    }

private:
    static void set(const char* name, const std::optional<QByteArray>& value) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved_;
};

// A user account of its own under a temporary directory: a home and a /run/user, with or without
// the user's session directory. A Korvo running on this machine does not meet the tests' guards.
struct Account {
    explicit Account(bool session = false) {
        korvo::testing::app();
        place.uid = ::geteuid();
        place.home = root.filePath(QStringLiteral("home"));
        place.runUserRoot = root.filePath(QStringLiteral("run"));
        QDir().mkpath(place.home);
        QDir().mkpath(place.runUserRoot);
        if (session) QDir().mkpath(sessionDir());
    }
    QString sessionDir() const { return QDir(place.runUserRoot).filePath(QString::number(place.uid)); }
    QString homeDir() const { return QDir(place.home).filePath(QStringLiteral(".local/state/korvo")); }
    QByteArray made(const char* name) const {
        QDir().mkpath(root.filePath(QString::fromLatin1(name)));
        return QFile::encodeName(root.filePath(QString::fromLatin1(name)));
    }

    QTemporaryDir root;
    InstancePlace place;
};

int modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

TEST(SingleInstance, GuardsStartedFromDifferentEnvironmentsFindEachOther) {
    for (bool session : {true, false}) {
        Account account(session);
        const QString dir =
            session ? QDir(account.sessionDir()).filePath(QStringLiteral("korvo")) : account.homeDir();
        // A desktop session, a shell without XDG_RUNTIME_DIR, one whose XDG_RUNTIME_DIR points
        // elsewhere; each with its own TMPDIR.
        using Env = std::initializer_list<std::pair<const char*, std::optional<QByteArray>>>;
        const Env desktop{{"XDG_RUNTIME_DIR", QFile::encodeName(account.sessionDir())},
                          {"TMPDIR", account.made("tmp1")}};
        const Env plainShell{{"XDG_RUNTIME_DIR", std::nullopt}, {"TMPDIR", account.made("tmp2")}};
        const Env elsewhere{{"XDG_RUNTIME_DIR", account.made("other-runtime")}, {"TMPDIR", std::nullopt}};
        // Each round's first copy has ended when the next round's starts: it is the first again.
        for (auto [firstEnv, secondEnv] : {std::pair{desktop, plainShell}, std::pair{plainShell, elsewhere},
                                           std::pair{elsewhere, desktop}}) {
            std::optional<ScopedEnv> env(std::in_place, firstEnv);
            SingleInstanceGuard first(account.place);
            ASSERT_EQ(first.acquire(), Outcome::First) << first.error().toStdString();
            int activations = 0;
            QObject::connect(&first, &SingleInstanceGuard::activationRequested, [&] { ++activations; });
            env.reset();
            env.emplace(secondEnv);
            SingleInstanceGuard second(account.place);
            EXPECT_EQ(second.acquire(), Outcome::OtherActivated) << "session " << session;
            EXPECT_FALSE(second.owned());
            EXPECT_TRUE(waitFor([&] { return activations == 1; }));
            // Lock and socket side by side in the private directory.
            EXPECT_EQ(first.directory(), dir);
            EXPECT_TRUE(QFileInfo::exists(first.lockPath()) && QFileInfo(first.socketPath()).exists());
            EXPECT_EQ(QFileInfo(first.socketPath()).absolutePath(), dir);
            EXPECT_EQ(modeOf(dir), 0700);
        }
    }
}

TEST(SingleInstance, DirectoryFollowsTheAccountNotTheEnvironment) {
    passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    {
        ScopedEnv env{{"HOME", QByteArray("/nonexistent-home")}};
        EXPECT_EQ(InstancePlace::ofThisUser().home, QFile::decodeName(pw->pw_dir));
        EXPECT_EQ(InstancePlace::ofThisUser().uid, ::geteuid());
    }

    Account account;
    InstancePlace p = account.place;
    EXPECT_EQ(instanceDirectory(p), account.homeDir()); // no session directory
    QDir().mkpath(account.root.filePath(QStringLiteral("real-session")));
    ASSERT_TRUE(QFile::link(account.root.filePath(QStringLiteral("real-session")), account.sessionDir()));
    EXPECT_EQ(instanceDirectory(p), account.homeDir()); // a link is not the session directory
    QFile::remove(account.sessionDir());
    QDir().mkpath(account.sessionDir());
    EXPECT_EQ(instanceDirectory(p), QDir(account.sessionDir()).filePath(QStringLiteral("korvo")));

    // A session directory of the right number that belongs to somebody else is not ours.
    InstancePlace other = p;
    other.uid = p.uid + 1;
    QDir().mkpath(QDir(p.runUserRoot).filePath(QString::number(other.uid)));
    EXPECT_EQ(instanceDirectory(other), account.homeDir());
    other.home.clear();
    EXPECT_EQ(instanceDirectory(other), QString());
    SingleInstanceGuard homeless(other);
    EXPECT_EQ(homeless.acquire(), Outcome::DirectoryRefused);
    EXPECT_FALSE(homeless.error().isEmpty());
}

TEST(SingleInstance, UnfitDirectoryIsRefusedAndNeverReplaced) {
    Account account;
    const uid_t me = account.place.uid;
    const QString fresh = account.root.filePath(QStringLiteral("a/b/korvo"));
    EXPECT_EQ(prepareInstanceDirectory(fresh, me), QString());
    EXPECT_EQ(modeOf(fresh), 0700);
    EXPECT_EQ(prepareInstanceDirectory(fresh, me), QString()); // and again, as the next start

    struct Case {
        const char* name;
        std::function<void(const QString&)> make;
        uid_t owner;
        const char* reason;
    };
    auto dirWithMode = [](int mode) {
        return [mode](const QString& p) {
            QDir().mkpath(p);
            ::chmod(QFile::encodeName(p).constData(), mode);
        };
    };
    const Case cases[] = {
        {"open to all", dirWithMode(0755), me, "0755"},
        {"open to the group", dirWithMode(0770), me, "0770"},
        {"searchable by others", dirWithMode(0701), me, "0701"},
        {"another owner", dirWithMode(0700), me + 1, "belongs to"},
        {"a link to a private directory", [&](const QString& p) { QFile::link(fresh, p); }, me,
         "symbolic link"},
        {"a file",
         [](const QString& p) {
             QFile f(p);
             f.open(QIODevice::WriteOnly);
         },
         me, "not a directory"},
    };
    for (const Case& c : cases) {
        const QString path = account.root.filePath(QString::fromLatin1(c.name));
        c.make(path);
        const int modeBefore = modeOf(path);
        const QString error = prepareInstanceDirectory(path, c.owner);
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.reason)) && error.contains(path))
            << c.name << ": " << error.toStdString();
        EXPECT_EQ(modeOf(path), modeBefore) << c.name;
    }

    // The guard takes no lock and does not fall back to another place.
    Account session(true);
    const QString dir = QDir(session.sessionDir()).filePath(QStringLiteral("korvo"));
    dirWithMode(0777)(dir);
    SingleInstanceGuard guard(session.place);
    EXPECT_EQ(guard.acquire(), Outcome::DirectoryRefused);
    EXPECT_FALSE(guard.owned());
    EXPECT_TRUE(guard.error().contains(dir));
    EXPECT_FALSE(QFileInfo::exists(guard.lockPath()));
    EXPECT_FALSE(QFileInfo::exists(session.homeDir()));
}

TEST(SingleInstance, RefusedCloseKeepsTheGuard) {
    korvo::testing::WindowRig rig("[general]\r\nmachine=CLAM\r\ntime=0\r\n");
    Account account;
    SingleInstanceGuard guard(account.place);
    ASSERT_EQ(guard.acquire(), Outcome::First);
    QObject::connect(&guard, &SingleInstanceGuard::activationRequested, rig.window.get(),
                     &TForm1::bringToFront);
    TForm1& w = *rig.window;
    w.show();
    rig.dialogs.answers.push_back(DialogAnswer::Cancel);
    ASSERT_FALSE(w.close()); // refused by the user
    w.showMinimized();
    EXPECT_EQ(SingleInstanceGuard(account.place).acquire(), Outcome::OtherActivated);
    EXPECT_TRUE(waitFor([&] { return !w.isMinimized(); }));
}

TEST(SingleInstance, HeldLockWithoutAnAnsweringProgramIsReported) {
    Account account;
    SingleInstanceGuard guard(account.place);
    ASSERT_EQ(prepareInstanceDirectory(guard.directory(), account.place.uid), QString());
    QLockFile foreign(guard.lockPath());
    ASSERT_TRUE(foreign.tryLock(0));
    EXPECT_EQ(guard.acquire(200), Outcome::OtherUnreachable);
}

TEST(CommandLine, CardAndIniOptions) {
    AppOptions o = parseAppOptions({"korvo", "--card", "sim", "--ini", "/tmp/x.ini"});
    EXPECT_TRUE(o.error.empty() && o.card == "sim" && o.iniPath == "/tmp/x.ini");
    EXPECT_TRUE(parseAppOptions({"korvo"}).card.empty()); // the INI decides
    for (const QStringList& args : {QStringList{"korvo", "--card", "isa"}, QStringList{"korvo", "--card"},
                                    QStringList{"korvo", "--bogus"}, QStringList{"korvo", "stray"}})
        EXPECT_FALSE(parseAppOptions(args).error.empty()) << args.join(' ').toStdString();

    // Read before QApplication, Qt's own options are no bundles of -h and -v.
    for (const QStringList& args :
         {QStringList{"korvo", "-reverse"}, QStringList{"korvo", "-stylesheet", "a"},
          QStringList{"korvo", "-platform", "offscreen"}}) {
        const AppOptions qt = parseAppOptions(args);
        EXPECT_FALSE(qt.showHelp || qt.showVersion) << args.join(' ').toStdString();
    }
    EXPECT_TRUE(parseAppOptions({"korvo", "-platform", "xcb", "-h"}).showHelp);
    EXPECT_TRUE(mayHoldQtOptions({"korvo", "-platform", "xcb"}));
    EXPECT_FALSE(mayHoldQtOptions({"korvo", "--card", "isa", "-h", "--", "-style"}));
}

TEST(CommandLine, HelpVersionAndMistakesNeedNoDisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    struct Case {
        QStringList args;
        int exitCode;
        QString output; // the start of what is printed
        QString errors; // part of what goes to stderr
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: ", ""},
        {{"-h", "--card", "sim"}, 0, "Usage: ", ""},
        {{"--help-all"}, 0, "Usage: ", ""},
        {{"--version"}, 0, "korvo " KORVO_VERSION "\n", ""},
        {{"--card", "isa"}, 2, "", "--card must be test, sim or port"},
    };
    for (const Case& c : cases) {
        const std::string args = c.args.join(' ').toStdString();
        QProcess korvo;
        korvo.setProcessEnvironment(env);
        korvo.start(QStringLiteral(KORVO_BINARY), c.args);
        ASSERT_TRUE(korvo.waitForFinished(60000)) << args;
        const QString out = QString::fromLocal8Bit(korvo.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(korvo.readAllStandardError());
        EXPECT_EQ(korvo.exitStatus(), QProcess::NormalExit) << args;
        EXPECT_EQ(korvo.exitCode(), c.exitCode) << args << ": " << err.toStdString();
        // (A null string starts with no empty one: nothing printed is checked as such.)
        EXPECT_TRUE(c.output.isEmpty() ? out.isEmpty() : out.startsWith(c.output))
            << args << ": " << out.toStdString();
        EXPECT_TRUE(err.contains(c.errors)) << args << ": " << err.toStdString();
    }
}
