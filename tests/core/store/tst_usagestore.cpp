#include "linux/linuxservices.h"
#include "settings/settings.h"
#include "store/usagestore.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

QByteArray keyless(qint64 output)
{
    return "{\"type\":\"assistant\",\"timestamp\":\"2026-12-06T10:00:00Z\",\"message\":{\"model\":"
           "\"varnel-corvel\",\"usage\":{\"output_tokens\":" +
           QByteArray::number(output) + "}}}\n";
}

void append(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::Append));
    QCOMPARE(f.write(bytes), bytes.size());
}

UsageStoreServices fixedClock()
{
    UsageStoreServices s;
    s.watcher = LinuxServices::usageStore().watcher;
    s.now = [] { return Instant::fromSeconds(1796558400); }; // 2026-12-06T12:00:00Z
    return s;
}

qint64 todayTokens(const UsageStore &store)
{
    return store.aggregates().today.tokens;
}

} // namespace

class TestUsageStore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
    }

    void rootDefaultsToHome()
    {
        qputenv("HOME", qPrintable(m_tmp->path()));
        UsageStore store(m_settings);
        QCOMPARE(QString::fromStdString(store.projectsRoot()), m_tmp->filePath(".varnel/projects"));
        UsageStore explicitRoot(m_settings, std::string("/some/where"));
        QCOMPARE(explicitRoot.projectsRoot(), std::string("/some/where"));
    }

    void nothingHappensBeforeStart()
    {
        append(m_tmp->filePath("p/a.jsonl"), keyless(5));
        int watchers = 0;
        UsageStoreServices services = fixedClock();
        services.watcher = [&](const std::string &, double, std::function<void(TreeChanges)>) {
            ++watchers;
            return std::unique_ptr<TreeWatcher>();
        };
        UsageStore store(m_settings, m_tmp->path().toStdString(), services);
        QTest::qWait(300);
        QVERIFY(!store.lastUpdated().isValid());
        QVERIFY(!store.isLoading());
        QCOMPARE(store.entryCount(), 0u);
        QCOMPARE(watchers, 0);
        QVERIFY(store.findChildren<QTimer *>().isEmpty());
    }

    void appendedLineReachesAggregates()
    {
        const QString file = m_tmp->filePath("p/a.jsonl");
        append(file, keyless(5));
        UsageStore store(m_settings, m_tmp->path().toStdString(), fixedClock());
        store.start();
        QTRY_COMPARE(todayTokens(store), 5);
        QVERIFY(store.lastUpdated().isValid());
        QVERIFY(!store.isLoading());
        // Well inside the 30-second fallback: only the watcher can bring this in.
        append(file, keyless(7));
        QTRY_COMPARE_WITH_TIMEOUT(todayTokens(store), 12, 5000);
        // A directory made after start is watched too, files created in it straight away included.
        append(m_tmp->filePath("p/new/deeper/b.jsonl"), keyless(100));
        QTRY_COMPARE_WITH_TIMEOUT(todayTokens(store), 112, 5000);
    }

    // Refreshes asked for while a pass runs are gathered into one more pass: records without a
    // key are never counted twice, and the last request is not lost.
    void refreshesDuringAPassCoalesce()
    {
        const QString file = m_tmp->filePath("p/a.jsonl");
        QByteArray lines;
        for (int i = 0; i < 2000; ++i)
            lines += keyless(1);
        append(file, lines);
        UsageStore store(m_settings, m_tmp->path().toStdString(), fixedClock());
        QSignalSpy applied(&store, &UsageStore::lastUpdatedChanged);
        QSignalSpy loading(&store, &UsageStore::isLoadingChanged);
        for (int i = 0; i < 5; ++i)
            store.refresh();
        QVERIFY(store.isLoading());
        append(file, keyless(1000));
        store.refresh(); // must not be lost: it asks for the line just written
        QTRY_VERIFY(!store.isLoading());
        QCOMPARE(applied.count(), 2);
        QCOMPARE(loading.count(), 2); // on once, off once
        QCOMPARE(store.entryCount(), 2001u);
        QCOMPARE(todayTokens(store), 3000);
    }

    void secondStartKeepsOneTimerAndWatcher()
    {
        int watchers = 0;
        UsageStoreServices services = fixedClock();
        services.watcher = [&, real = services.watcher](const std::string &path, double latency,
                                                        std::function<void(TreeChanges)> f) {
            ++watchers;
            return real(path, latency, std::move(f));
        };
        UsageStore store(m_settings, m_tmp->path().toStdString(), services);
        store.start();
        store.start();
        QCOMPARE(watchers, 2);
        // The fallback timer and the plan timer, each replaced.
        QCOMPARE(store.findChildren<QTimer *>().size(), 2);
        QVERIFY(store.m_watcher);
        QTRY_VERIFY(!store.isLoading());
    }

    void fallbackTimerFloorAndReplacement_data()
    {
        QTest::addColumn<double>("asked");
        QTest::addColumn<int>("periodMs");
        QTest::addRow("below floor") << 0.5 << 2000;
        QTest::addRow("negative") << -3.0 << 2000;
        QTest::addRow("thirty") << 30.0 << 30000;
    }

    void fallbackTimerFloorAndReplacement()
    {
        QFETCH(double, asked);
        QFETCH(int, periodMs);
        UsageStore store(m_settings, m_tmp->path().toStdString(), fixedClock());
        store.scheduleTimer(10);
        store.scheduleTimer(asked);
        const auto timers = store.findChildren<QTimer *>();
        QCOMPARE(timers.size(), 1);
        QCOMPARE(timers.first()->interval(), periodMs);
        QVERIFY(timers.first()->isActive());
    }

    // With no watcher at all, the fallback timer still brings changes in.
    void fallbackTimerWithoutWatcher()
    {
        const QString file = m_tmp->filePath("p/a.jsonl");
        append(file, keyless(5));
        UsageStoreServices services = fixedClock();
        services.watcher = nullptr;
        UsageStore store(m_settings, m_tmp->path().toStdString(), services);
        store.start();
        store.scheduleTimer(2); // the floor, so the test does not wait half a minute
        QTRY_COMPARE(todayTokens(store), 5);
        append(file, keyless(7));
        QTRY_COMPARE_WITH_TIMEOUT(todayTokens(store), 12, 6000);
    }

    // Destroying the store while changes pour in neither crashes nor delivers afterwards.
    void releaseWhileEventsArrive()
    {
        const QString file = m_tmp->filePath("p/a.jsonl");
        append(file, keyless(1));
        std::atomic<bool> writing{true};
        std::thread writer([&] {
            QFile f(file);
            if (!f.open(QIODevice::Append))
                return;
            while (writing) {
                f.write(keyless(1));
                f.flush();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        for (int round = 0; round < 5; ++round) {
            auto store =
                std::make_unique<UsageStore>(m_settings, m_tmp->path().toStdString(), fixedClock());
            QSignalSpy applied(store.get(), &UsageStore::lastUpdatedChanged);
            store->start();
            QTest::qWait(150 + 40 * round);
            store.reset();
            QTest::qWait(100); // queued hand-overs for the dead store must go nowhere
        }
        writing = false;
        writer.join();
    }

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    Settings m_settings;
};

QTEST_GUILESS_MAIN(TestUsageStore)
#include "tst_usagestore.moc"
