#include "settings/launchatlogin.h"
#include "settings/loginitem.h"

#include <QTest>

namespace {

// A login item in memory that can be told to refuse every change.
class FakeLoginItem final : public LoginItem
{
public:
    bool registered = false;
    bool failing = false;
    int changes = 0;

    bool isRegistered() const override { return registered; }
    std::optional<QString> setRegistered(bool on) override
    {
        ++changes;
        if (failing)
            return QStringLiteral("Permission denied");
        registered = on;
        return std::nullopt;
    }
};

} // namespace

class TestLaunchAtLogin : public QObject
{
    Q_OBJECT

private slots:
    void set_data()
    {
        QTest::addColumn<bool>("registered");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("failing");
        QTest::addColumn<int>("changes");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("log");

        QTest::addRow("register") << false << true << false << 1 << true << QString();
        QTest::addRow("unregister") << true << false << false << 1 << false << QString();
        QTest::addRow("already on") << true << true << true << 0 << true << QString();
        QTest::addRow("already off") << false << false << true << 0 << false << QString();
        QTest::addRow("register refused")
            << false << true << true << 1 << false
            << QStringLiteral("LaunchAtLogin: failed to set true: Permission denied");
        QTest::addRow("unregister refused")
            << true << false << true << 1 << true
            << QStringLiteral("LaunchAtLogin: failed to set false: Permission denied");
    }

    void set()
    {
        QFETCH(bool, registered);
        QFETCH(bool, enabled);
        QFETCH(bool, failing);
        QFETCH(int, changes);
        QFETCH(bool, result);
        QFETCH(QString, log);

        FakeLoginItem item;
        item.registered = registered;
        item.failing = failing;
        QStringList lines;
        QCOMPARE(LaunchAtLogin::set(item, enabled, [&](const QString &l) { lines << l; }), result);
        QCOMPARE(item.changes, changes);
        QCOMPARE(lines, log.isEmpty() ? QStringList() : QStringList{log});
    }
};

QTEST_GUILESS_MAIN(TestLaunchAtLogin)
#include "tst_launchatlogin.moc"
