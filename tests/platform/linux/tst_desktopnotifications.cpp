#include "alerts/notifier.h"
#include "linux/desktopnotifications.h"
#include "notificationserver.h"
#include "settings/settings.h"

#include <QTemporaryDir>
#include <QTest>

// A window's name, utilisation and reset time in seconds.
using Check = std::tuple<QString, double, std::optional<std::int64_t>>;
Q_DECLARE_METATYPE(QList<Check>)

class TestDesktopNotifications : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    NotificationServer m_server;
    std::unique_ptr<Settings> m_settings;

private slots:
    void initTestCase()
    {
        if (qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty())
            QFAIL("run under dbus-run-session: this test needs a private session bus");
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QVERIFY(m_server.start());
    }

    void init()
    {
        QSettings(QStringLiteral("VarnelUsage"), QStringLiteral("VarnelUsage")).clear();
        m_settings = std::make_unique<Settings>();
        m_server.received.clear();
        m_server.failing = false;
    }

    void announcements_data()
    {
        QTest::addColumn<double>("warning"); // stored thresholds
        QTest::addColumn<double>("critical");
        QTest::addColumn<QList<Check>>("checks");
        QTest::addColumn<QStringList>("shown");
        const std::int64_t r1 = 1757080800, r2 = r1 + 18000;
        const QString warn5 = "Varnel 5-hour session usage high|You've used %1% of your 5-hour "
                              "session limit.|1|silent:1";
        const QString crit5 = "Varnel 5-hour session limit almost reached|You've used %1% of your "
                              "5-hour session limit.|2|message-new-instant";
        const QString warnWeek = "Varnel weekly usage high|You've used %1% of your weekly "
                                 "limit.|1|silent:1";
        const QString critWeek = "Varnel weekly limit almost reached|You've used %1% of your "
                                 "weekly limit.|2|message-new-instant";
        const QString five = QStringLiteral("5-hour session"), week = QStringLiteral("weekly");
        const std::optional<std::int64_t> none;
        QTest::addRow("79.9 stays quiet")
            << 80.0 << 95.0 << QList<Check>{{five, 79.9, r1}} << QStringList();
        QTest::addRow("80 warns without sound")
            << 80.0 << 95.0 << QList<Check>{{five, 80, r1}} << QStringList{warn5.arg(80)};
        QTest::addRow("95 is critical, and stands for the warning of its period")
            << 80.0 << 95.0 << QList<Check>{{week, 95, r1}, {week, 85, r1}}
            << QStringList{critWeek.arg(95)};
        QTest::addRow("warning, then critical, then nothing more in the period")
            << 80.0 << 95.0
            << QList<Check>{{five, 85, r1}, {five, 96, r1}, {five, 99, r1}, {five, 85, r1}}
            << QStringList{warn5.arg(85), crit5.arg(96)};
        QTest::addRow("a new reset time announces again")
            << 80.0 << 95.0 << QList<Check>{{five, 85, r1}, {five, 85, r2}}
            << QStringList{warn5.arg(85), warn5.arg(85)};
        QTest::addRow("no reset time: once per level")
            << 80.0 << 95.0 << QList<Check>{{week, 85, none}, {week, 86, none}}
            << QStringList{warnWeek.arg(85)};
        QTest::addRow("thresholds 90 and 85: the critical test comes first")
            << 90.0 << 85.0 << QList<Check>{{five, 87, r1}, {five, 86, r1}}
            << QStringList{crit5.arg(87)};
        QTest::addRow("percent rounded as printf does")
            << 80.0 << 95.0 << QList<Check>{{five, 84.5, r1}, {week, 85.5, r1}}
            << QStringList{warn5.arg(84), warnWeek.arg(86)};
    }

    void announcements()
    {
        QFETCH(double, warning);
        QFETCH(double, critical);
        QFETCH(QList<Check>, checks);
        QFETCH(QStringList, shown);
        m_settings->setNotifyWarning(warning);
        m_settings->setNotifyCritical(critical);
        const auto sink = std::make_shared<DesktopNotifications>();
        Notifier notifier(*m_settings, sink);
        for (const auto &[name, utilization, reset] : checks)
            notifier.check(
                LimitWindow{utilization,
                            reset ? std::optional(Instant::fromSeconds(*reset)) : std::nullopt},
                name);
        sink->post({QStringLiteral("end"), {}}); // arrives after all the notifier sent
        QTRY_COMPARE(m_server.received.size(), shown.size() + 1);
        QCOMPARE(m_server.received.mid(0, shown.size()), shown);
        QVERIFY(m_server.fixedFieldsRight);
    }

    // The set holds the 50 most recent keys, in the settings, for any later notifier.
    void announcedSetKeptAndShared()
    {
        {
            Notifier notifier(*m_settings, std::make_shared<DesktopNotifications>());
            for (int i = 0; i < 51; ++i)
                notifier.check(LimitWindow{85, Instant::fromSeconds(1000 + i)}, "weekly");
        }
        const QStringList keys = m_settings->notifiedThresholdKeys();
        QCOMPARE(keys.size(), 50);
        QCOMPARE(keys.first(), QStringLiteral("weekly:1001:warning"));
        QCOMPARE(keys.last(), QStringLiteral("weekly:1050:warning"));
        QTRY_COMPARE(m_server.received.size(), 51);

        Settings other; // another process of the same user reads the same file
        Notifier later(other, std::make_shared<DesktopNotifications>());
        later.check(LimitWindow{85, Instant::fromSeconds(1050)}, "weekly");
        later.check(LimitWindow{99, std::nullopt}, "weekly");
        QTRY_COMPARE(m_server.received.size(), 52);
        QCOMPARE(other.notifiedThresholdKeys().mid(48),
                 QStringList({"weekly:\u2014:warning", "weekly:\u2014:critical"}));
    }
};

QTEST_GUILESS_MAIN(TestDesktopNotifications)
#include "tst_desktopnotifications.moc"
