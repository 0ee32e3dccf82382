#include "tokenlookup.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// The token sources against a real gnome-keyring on the private session bus this test runs on
// (dbus-run-session), with a home directory of its own.
class TestTokenLookup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void noSecretService_data();
    void noSecretService();
    void hungSecretService();
    void toolRules_data();
    void toolRules();
    void fileHitConsultsNothingElse();
    void fileWithoutTokenFallsToTool_data();
    void fileWithoutTokenFallsToTool();
    void keychainFindsItemStoredByTool();
    void bareTokenInKeychain();
    void lockedKeyring();

private:
    struct Counted
    {
        TokenLookup::Sources sources;
        std::shared_ptr<int> toolCalls = std::make_shared<int>(0);
        std::shared_ptr<int> keychainCalls = std::make_shared<int>(0);
    };
    Counted countedSources() const;
    void startKeyring();
    void storeItem(const QByteArray &secret);
    void writeCredentials(const QByteArray &content);
    QString credentialsPath() const;
    bool secretsServiceOwned();

    QTemporaryDir m_dir;
    QString m_home;
    QByteArray m_busAddress;
    QProcess m_keyring;
    QString m_fileToken;
    QString m_keychainToken;
};

namespace {

QByteArray document(const QString &token)
{
    return R"({"varnelAiOauth": {"accessToken": ")" + token.toUtf8() +
           R"(", "expiresAt": 1}, "other": {}})";
}

int elapsedMs(const QElapsedTimer &timer)
{
    return int(timer.elapsed());
}

} // namespace

void TestTokenLookup::initTestCase()
{
    m_busAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (m_busAddress.isEmpty())
        QFAIL("run under dbus-run-session: this test needs a private session bus");
    for (const char *tool : {"gnome-keyring-daemon", "secret-tool"})
        QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(), tool);
    QVERIFY(m_dir.isValid());

    // Nothing of the real session: no home, no keyrings, and no display for a password dialog.
    m_home = m_dir.filePath(QStringLiteral("home"));
    const QString runtime = m_dir.filePath(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(m_home + QStringLiteral("/.varnel")));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("HOME", m_home.toUtf8());
    qputenv("XDG_DATA_HOME", (m_home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");

    // Fake tokens made for this run.
    const QString stamp = QString::number(QDateTime::currentMSecsSinceEpoch());
    m_fileToken = QStringLiteral("fake-file-token-") + stamp;
    m_keychainToken = QStringLiteral("fake keychain token ") + stamp + QStringLiteral(" ");
}

void TestTokenLookup::cleanupTestCase()
{
    if (m_keyring.state() != QProcess::NotRunning) {
        m_keyring.terminate();
        if (!m_keyring.waitForFinished(3000))
            m_keyring.kill();
        m_keyring.waitForFinished(3000);
    }
}

void TestTokenLookup::init()
{
    QFile::remove(credentialsPath());
    QDir(credentialsPath()).removeRecursively();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
}

QString TestTokenLookup::credentialsPath() const
{
    return m_home + QStringLiteral("/.varnel/.credentials.json");
}

void TestTokenLookup::writeCredentials(const QByteArray &content)
{
    QFile file(credentialsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

TestTokenLookup::Counted TestTokenLookup::countedSources() const
{
    Counted c;
    c.sources = TokenLookup::Sources::real(m_home);
    c.sources.tool = [tool = c.sources.tool, calls = c.toolCalls] {
        ++*calls;
        return tool();
    };
    c.sources.keychain = [keychain = c.sources.keychain, calls = c.keychainCalls] {
        ++*calls;
        return keychain();
    };
    return c;
}

bool TestTokenLookup::secretsServiceOwned()
{
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromUtf8(m_busAddress), QStringLiteral("test"));
    return bus.isConnected() &&
           bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value();
}

void TestTokenLookup::startKeyring()
{
    if (m_keyring.state() == QProcess::Running)
        return;
    // Creates and unlocks the login keyring with the password given on standard input.
    m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                    {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                     QStringLiteral("--components=secrets")});
    QVERIFY(m_keyring.waitForStarted(5000));
    m_keyring.write("test-password");
    m_keyring.closeWriteChannel();
    QTRY_VERIFY_WITH_TIMEOUT(secretsServiceOwned(), 10000);
}

void TestTokenLookup::storeItem(const QByteArray &secret)
{
    QProcess clear;
    clear.start(QStringLiteral("secret-tool"),
                {QStringLiteral("clear"), QStringLiteral("service"), TokenLookup::keychainService});
    QVERIFY(clear.waitForFinished(10000));

    QProcess store;
    store.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    store.start(QStringLiteral("secret-tool"),
                {QStringLiteral("store"), QStringLiteral("--label=x"), QStringLiteral("service"),
                 TokenLookup::keychainService});
    QVERIFY(store.waitForStarted(5000));
    store.write(secret);
    store.closeWriteChannel();
    QVERIFY(store.waitForFinished(10000));
    QCOMPARE(store.exitCode(), 0);
}

void TestTokenLookup::noSecretService_data()
{
    QTest::addColumn<QByteArray>("busAddress"); // empty: unset
    QTest::addColumn<bool>("wholeChain");

    QTest::addRow("no session bus configured") << QByteArray() << true;
    QTest::addRow("bus address of a missing socket")
        << QByteArray("unix:path=/nonexistent/varnelusage-test-bus") << true;
    // The keyring is installed as an activatable service here: it must not be started.
    QTest::addRow("bus without a Secret Service") << QByteArray("private") << false;
}

void TestTokenLookup::noSecretService()
{
    QFETCH(QByteArray, busAddress);
    QFETCH(bool, wholeChain);
    QVERIFY2(m_keyring.state() == QProcess::NotRunning, "runs before the keyring is started");
    if (busAddress.isEmpty())
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else if (busAddress != "private")
        qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress);

    QElapsedTimer timer;
    timer.start();
    QVERIFY(!TokenLookup::fromKeychain());
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(elapsedMs(timer))));
    if (wholeChain) {
        timer.restart();
        QVERIFY(!TokenLookup::run(TokenLookup::Sources::real(m_home)));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(elapsedMs(timer))));
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
    QVERIFY(!secretsServiceOwned());
}

void TestTokenLookup::hungSecretService()
{
    QVERIFY2(m_keyring.state() == QProcess::NotRunning, "runs before the keyring is started");
    // A Secret Service that never answers: its calls are delivered to this thread, which is
    // blocked in the lookup.
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromUtf8(m_busAddress), QStringLiteral("hung"));
    QObject silent;
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/secrets"), &silent,
                               QDBusConnection::ExportAllContents));
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.secrets")));

    QElapsedTimer timer;
    timer.start();
    QVERIFY(!TokenLookup::fromKeychain(std::chrono::milliseconds(1500)));
    QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(elapsedMs(timer))));
    // The whole chain: the tool is killed at its bound, the keychain gives up at its own.
    timer.restart();
    QVERIFY(!TokenLookup::run(TokenLookup::Sources::real(m_home)));
    QVERIFY2(timer.elapsed() < 2 * TokenLookup::sourceBound.count() + 1500,
             qPrintable(QString::number(elapsedMs(timer))));

    QVERIFY(bus.unregisterService(QStringLiteral("org.freedesktop.secrets")));
    bus.unregisterObject(QStringLiteral("/org/freedesktop/secrets"));
    QDBusConnection::disconnectFromBus(QStringLiteral("hung"));
}

void TestTokenLookup::toolRules_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("found");

    const QString doc = QString::fromUtf8(document(QStringLiteral("fake-tool-token")));
    QTest::addRow("document and line feed, status 0")
        << QStringLiteral("printf '%s\\n' '%1'").arg(doc) << true;
    QTest::addRow("status 1") << QStringLiteral("printf '%s' '%1'; exit 1").arg(doc) << false;
    QTest::addRow("killed by a signal")
        << QStringLiteral("printf '%s' '%1'; kill -9 $$").arg(doc) << false;
    QTest::addRow("document on standard error only")
        << QStringLiteral("printf '%s' '%1' >&2").arg(doc) << false;
    QTest::addRow("bare token") << QStringLiteral("echo fake-tool-token") << false;
    QTest::addRow("reads standard input") << QStringLiteral("cat") << false;
    QTest::addRow("never exits") << QStringLiteral("printf '%s' '%1'; exec sleep 30").arg(doc)
                                 << false;
    QTest::addRow("leaves a child holding the output")
        << QStringLiteral("printf '%s' '%1'; sleep 5 & exit 0").arg(doc) << true;
}

void TestTokenLookup::toolRules()
{
    QFETCH(QString, script);
    QFETCH(bool, found);
    QElapsedTimer timer;
    timer.start();
    const auto token = TokenLookup::fromTool(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, std::chrono::milliseconds(1500));
    QCOMPARE(token.has_value(), found);
    if (found)
        QVERIFY(*token == QStringLiteral("fake-tool-token"));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(elapsedMs(timer))));
}

void TestTokenLookup::fileHitConsultsNothingElse()
{
    startKeyring();
    storeItem(document(m_keychainToken) + "\n");
    writeCredentials(document(m_fileToken) + "\n");
    const Counted c = countedSources();
    const auto token = TokenLookup::run(c.sources);
    QVERIFY(token);
    QVERIFY(*token == m_fileToken);
    QCOMPARE(*c.toolCalls, 0);
    QCOMPARE(*c.keychainCalls, 0);
}

void TestTokenLookup::fileWithoutTokenFallsToTool_data()
{
    QTest::addColumn<QByteArray>("content"); // "<none>": no file, "<fifo>", "<dir>"

    QTest::addRow("no file") << QByteArray("<none>");
    QTest::addRow("empty token") << QByteArray(R"({"varnelAiOauth": {"accessToken": ""}})");
    QTest::addRow("session is a string") << QByteArray(R"({"varnelAiOauth": "fake-file"})");
    QTest::addRow("top-level array") << "[" + document(QStringLiteral("fake-file")) + "]";
    QTest::addRow("bare token") << QByteArray("fake-file-token\n");
    QTest::addRow("named pipe") << QByteArray("<fifo>");
    QTest::addRow("directory") << QByteArray("<dir>");
}

void TestTokenLookup::fileWithoutTokenFallsToTool()
{
    QFETCH(QByteArray, content);
    startKeyring();
    storeItem(document(m_keychainToken) + "\n");
    if (content == "<fifo>")
        QCOMPARE(mkfifo(QFile::encodeName(credentialsPath()).constData(), 0600), 0);
    else if (content == "<dir>")
        QVERIFY(QDir().mkpath(credentialsPath()));
    else if (content != "<none>")
        writeCredentials(content);

    const Counted c = countedSources();
    QElapsedTimer timer;
    timer.start();
    const auto token = TokenLookup::run(c.sources);
    QVERIFY(token);
    QVERIFY(*token == m_keychainToken);
    QCOMPARE(*c.toolCalls, 1);
    QCOMPARE(*c.keychainCalls, 0);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(elapsedMs(timer))));
}

void TestTokenLookup::keychainFindsItemStoredByTool()
{
    startKeyring();
    storeItem(document(m_keychainToken));
    const auto direct = TokenLookup::fromKeychain();
    QVERIFY(direct);
    QVERIFY(*direct == m_keychainToken);

    // Without the tool the chain reaches the keychain interface.
    Counted c = countedSources();
    c.sources.tool = [calls = c.toolCalls] {
        ++*calls;
        return TokenLookup::fromTool(QStringLiteral("/nonexistent/secret-tool"), {});
    };
    const auto token = TokenLookup::run(c.sources);
    QVERIFY(token);
    QVERIFY(*token == m_keychainToken);
    QCOMPARE(*c.toolCalls, 1);
    QCOMPARE(*c.keychainCalls, 1);
}

void TestTokenLookup::bareTokenInKeychain()
{
    startKeyring();
    storeItem(m_keychainToken.toUtf8() + "\n");
    QVERIFY(!TokenLookup::fromTool());
    QVERIFY(!TokenLookup::fromKeychain());
    const Counted c = countedSources();
    QVERIFY(!TokenLookup::run(c.sources));
    QCOMPARE(*c.toolCalls, 1);
    QCOMPARE(*c.keychainCalls, 1);
}

void TestTokenLookup::lockedKeyring()
{
    startKeyring();
    storeItem(document(m_keychainToken));
    QVERIFY(TokenLookup::fromKeychain()); // found while unlocked

    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromUtf8(m_busAddress), QStringLiteral("test"));
    const QString service = QStringLiteral("org.freedesktop.secrets");
    const QString path = QStringLiteral("/org/freedesktop/secrets");
    const QString iface = QStringLiteral("org.freedesktop.Secret.Service");
    QDBusMessage alias = QDBusMessage::createMethodCall(service, path, iface, "ReadAlias");
    alias << QStringLiteral("default");
    const QDBusReply<QDBusObjectPath> collection = bus.call(alias);
    QVERIFY2(collection.isValid(), qPrintable(collection.error().message()));
    QDBusMessage lock = QDBusMessage::createMethodCall(service, path, iface, "Lock");
    lock << QVariant::fromValue(QList<QDBusObjectPath>{collection.value()});
    const QDBusMessage locked = bus.call(lock);
    QVERIFY2(locked.type() == QDBusMessage::ReplyMessage, qPrintable(locked.errorMessage()));

    // No source asks for the password; each gives up within its bound.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!TokenLookup::fromKeychain());
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(elapsedMs(timer))));
    timer.restart();
    QVERIFY(!TokenLookup::fromTool());
    QVERIFY2(timer.elapsed() < 6000, qPrintable(QString::number(elapsedMs(timer))));
    timer.restart();
    QVERIFY(!TokenLookup::run(TokenLookup::Sources::real(m_home)));
    QVERIFY2(timer.elapsed() < 11000, qPrintable(QString::number(elapsedMs(timer))));
}

QTEST_GUILESS_MAIN(TestTokenLookup)
#include "tst_tokenlookup.moc"
