#include "linux/linuxservices.h"
#include "linux/secretservicesource.h"
#include "linux/secrettoolsource.h"
#include "plan/credentials.h"
#include "plan/tokenlookup.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString secretsName = QStringLiteral("org.freedesktop.secrets");
const QString secretsPath = QStringLiteral("/org/freedesktop/secrets");

QByteArray document(const QString &token)
{
    return "{\"varnelAiOauth\": {\"accessToken\": \"" + token.toUtf8() +
           "\", \"expiresAt\": 1}, \"other\": {}}";
}

// A keychain source that counts how often the chain asks it.
class Counted final : public KeychainSource
{
public:
    Counted(std::shared_ptr<KeychainSource> real, int &calls)
        : m_real(std::move(real)), m_calls(calls)
    {
    }
    std::optional<QByteArray> secret(const QString &service, std::chrono::milliseconds bound,
                                     std::stop_token stop) override
    {
        ++m_calls;
        return m_real->secret(service, bound, stop);
    }

private:
    std::shared_ptr<KeychainSource> m_real;
    int &m_calls;
};

// Starts `program` with `input` on its standard input.
void startFed(QProcess &process, const QString &program, const QStringList &args,
              const QByteArray &input)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    process.write(input);
    process.closeWriteChannel();
}

} // namespace

// The keychain sources and the chain against a real gnome-keyring on the private session bus this
// test runs on (dbus-run-session), with a home directory of its own.
class TestKeychainSources : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_home;
    QByteArray m_busAddress;
    QProcess m_keyring;
    const QString m_fileToken = QStringLiteral("fake-file-token");
    const QString m_keychainToken = QStringLiteral(" fake keychain token ");
    int m_toolCalls = 0;
    int m_keychainCalls = 0;

    QString credentialsPath() const { return m_home + "/.varnel/.credentials.json"; }
    QDBusConnection bus() const
    {
        return QDBusConnection::connectToBus(QString::fromUtf8(m_busAddress), "test");
    }
    bool secretsServiceOwned() const
    {
        return bus().interface()->isServiceRegistered(secretsName).value();
    }

    // The real sources, counting the calls of the tool and of the keychain.
    TokenLookup::Sources countedSources()
    {
        m_toolCalls = m_keychainCalls = 0;
        const TokenLookup::Sources s = LinuxServices::tokenSources();
        return {s.homeDir, std::make_shared<Counted>(s.tool, m_toolCalls),
                std::make_shared<Counted>(s.keychain, m_keychainCalls)};
    }

    // Starts the keyring once (it creates and unlocks the login keyring with the password it
    // reads) and makes `secret` the item's secret: stored with the same attributes, it replaces
    // the previous one.
    void keyringHolding(const QByteArray &secret)
    {
        if (m_keyring.state() != QProcess::Running) {
            startFed(m_keyring, "gnome-keyring-daemon",
                     {"--foreground", "--unlock", "--components=secrets"}, "test-password");
            QTRY_VERIFY_WITH_TIMEOUT(secretsServiceOwned(), 10000);
        }
        QProcess store;
        startFed(store, "secret-tool",
                 {"store", "--label=x", "service", TokenLookup::keychainService}, secret);
        QVERIFY(store.waitForFinished(10000));
        QCOMPARE(store.exitCode(), 0);
    }

private slots:
    void initTestCase()
    {
        m_busAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        if (m_busAddress.isEmpty())
            QFAIL("run under dbus-run-session: this test needs a private session bus");
        QVERIFY(bus().isConnected());
        for (const char *tool : {"gnome-keyring-daemon", "secret-tool"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool);
        QVERIFY(m_dir.isValid());

        // Nothing of the real session: no home, no keyrings, no display for a password dialog.
        m_home = m_dir.filePath("home");
        const QString runtime = m_dir.filePath("run");
        QVERIFY(QDir().mkpath(m_home + "/.varnel") && QDir().mkpath(runtime));
        QVERIFY(
            QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("HOME", m_home.toUtf8());
        qputenv("XDG_DATA_HOME", (m_home + "/.local/share").toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_home + "/.config").toUtf8());
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
    }

    void cleanupTestCase()
    {
        m_keyring.terminate();
        m_keyring.waitForFinished(3000);
    }

    void init()
    {
        QFile::remove(credentialsPath());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
    }

    // Runs before the keyring is started.
    void noAnsweringSecretService_data()
    {
        QTest::addColumn<QByteArray>("busAddress"); // empty: unset
        QTest::addColumn<bool>("hung");
        QTest::addRow("no session bus configured") << QByteArray() << false;
        QTest::addRow("bus address of a missing socket")
            << QByteArray("unix:path=/nonexistent/varnelusage-test-bus") << false;
        // The keyring is installed as an activatable service here: it must not be started.
        QTest::addRow("bus without a Secret Service") << m_busAddress << false;
        // Its calls are delivered to this thread, which is blocked in the lookup.
        QTest::addRow("Secret Service that never answers") << m_busAddress << true;
    }

    void noAnsweringSecretService()
    {
        QFETCH(QByteArray, busAddress);
        QFETCH(bool, hung);
        QVERIFY2(m_keyring.state() == QProcess::NotRunning, "runs before the keyring is started");
        QObject silent;
        if (hung) {
            QVERIFY(bus().registerObject(secretsPath, &silent, QDBusConnection::ExportAllContents));
            QVERIFY(bus().registerService(secretsName));
        }
        if (busAddress.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress);

        QElapsedTimer timer;
        timer.start();
        SecretServiceSource keychain;
        QVERIFY(
            !keychain.secret(TokenLookup::keychainService, std::chrono::milliseconds(1500), {}));
        QCOMPARE_LT(timer.elapsed(), hung ? 2500 : 1000);
        if (hung) {
            QVERIFY(bus().unregisterService(secretsName));
            bus().unregisterObject(secretsPath);
        } else if (busAddress != m_busAddress) {
            // The whole chain (on a working bus the tool would start the keyring).
            timer.restart();
            QVERIFY(!TokenLookup::run(LinuxServices::tokenSources()));
            QCOMPARE_LT(timer.elapsed(), 2000);
        }
        QVERIFY(!secretsServiceOwned());
    }

    void toolRules_data()
    {
        QTest::addColumn<QString>("tail"); // of a script that prints a document and a line feed
        QTest::addColumn<bool>("found");
        QTest::addRow("status 0, line feed after the document") << "" << true;
        QTest::addRow("status 1") << "; exit 1" << false;
        QTest::addRow("killed by a signal") << "; kill -9 $$" << false;
        QTest::addRow("document on standard error only") << " >&2" << false;
        QTest::addRow("never exits, killed at the bound") << "; exec sleep 30" << false;
        QTest::addRow("leaves a child holding the output") << "; sleep 8 & exit 0" << true;
        // A token is small: output beyond the bound is not read at all.
        QTest::addRow("output beyond the bound")
            << "; head -c 200000 /dev/zero | tr '\\0' ' '" << false;
        // Its whole process group goes with a tool that hangs.
        QTest::addRow("a hanging child ended with it")
            << "; sleep 30 & echo $! > \"$PIDFILE\"; exec sleep 30" << false;
    }

    void toolRules()
    {
        QFETCH(QString, tail);
        QFETCH(bool, found);
        const QString pidFile = m_dir.filePath("child.pid");
        QFile::remove(pidFile);
        qputenv("PIDFILE", pidFile.toUtf8());
        const QString script = "printf '%s\\n' '" + document("fake-tool-token") + "'" + tail;
        // The service name the source appends lands in the script's $0.
        SecretToolSource tool("/bin/sh", {"-c", script});
        std::optional<QByteArray> secret =
            tool.secret(TokenLookup::keychainService, std::chrono::milliseconds(1500), {});
        const auto token = secret ? tokenFromCredentialsJson(*secret) : std::nullopt;
        QCOMPARE(token.has_value(), found);
        QVERIFY(!found || *token == "fake-tool-token");
        QFile pid(pidFile);
        if (pid.open(QIODevice::ReadOnly)) {
            const QString stat = "/proc/" + pid.readAll().trimmed() + "/stat";
            // Gone, or a zombie waiting for a parent that reaps.
            QTRY_VERIFY(!QFile::exists(stat) || [&] {
                QFile f(stat);
                return f.open(QIODevice::ReadOnly) && f.readAll().contains(") Z ");
            }());
        }
    }

    void fileThenTool_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<none>": no file, "<fifo>": a named pipe
        QTest::addColumn<int>("toolCalls");
        QTest::addRow("token in the file") << document(m_fileToken) + "\n" << 0;
        QTest::addRow("no file") << QByteArray("<none>") << 1;
        QTest::addRow("empty token") << document(QString()) << 1;
        // Opening a named pipe would block until a writer appears.
        QTest::addRow("named pipe") << QByteArray("<fifo>") << 1;
    }

    void fileThenTool()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, toolCalls);
        keyringHolding(document(m_keychainToken) + "\n");
        QFile file(credentialsPath());
        if (content == "<fifo>")
            QCOMPARE(mkfifo(QFile::encodeName(credentialsPath()).constData(), 0600), 0);
        else if (content != "<none>")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) && file.flush());

        QElapsedTimer timer;
        timer.start();
        const auto token = TokenLookup::run(countedSources());
        QCOMPARE_LT(timer.elapsed(), 3000);
        QVERIFY(token);
        QVERIFY(*token == (toolCalls ? m_keychainToken : m_fileToken));
        QCOMPARE(m_toolCalls, toolCalls);
        QCOMPARE(m_keychainCalls, 0);
    }

    void keychainItem_data()
    {
        QTest::addColumn<QByteArray>("secret");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("found");
        QTest::addRow("credentials document") << document(m_keychainToken) << false << true;
        // Last: the keyring stays locked.
        QTest::addRow("locked keyring") << document(m_keychainToken) << true << false;
    }

    void keychainItem()
    {
        QFETCH(QByteArray, secret);
        QFETCH(bool, locked);
        QFETCH(bool, found);
        keyringHolding(secret);
        if (locked) {
            QDBusMessage lock = QDBusMessage::createMethodCall(
                secretsName, secretsPath, "org.freedesktop.Secret.Service", "Lock");
            lock << QVariant::fromValue(QList{QDBusObjectPath(secretsPath + "/aliases/default")});
            const QDBusMessage reply = bus().call(lock);
            QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        }

        // Both keychain sources read the item the tool stored. Neither asks for a password: the
        // tool gives up at its bound, the interface does not wait at all.
        QElapsedTimer timer;
        timer.start();
        SecretToolSource tool;
        const auto fromTool = TokenLookup::fromKeychain(tool);
        QCOMPARE_LT(timer.elapsed(), 6000);
        timer.restart();
        SecretServiceSource keychain;
        const auto fromInterface = TokenLookup::fromKeychain(keychain);
        QCOMPARE_LT(timer.elapsed(), 1000);
        for (const auto &token : {fromTool, fromInterface}) {
            QCOMPARE(token.has_value(), found);
            QVERIFY(!found || *token == m_keychainToken);
        }
        // The chain passes a failed tool on to the keychain interface.
        QCOMPARE(TokenLookup::run(countedSources()).has_value(), found);
        QCOMPARE(m_toolCalls, 1);
        QCOMPARE(m_keychainCalls, found ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestKeychainSources)
#include "tst_keychainsources.moc"
