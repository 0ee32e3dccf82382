#include "linux/linuxservices.h"
#include "settings/settings.h"
#include "store/usagestore.h"
#include "transcripts/usagerecords.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <random>
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

// A watcher the test drives: `deliver` hands a batch over as the real one would.
struct DrivenWatcher final : TreeWatcher
{
    explicit DrivenWatcher(const bool &sees) : sees(sees) {}
    void start() override {}
    bool seesEveryChange() const override { return sees; }
    const bool &sees;
};

UsageStoreServices driven(std::function<void(TreeChanges)> &deliver, const bool &sees)
{
    UsageStoreServices s = fixedClock();
    s.watcher = [&](const std::string &, double, std::function<void(TreeChanges)> f) {
        deliver = std::move(f);
        return std::make_unique<DrivenWatcher>(sees);
    };
    return s;
}

qint64 todayTokens(const UsageStore &store)
{
    return store.aggregates().today.tokens;
}

// A reply of one of the days up to the fixed clock's, of one of three models. A keyed reply is
// the same line wherever it appears, as a reply written twice is; there are few keys, so repeats
// across files and passes occur.
QByteArray reply(std::mt19937 &random, bool keyed)
{
    QByteArray key;
    std::mt19937 own(random());
    if (keyed) {
        const unsigned k = random() % 40;
        own.seed(k);
        key = ",\"requestId\":\"r" + QByteArray::number(k) + "\",\"message\":{\"id\":\"m\",";
    }
    const char *models[] = {"varnel-corvel", "varnel-magnar", "other"};
    return "{\"type\":\"assistant\",\"timestamp\":\"2026-12-0" + QByteArray::number(1 + own() % 6) +
           "T2" + QByteArray::number(own() % 4) + ":00:00Z\"" + key +
           (keyed ? "" : ",\"message\":{") + "\"model\":\"" + models[own() % 3] +
           "\",\"usage\":{\"input_tokens\":" + QByteArray::number(own() % 5000) +
           ",\"output_tokens\":" + QByteArray::number(own() % 900) + "}}}\n";
}

// Today's, the seven days' and the models' figures: counts exact, costs within rounding.
bool sameFigures(const Aggregates &a, const Aggregates &b)
{
    const auto same = [](const UsageBucket &x, const UsageBucket &y) {
        return x.tokens == y.tokens && x.count == y.count &&
               std::abs(x.cost - y.cost) <= 1e-9 * std::max(1.0, std::abs(y.cost));
    };
    if (!same(a.today, b.today) || a.last7Days.size() != b.last7Days.size() ||
        a.perModel.size() != b.perModel.size())
        return false;
    for (std::size_t i = 0; i < a.last7Days.size(); ++i) {
        if (a.last7Days[i].date != b.last7Days[i].date ||
            !same(a.last7Days[i].bucket, b.last7Days[i].bucket))
            return false;
    }
    for (std::size_t i = 0; i < a.perModel.size(); ++i) {
        if (a.perModel[i].model != b.perModel[i].model ||
            !same(a.perModel[i].bucket, b.perModel[i].bucket))
            return false;
    }
    return true;
}

QString describe(const Aggregates &a)
{
    QStringList parts;
    for (const DayUsage &d : a.last7Days)
        parts << QString::number(d.bucket.tokens) + "/" + QString::number(d.bucket.count);
    for (const ModelUsage &m : a.perModel)
        parts << QString::fromStdString(m.model) + ":" + QString::number(m.bucket.tokens) + "/" +
                     QString::number(m.bucket.count) + "/" +
                     QString::number(m.bucket.cost, 'g', 17);
    return parts.join(' ');
}

// A first scan of the tree as it stands, as of `now`.
Aggregates freshScan(const QString &root, Instant now)
{
    TranscriptScan scan(root.toStdString());
    scan.applyRefresh(TranscriptScan::run(scan.beginPass()));
    return Aggregates::compute(scan.entries().records(), now, Calendar::current());
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

    void liveFiguresEqualAFreshScan_data()
    {
        QTest::addColumn<unsigned>("seed");
        for (unsigned seed : {1u, 2u})
            QTest::addRow("seed %u", seed) << seed;
    }

    // Random appends, new transcripts and directories, renames, truncations, deletions and
    // unfinished lines under the real watcher: once each step has been taken in, the live
    // figures are those of a first scan of the tree. Too quick for the fallback timer to help.
    void liveFiguresEqualAFreshScan()
    {
        QFETCH(unsigned, seed);
        namespace fs = std::filesystem;
        std::mt19937 random(seed);
        const fs::path root = m_tmp->path().toStdString();
        std::vector<fs::path> files;
        const auto anyFile = [&] { return files[random() % files.size()]; };
        const auto write = [&](const fs::path &file, const QByteArray &bytes) {
            append(QString::fromStdString(file.string()), bytes);
            if (std::ranges::find(files, file) == files.end())
                files.push_back(file);
        };
        const auto replies = [&](int n) {
            QByteArray bytes;
            for (int i = 0; i < n; ++i)
                bytes += reply(random, random() % 2);
            return bytes;
        };
        write(root / "p0/a.jsonl", replies(5));
        UsageStore store(m_settings, m_tmp->path().toStdString(), fixedClock());
        store.start();
        for (int step = 0; step < 30; ++step) {
            const fs::path file = anyFile();
            std::error_code error;
            QByteArray partial;
            switch (random() % 8) {
            case 0: // a line arriving in two writes
                partial = replies(1);
                write(file, partial.left(partial.size() / 2));
                QTest::qWait(int(random() % 700));
                write(file, partial.mid(partial.size() / 2));
                break;
            case 1:
                write(root / ("p" + std::to_string(random() % 3)) /
                          ("n" + std::to_string(step) + ".jsonl"),
                      replies(3));
                break;
            case 2:
                write(root / ("d" + std::to_string(step)) / "deep" / "s.jsonl", replies(2));
                break;
            case 3: {
                const fs::path to = root / ("r" + std::to_string(step) + ".jsonl");
                fs::rename(file, to, error);
                std::ranges::replace(files, file, to);
                break;
            }
            case 4:
                fs::resize_file(file, fs::file_size(file) / 2, error);
                break;
            case 5:
                if (files.size() > 1) {
                    fs::remove(file, error);
                    std::erase(files, file);
                }
                break;
            default:
                write(file, replies(1 + int(random() % 3)));
            }
            const Instant now = fixedClock().now();
            QTRY_VERIFY2_WITH_TIMEOUT(
                !store.isLoading() &&
                    sameFigures(store.aggregates(), freshScan(m_tmp->path(), now)),
                qPrintable(QString("step %1: %2 against %3")
                               .arg(step)
                               .arg(describe(store.aggregates()),
                                    describe(freshScan(m_tmp->path(), now)))),
                5000);
        }
    }

    // What the watcher hands over is all a pass looks at; when it may have missed something,
    // the whole tree is read again.
    void passesFollowWhatTheWatcherNamed()
    {
        const QString a = m_tmp->filePath("p/a.jsonl"), b = m_tmp->filePath("q/b.jsonl");
        append(a, keyless(1));
        append(b, keyless(10));
        std::function<void(TreeChanges)> deliver;
        const bool sees = true;
        UsageStore store(m_settings, m_tmp->path().toStdString(), driven(deliver, sees));
        store.start();
        QTRY_COMPARE(todayTokens(store), 11);
        append(a, keyless(100));
        append(b, keyless(1000));
        deliver(TreeChanges{{a.toStdString()}, {}, false});
        QTRY_COMPARE(todayTokens(store), 111);
        QTest::qWait(100);
        QCOMPARE(todayTokens(store), 111);  // b was not named
        deliver(TreeChanges{{}, {}, true}); // the queue overflowed
        QTRY_COMPARE(todayTokens(store), 1111);
        QVERIFY(QFile::remove(b)); // a vanished transcript's figures go with it
        deliver(TreeChanges{{b.toStdString()}, {}, false});
        QTRY_COMPARE(todayTokens(store), 101);
    }

    void listingsWidenWhileNothingIsMissed_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("seconds"); // to the next listing, after each step
        // q: a listing finding nothing; u, D: one finding an append, a removal nobody reported;
        // r: an append, n: a new directory, d: a removal, each reported, then a listing; w: the
        // watcher asks for the whole tree; b: a listing while the watcher cannot see everything.
        QTest::addRow("quiet, up to five minutes") << "qqqqq" << QList{60, 120, 240, 300, 300};
        QTest::addRow("unreported append, removal") << "quqD" << QList{60, 30, 60, 30};
        QTest::addRow("reported changes") << "rnd" << QList{60, 120, 240};
        QTest::addRow("whole tree asked") << "qqw" << QList{60, 120, 60};
        QTest::addRow("watcher partly blind") << "qbq" << QList{60, 30, 30};
    }

    // The fallback listing comes less often while the watcher proves it misses nothing, and
    // every 30 seconds again as soon as a listing finds what it missed.
    void listingsWidenWhileNothingIsMissed()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, seconds);
        const QString a = m_tmp->filePath("p/a.jsonl"), b = m_tmp->filePath("p/b.jsonl");
        append(a, keyless(1));
        append(b, keyless(10));
        std::function<void(TreeChanges)> deliver;
        bool sees = true;
        UsageStore store(m_settings, m_tmp->path().toStdString(), driven(deliver, sees));
        QSignalSpy passes(&store, &UsageStore::lastUpdatedChanged);
        const auto pass = [&](const std::function<void()> &act) {
            const qsizetype before = passes.count();
            act();
            QTRY_COMPARE(passes.count(), before + 1);
        };
        pass([&] { store.start(); });
        QCOMPARE(store.m_timer->interval(), 30000); // everything was new to the first listing
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const auto listing = [&] { store.refresh(); };
            const auto reported = [&](TreeChanges changes) {
                pass([&] { deliver(std::move(changes)); });
            };
            switch (steps[i].toLatin1()) {
            case 'u':
                append(a, keyless(1));
                break;
            case 'r':
                append(a, keyless(1));
                reported({{a.toStdString()}, {}, false});
                break;
            case 'n':
                append(m_tmp->filePath("p/n/c.jsonl"), keyless(1));
                reported({{}, {m_tmp->filePath("p/n").toStdString()}, false});
                break;
            case 'D':
                QVERIFY(QFile::remove(b));
                break;
            case 'b':
                sees = false;
                break;
            }
            if (steps[i] == 'd') {
                QVERIFY(QFile::remove(b)); // a named transcript gone: that pass lists the tree
                reported({{b.toStdString()}, {}, false});
            } else if (steps[i] == 'w') {
                pass([&] { deliver({{}, {}, true}); });
            } else {
                pass(listing);
            }
            QCOMPARE(store.m_timer->interval(), seconds[i] * 1000);
            QVERIFY(store.m_timer->isActive());
        }
    }

    // Today and the seven days move with the local day, even when nothing new was read.
    void figuresFollowTheLocalDay()
    {
        append(m_tmp->filePath("p/a.jsonl"), keyless(5)); // 2026-12-06T10:00Z
        std::atomic<std::int64_t> seconds = 1796601599;   // 2026-12-06T23:59:59Z
        UsageStoreServices services = fixedClock();
        services.now = [&] { return Instant::fromSeconds(seconds); };
        UsageStore store(m_settings, m_tmp->path().toStdString(), services);
        store.start();
        QTRY_COMPARE(todayTokens(store), 5);
        seconds = 1796601601; // past midnight
        store.refresh();
        QTRY_COMPARE(store.aggregates().last7Days.back().date, Instant::fromSeconds(1796601600));
        QCOMPARE(todayTokens(store), 0);
        QCOMPARE(store.aggregates().last7Days.at(5).bucket.tokens, 5);
        qputenv("TZ", "Pacific/Kiritimati"); // UTC+14: 10:00Z on the 6th is the 7th there
        store.refresh();
        QTRY_COMPARE(todayTokens(store), 5);
        qputenv("TZ", "UTC");
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

    // With no watcher at all, the fallback timer still brings changes in.
    void fallbackTimerWithoutWatcher()
    {
        const QString file = m_tmp->filePath("p/a.jsonl");
        append(file, keyless(5));
        UsageStoreServices services = fixedClock();
        services.watcher = nullptr;
        UsageStore store(m_settings, m_tmp->path().toStdString(), services);
        store.m_listings = ListingSchedule(2, 2); // the floor, so the test does not wait long
        store.start();
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
