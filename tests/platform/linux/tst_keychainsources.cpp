#include "datarows.h"
#include "linux/linuxservices.h"
#include "linux/secretservicesource.h"
#include "linux/secrettoolsource.h"
#include "plan/credentials.h"
#include "plan/tokenlookup.h"

#include <QtDBus>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString secretsName = QStringLiteral("org.freedesktop.secrets");
const QString secretsPath = QStringLiteral("/org/freedesktop/secrets");

QByteArray document(const QString &token)
{
    return "{\"varnelAiOauth\": {\"accessToken\": \"" + token.toUtf8() +
           "\", \"expiresAt\": 1}, \"other\": {}}";
}

void startFed(QProcess &process, const QString &program, const QStringList &args,
              const QByteArray &input)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    process.write(input);
    process.closeWriteChannel();
}

} // namespace

using ChainRow = std::tuple<QByteArray, QString, QString>;
Q_DECLARE_METATYPE(ChainRow)

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

    QString credentialsPath() const { return m_home + "/.varnel/.credentials.json"; }
    QDBusConnection bus() const
    {
        return QDBusConnection::connectToBus(QString::fromUtf8(m_busAddress), "test");
    }
    bool secretsServiceOwned() const
    {
        return bus().interface()->isServiceRegistered(secretsName).value();
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

    void noAnsweringSecretService_data()
    {
        QTest::addColumn<QByteArray>("busAddress"); // empty: unset
        QTest::addColumn<bool>("hung");
        QTest::addRow("no session bus configured") << QByteArray() << false;
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
        SecretServiceSource keychain;
        QVERIFY(
            !keychain.secret(TokenLookup::keychainService, std::chrono::milliseconds(1500), {}));
        if (hung) {
            QVERIFY(bus().unregisterService(secretsName));
            bus().unregisterObject(secretsPath);
        } else if (busAddress.isEmpty()) {
            // The whole chain (on a working bus the tool would start the keyring).
            QVERIFY(!TokenLookup::run(LinuxServices::tokenSources()));
        }
        QVERIFY(!secretsServiceOwned());
    }

    // The file first, then the tool, then the keychain interface. The tool's output counts only
    // when it exits with status 0 within the bound having written little; else its whole process
    // group is ended and the turn passes on.
    void chainOrder_data()
    {
        // The file ("<none>", "<fifo>": a pipe), the tail of the tool's script or "<real>".
        const QString tool = QStringLiteral("fake-tool-token"), real = QStringLiteral("<real>");
        const QString keychain = m_keychainToken;
        const QByteArray none = "<none>";
        addRows<ChainRow>(
            {{"token in the file", {document(m_fileToken), "", m_fileToken}},
             {"empty token in the file, the real tool", {document({}), real, keychain}},
             // Opening a named pipe would block until a writer appears.
             {"named pipe", {"<fifo>", real, keychain}},
             {"tool exits with 0", {none, "", tool}},
             {"tool exits with 1", {none, "; exit 1", keychain}},
             {"tool killed by a signal", {none, "; kill -9 $$", keychain}},
             {"document on standard error only", {none, " >&2", keychain}},
             {"tool never exits", {none, "; exec sleep 30", keychain}},
             {"tool leaves a child holding the output", {none, "; sleep 8 & exit 0", tool}},
             // A token is small: output beyond the bound is not read at all.
             {"output beyond the bound",
              {none, "; head -c 200000 /dev/zero | tr '\\0' ' '", keychain}},
             {"a hanging child ended with the tool",
              {none, "; sleep 30 & echo $! > \"$PIDFILE\"; exec sleep 30", keychain}}});
    }

    void chainOrder()
    {
        QFETCH(ChainRow, row);
        const auto &[content, toolTail, token] = row;
        keyringHolding(document(m_keychainToken) + "\n");
        QFile file(credentialsPath());
        if (content == "<fifo>")
            QCOMPARE(mkfifo(QFile::encodeName(credentialsPath()).constData(), 0600), 0);
        else if (content != "<none>")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content + "\n") && file.flush());
        const QString pidFile = m_dir.filePath("child.pid");
        QFile::remove(pidFile);
        qputenv("PIDFILE", pidFile.toUtf8());
        TokenLookup::Sources sources = LinuxServices::tokenSources();
        // The service name the source appends lands in the script's $0.
        const QString script = "printf '%s\\n' '" + document("fake-tool-token") + "'" + toolTail;
        if (toolTail != QLatin1String("<real>"))
            sources.tool = std::make_shared<SecretToolSource>("/bin/sh", QStringList{"-c", script});
        QVERIFY(TokenLookup::run(sources) == token); // a failure prints no token
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

    // Neither keychain source asks for a password of a locked keyring (the chain's rows show
    // that both read the unlocked one). Last: the keyring stays locked.
    void lockedKeyring()
    {
        keyringHolding(document(m_keychainToken));
        QDBusMessage lock = QDBusMessage::createMethodCall(
            secretsName, secretsPath, "org.freedesktop.Secret.Service", "Lock");
        lock << QVariant::fromValue(QList{QDBusObjectPath(secretsPath + "/aliases/default")});
        const QDBusMessage reply = bus().call(lock);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        SecretToolSource tool;
        SecretServiceSource keychain;
        QVERIFY(!TokenLookup::fromKeychain(tool) && !TokenLookup::fromKeychain(keychain));
    }
};

QTEST_GUILESS_MAIN(TestKeychainSources)
#include "tst_keychainsources.moc"
