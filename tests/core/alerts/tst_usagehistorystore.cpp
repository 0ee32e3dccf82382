#include "alerts/usagehistorystore.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const Instant t0 = Instant::fromSeconds(1796558400); // 2026-12-06T12:00:00Z

Instant at(double seconds)
{
    return Instant{t0.micros + std::int64_t(seconds * 1e6)};
}

} // namespace

class TestUsageHistoryStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", m_dir.filePath("data/deeper").toUtf8());
    }

    void appending_data()
    {
        QTest::addColumn<QList<double>>("history"); // sample times, seconds after t0
        QTest::addColumn<double>("now");
        QTest::addColumn<QList<double>>("expected");
        QTest::addRow("empty history") << QList<double>{} << 0.0 << QList<double>{0};
        QTest::addRow("119 s after the last") << QList<double>{0} << 119.0 << QList<double>{0};
        QTest::addRow("120 s after the last") << QList<double>{0} << 120.0 << QList<double>{0, 120};
        QTest::addRow("last sample in the future")
            << QList<double>{500} << 300.0 << QList<double>{500};
        // Seven days exactly is kept; a second more goes, but only when a sample is appended.
        QTest::addRow("pruned at more than seven days")
            << QList<double>{-604801, -604800, -200} << 0.0 << QList<double>{-604800, -200, 0};
        QTest::addRow("nothing pruned without an append")
            << QList<double>{-700000, -100} << 0.0 << QList<double>{-700000, -100};
    }

    void appending()
    {
        QFETCH(QList<double>, history);
        QFETCH(double, now);
        UsageHistory samples;
        for (double t : history)
            samples.push_back({at(t), 1, 2});
        const UsageHistory next = UsageHistoryStore::appending(
            PlanUsage{LimitWindow{42.5, {}}, {}, {}, {}}, samples, at(now));
        QList<double> times;
        for (const UsageSample &s : next)
            times << s.t.secondsSince(t0);
        QTEST(times, "expected");
        if (next.size() > samples.size()) {
            QCOMPARE(next.back().five, std::optional(42.5));
            QCOMPARE(next.back().seven, std::optional<double>());
        }
    }

    void encoding()
    {
        const UsageHistory history{{Instant{t0.micros + 250'000}, 42.5, std::nullopt},
                                   {at(120), std::nullopt, 13}};
        QCOMPARE(UsageHistoryStore::encode(history),
                 QByteArray(R"([{"five":42.5,"t":"2026-12-06T12:00:00Z"},)"
                            R"({"seven":13,"t":"2026-12-06T12:02:00Z"}])"));
    }

    void loading_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("samples"); // -1: spoilt, the whole history is dropped
        QTest::addRow("samples") << QByteArray(R"([{"t":"2026-12-06T12:00:00Z","five":1},)"
                                               R"({"t":"2026-12-06T12:02:00Z"}])")
                                 << 2;
        QTest::addRow("sample without t") << QByteArray(R"([{"five":1}])") << -1;
        QTest::addRow("one bad sample of two")
            << QByteArray(
                   R"([{"t":"2026-12-06T12:00:00Z"},{"t":"2026-12-06T12:02:00Z","seven":"9"}])")
            << -1;
        // A clock that was once wrong must not stop the history until that date comes.
        QTest::addRow("more than an hour ahead dropped")
            << QByteArray(R"([{"t":"2026-12-06T11:00:00Z"},{"t":"2026-12-06T14:00:01Z"}])") << 1;
        QTest::addRow("an hour ahead kept") << QByteArray(R"([{"t":"2026-12-06T14:00:00Z"}])") << 1;
    }

    // Through the file, read at t0 + one hour.
    void loading()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, samples);
        QFile out(UsageHistoryStore::filePath());
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
        out.close();
        const UsageHistory history = UsageHistoryStore::load(at(3600));
        QCOMPARE(int(history.size()), std::max(samples, 0));
    }

    // A save replaces a link in the file's place, leaving its target alone; one that cannot be
    // written whole (here the process may write no more than 16 bytes to a file) leaves the
    // previous file as it was.
    void saveKeepsWhatIsThere()
    {
        const QString path = UsageHistoryStore::filePath();
        QFile other(m_dir.filePath("elsewhere"));
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("mine") == 4);
        other.close();
        QFile::remove(path);
        QVERIFY(QFile::link(other.fileName(), path));
        const UsageHistory old{{t0, 1, 2}};
        UsageHistoryStore::save(old);
        QVERIFY(!QFileInfo(path).isSymLink());
        QVERIFY(other.open(QIODevice::ReadOnly) && other.readAll() == "mine");
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16, 16};
            setrlimit(RLIMIT_FSIZE, &limit);
            UsageHistoryStore::save({{t0, 1, 2}, {at(120), 3, 4}, {at(240), 5, 6}});
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(UsageHistoryStore::load(t0), old);
    }
};

QTEST_GUILESS_MAIN(TestUsageHistoryStore)
#include "tst_usagehistorystore.moc"
