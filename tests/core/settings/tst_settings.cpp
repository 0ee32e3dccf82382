#include "alerts/notifier.h"
#include "datarows.h"
#include "fakesink.h"
#include "settings/settings.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

QSettings file()
{
    return QSettings(QStringLiteral("VarnelUsage"), QStringLiteral("VarnelUsage"));
}

constexpr int thresholdCount = 20;

// One process of the user: the same thresholds checked in the same order as its siblings, from
// the moment the start file appears. Prints how many it announced.
int notifierChild(const QString &dir)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
    Settings settings;
    const auto sink = std::make_shared<FakeSink>();
    Notifier notifier(settings, sink);
    while (!QFile::exists(dir + "/start"))
        QThread::usleep(200);
    for (int i = 0; i < thresholdCount; ++i)
        notifier.check(LimitWindow{85, Instant::fromSeconds(1000 + i)}, QStringLiteral("weekly"));
    std::printf("%d\n", int(sink->titles.size()));
    return 0;
}

} // namespace

// Stored: the warning and critical thresholds (invalid: unset), the bar's metric, the text kept
// for showToday, the announced keys. Read: both thresholds in effect, the metric shown, showToday,
// the keys.
using StoredRow = std::tuple<QVariant, QVariant, QString, QString, QVariant, double, double,
                             BarMetric, bool, QStringList>;
Q_DECLARE_METATYPE(StoredRow)

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    }

    void init() { file().clear(); }

    // Every write reaches the file at once and is announced with its key, whoever makes it.
    void writesPersistAndAnnounce()
    {
        Settings settings;
        QSignalSpy changed(&settings, &Settings::changed);
        settings.setPlanInterval(2.5);
        settings.setValue(Settings::Key::showToday, false);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.at(0).at(0).value<Settings::Key>(), Settings::Key::planInterval);
        QCOMPARE(changed.at(1).at(0).value<Settings::Key>(), Settings::Key::showToday);

        Settings reread; // a fresh object reads what the file holds
        QCOMPARE(reread.planInterval(), 2.5);
        QCOMPARE(reread.showToday(), false);

        settings.reset(Settings::Key::planInterval);
        QCOMPARE(settings.planInterval(), 5.0);
        QCOMPARE(changed.size(), 3);
    }

    // What a hand-edited file holds reads the way every reader agrees on, and reading, even every
    // value, writes nothing.
    void storedValues_data()
    {
        const QStringList two{"5-hour session:1757080800:warning", "weekly:\u2014:critical"},
            one{two[0]};
        const QVariant unset, nan(qQNaN());
        using M = BarMetric;
        addRows<StoredRow>(
            {{"unset", {unset, unset, "planWeek", "false", two, 80, 95, M::planWeek, false, two}},
             {"zero and negative",
              {0.0, -0.1, "costToday", "TRUE", one, 80, 95, M::costToday, true, one}},
             {"not a number",
              {nan, nan, "tokensToday", "yes", QStringList(), 80, 95, M::tokensToday, true, {}}},
             {"text",
              {"high", "", "PlanWeek", "0", QVariantMap{{"a", 1}}, 80, 95, M::plan5h, false, {}}},
             {"number as text", {" 85 ", "97.5", "", "2", unset, 85, 97.5, M::plan5h, true, {}}}});
    }

    void storedValues()
    {
        QFETCH(StoredRow, row);
        const auto &[warning, critical, metric, toggle, keys, effectiveWarning, effectiveCritical,
                     shown, on, read] = row;
        const QList<std::pair<const char *, QVariant>> stored{{"notifyWarning", warning},
                                                              {"notifyCritical", critical},
                                                              {"barMetric", metric},
                                                              {"showToday", toggle},
                                                              {"notifiedThresholdKeys", keys}};
        for (const auto &[key, value] : stored) {
            if (value.isValid())
                file().setValue(key, value);
        }
        const QStringList before = file().allKeys();
        Settings settings;
        for (int key = 0; key <= int(Settings::Key::notifiedThresholdKeys); ++key)
            (void)settings.value(Settings::Key(key));
        QCOMPARE(settings.effectiveWarning(), effectiveWarning);
        QCOMPARE(settings.effectiveCritical(), effectiveCritical);
        QCOMPARE(settings.barMetric(), shown);
        QCOMPARE(settings.showToday(), on);
        QCOMPARE(settings.notifiedThresholdKeys(), read);
        QCOMPARE(file().value("barMetric").toString(), metric);
        QCOMPARE(file().allKeys(), before);
    }

    // Processes of the same user that check at the same moment announce each threshold once.
    void notifierAcrossProcesses()
    {
        const QString dir = m_dir.filePath("shared");
        QVERIFY(QDir().mkpath(dir));
        std::vector<std::unique_ptr<QProcess>> children;
        for (int i = 0; i < 4; ++i) {
            children.push_back(std::make_unique<QProcess>());
            children.back()->start(QCoreApplication::applicationFilePath(),
                                   {"--notifier-child", dir});
        }
        for (const auto &child : children)
            QVERIFY(child->waitForStarted());
        QFile start(dir + "/start");
        QVERIFY(start.open(QIODevice::WriteOnly));
        int posts = 0;
        for (const auto &child : children) {
            QVERIFY(child->waitForFinished(30000));
            posts += child->readAllStandardOutput().trimmed().toInt();
        }
        QCOMPARE(posts, thresholdCount);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--notifier-child"))
        return notifierChild(args[2]);
    TestSettings test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_settings.moc"
