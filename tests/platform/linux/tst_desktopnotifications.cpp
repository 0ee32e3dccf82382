#include "alerts/notifier.h"
#include "datarows.h"
#include "linux/desktopnotifications.h"
#include "notificationserver.h"
#include "settings/settings.h"

#include <QtTest>

// A window's name, utilisation and reset time.
using Check = std::tuple<QString, double, std::optional<Instant>>;
// The windows checked; the notifications shown.
using NotifyRow = std::tuple<QList<Check>, QStringList>;
Q_DECLARE_METATYPE(NotifyRow)

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
    }

    void announcements_data()
    {
        const auto r1 = Instant::fromSeconds(1757080800), r2 = Instant::fromSeconds(1757098800);
        const QString five = QStringLiteral("5-hour session"), week = QStringLiteral("weekly");
        const auto said = [](const QString &window, bool critical, int percent) {
            return QStringLiteral("Varnel %1 %2|You've used %3% of your %1 limit.|%4")
                .arg(window, critical ? "limit almost reached" : "usage high",
                     QString::number(percent), critical ? "2|message-new-instant" : "1|silent:1");
        };
        // Thresholds 80 and 95 unless the row's name says otherwise.
        addRows<NotifyRow>(
            {{"79.9 stays quiet", {{{five, 79.9, r1}}, {}}},
             {"80 warns without sound", {{{five, 80, r1}}, {said(five, false, 80)}}},
             {"95 is critical, and stands for the warning of its period",
              {{{week, 95, r1}, {week, 85, r1}}, {said(week, true, 95)}}},
             {"warning, then critical, then nothing more in the period",
              {{{five, 85, r1}, {five, 96, r1}, {five, 99, r1}, {five, 85, r1}},
               {said(five, false, 85), said(five, true, 96)}}},
             {"a new reset time announces again",
              {{{five, 85, r1}, {five, 85, r2}}, {said(five, false, 85), said(five, false, 85)}}},
             {"no reset time: once per level",
              {{{week, 85, {}}, {week, 86, {}}}, {said(week, false, 85)}}},
             {"thresholds 90 and 85: the critical test comes first",
              {{{five, 87, r1}, {five, 86, r1}}, {said(five, true, 87)}}},
             {"percent rounded as printf does",
              {{{five, 84.5, r1}, {week, 85.5, r1}},
               {said(five, false, 84), said(week, false, 86)}}}});
    }

    void announcements()
    {
        QFETCH(NotifyRow, row);
        const auto &[checks, shown] = row;
        const bool swapped = QByteArray(QTest::currentDataTag()).startsWith("thresholds");
        m_settings->setNotifyWarning(swapped ? 90 : 80);
        m_settings->setNotifyCritical(swapped ? 85 : 95);
        const auto sink = std::make_shared<DesktopNotifications>();
        Notifier notifier(*m_settings, sink);
        for (const auto &[name, utilization, reset] : checks)
            notifier.check(LimitWindow{utilization, reset}, name);
        sink->post({QStringLiteral("end"), {}}); // arrives after all the notifier sent
        QTRY_COMPARE(m_server.received.size(), shown.size() + 1);
        QCOMPARE(m_server.received.mid(0, shown.size()), shown);
        QVERIFY(m_server.fixedFieldsRight);
    }

    void announcedSetBounded()
    {
        Notifier notifier(*m_settings, std::make_shared<DesktopNotifications>());
        for (int i = 0; i < 51; ++i)
            notifier.check(LimitWindow{85, Instant::fromSeconds(1000 + i)}, "weekly");
        const QStringList keys = m_settings->notifiedThresholdKeys();
        QCOMPARE(keys.size(), 50);
        QCOMPARE(keys.first(), QStringLiteral("weekly:1001:warning"));
        QTRY_COMPARE(m_server.received.size(), 51);
    }
};

QTEST_GUILESS_MAIN(TestDesktopNotifications)
#include "tst_desktopnotifications.moc"
