#include "linux/linuxservices.h"
#include "settings/settings.h"
#include "store/usagestore.h"
#include "testfile.h"
#include "transcripts/usagerecords.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <random>

namespace {

QByteArray keyless(qint64 output)
{
    return "{\"type\":\"assistant\",\"timestamp\":\"2026-12-06T10:00:00Z\",\"message\":{\"model\":"
           "\"varnel-corvel\",\"usage\":{\"output_tokens\":" +
           QByteArray::number(output) + "}}}\n";
}

UsageStoreServices fixedClock()
{
    UsageStoreServices s;
    s.watcher = LinuxServices::usageStore().watcher;
    s.now = [] { return Instant::fromSeconds(1796558400); }; // 2026-12-06T12:00:00Z
    return s;
}

// A watcher the test drives: `deliver` hands a batch over as the real one would. `alive` counts
// the watchers not yet destroyed.
struct DrivenWatcher final : TreeWatcher
{
    DrivenWatcher() { ++alive; }
    ~DrivenWatcher() override { --alive; }
    void start() override {}
    bool seesEveryChange() const override { return sees; }
    static inline bool sees = true;
    static inline int alive = 0;
};

UsageStoreServices driven(std::function<void(TreeChanges)> &deliver)
{
    UsageStoreServices s = fixedClock();
    s.watcher = [&](const std::string &, double, std::function<void(TreeChanges)> f) {
        deliver = std::move(f);
        return std::make_unique<DrivenWatcher>();
    };
    return s;
}

// A reply of one of the days up to the fixed clock's, of one of three models. A keyed reply is
// the same line wherever it appears in its project; few keys make repeats across files and
// passes. Keys differ between projects: a first scan keeps the first of two equal replies in
// listing order, a live store the one read first, and that decides the project.
QByteArray reply(std::mt19937 &random, bool keyed, const QString &project)
{
    QByteArray key;
    std::mt19937 own(random());
    if (keyed) {
        const unsigned k = random() % 40;
        own.seed(k);
        key = ",\"requestId\":\"" + project.toUtf8() + QByteArray::number(k) +
              "\",\"message\":{\"id\":\"m\",";
    }
    const char *models[] = {"varnel-corvel", "varnel-magnar", "other"};
    return "{\"type\":\"assistant\",\"timestamp\":\"2026-12-0" + QByteArray::number(1 + own() % 6) +
           "T2" + QByteArray::number(own() % 4) + ":00:00Z\"" + key +
           (keyed ? "" : ",\"message\":{") + "\"model\":\"" + models[own() % 3] +
           "\",\"usage\":{\"input_tokens\":" + QByteArray::number(own() % 5000) +
           ",\"output_tokens\":" + QByteArray::number(own() % 900) + "}}}\n";
}

// Today's, the seven days', the models' and the projects' figures as text: counts exact, costs to
// 12 digits.
QString figures(const Aggregates &a)
{
    QStringList parts;
    const auto add = [&](const std::string &name, const UsageBucket &b) {
        parts << QString::fromStdString(name) +
                     QString(":%1/%2/%3").arg(b.tokens).arg(b.count).arg(b.cost, 0, 'g', 12);
    };
    add("today", a.today);
    for (const DayUsage &d : a.last7Days)
        add(std::to_string(d.date.seconds()), d.bucket);
    for (const ModelUsage &m : a.perModel)
        add(m.model, m.bucket);
    for (const ProjectUsage &p : a.perProject) {
        add(p.project + "/today", p.today);
        add(p.project + "/week", p.last7Days);
        add(p.project + "/all", p.allTime);
    }
    return parts.join(' ');
}

QString freshScan(const QString &root)
{
    TranscriptScan scan(root.toStdString());
    scan.applyRefresh(TranscriptScan::run(scan.beginPass()));
    return figures(
        Aggregates::compute(scan.entries().records(), fixedClock().now(), Calendar::current()));
}

} // namespace

class TestUsageStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp; // emptied before each test, removed at the end
    Settings m_settings;
    std::function<void(TreeChanges)> m_deliver;

    std::string root() const { return m_tmp.path().toStdString(); }

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        QVERIFY(QDir(m_tmp.path()).removeRecursively() && QDir().mkpath(m_tmp.path()));
        DrivenWatcher::sees = true;
    }

    // Random appends, new transcripts and directories, renames, truncations, deletions and
    // unfinished lines under the real watcher: once each step has been taken in, the live
    // figures are those of a first scan of the tree. Too quick for the fallback timer to help.
    void liveFiguresEqualAFreshScan()
    {
        std::mt19937 random(1);
        QStringList files; // relative to the root, the first directory being the project
        const auto replies = [&](const QString &file, int n) {
            QByteArray bytes;
            for (int i = 0; i < n; ++i)
                bytes += reply(random, random() % 2, file.section('/', 0, 0));
            return bytes;
        };
        const auto write = [&](const QString &file, const QByteArray &bytes) {
            writeFile(m_tmp.filePath(file), bytes);
            if (!files.contains(file))
                files << file;
        };
        write("p0/a.jsonl", replies("p0", 5));
        UsageStore store(m_settings, root(), fixedClock());
        QSignalSpy passes(&store, &UsageStore::lastUpdatedChanged);
        store.start();
        for (int step = 0; step < 60; ++step) {
            const QString file = files[random() % files.size()], path = m_tmp.filePath(file);
            const QString n = QString::number(step);
            switch (random() % 7) {
            case 0: { // a line arriving in two writes, a pass between them
                const QByteArray line = replies(file, 1);
                const qsizetype before = passes.count();
                write(file, line.left(line.size() / 2));
                QTRY_VERIFY(passes.count() > before && !store.isLoading());
                write(file, line.mid(line.size() / 2));
                break;
            }
            case 1: { // a new transcript, in a new directory or not
                const QString to = random() % 2 ? "d" + n + "/deep/s.jsonl"
                                                : QString("p%1/n%2.jsonl").arg(random() % 3).arg(n);
                write(to, replies(to, 3));
                break;
            }
            case 2: { // within its project
                const QString to = QFileInfo(file).path() + "/r" + n + ".jsonl";
                QVERIFY(QFile::rename(path, m_tmp.filePath(to)));
                files.replace(files.indexOf(file), to);
                break;
            }
            case 3:
                QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
                break;
            case 4:
                if (files.size() > 1 && QFile::remove(path))
                    files.removeOne(file);
                break;
            default:
                write(file, replies(file, 1 + int(random() % 3)));
            }
            QTRY_COMPARE_WITH_TIMEOUT(store.isLoading() ? QString() : figures(store.aggregates()),
                                      freshScan(m_tmp.path()), 5000);
        }
    }

    void listingsWidenWhileNothingIsMissed_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("seconds"); // to the next listing, after each step
        // q: a listing finding nothing; u, D: one finding an append, a removal nobody reported;
        // r: a removal reported by its directory, then a listing; w: the watcher asks for the whole
        // tree; b: a listing while the watcher cannot see everything.
        QTest::addRow("quiet, up to five minutes") << "qqqqq" << QList{60, 120, 240, 300, 300};
        QTest::addRow("unreported append, removal") << "quqD" << QList{60, 30, 60, 30};
        QTest::addRow("reported removal") << "qr" << QList{60, 120};
        QTest::addRow("whole tree asked") << "qqw" << QList{60, 120, 60};
        QTest::addRow("watcher partly blind") << "qbq" << QList{60, 30, 30};
    }

    // The fallback listing comes less often while the watcher proves it misses nothing, and
    // every 30 seconds again as soon as a listing finds what it missed.
    void listingsWidenWhileNothingIsMissed()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, seconds);
        const QString a = m_tmp.filePath("p/a.jsonl"), b = m_tmp.filePath("p/b.jsonl");
        writeFile(a, keyless(1));
        writeFile(b, keyless(10));
        UsageStore store(m_settings, root(), driven(m_deliver));
        QSignalSpy passes(&store, &UsageStore::lastUpdatedChanged);
        const auto pass = [&](const std::function<void()> &act) {
            const qsizetype before = passes.count();
            act();
            QTRY_COMPARE(passes.count(), before + 1);
        };
        pass([&] { store.start(); });
        QCOMPARE(store.m_timer->interval(), 30000); // everything was new to the first listing
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const char step = steps[i].toLatin1();
            if (step == 'u')
                writeFile(a, keyless(1));
            if (step == 'D' || step == 'r')
                QVERIFY(QFile::remove(b));
            DrivenWatcher::sees = DrivenWatcher::sees && step != 'b';
            const std::string p = m_tmp.filePath("p").toStdString();
            if (step == 'r' || step == 'w')
                pass([&] { m_deliver(TreeChanges{{}, {p}, step == 'w'}); });
            if (step != 'w')
                pass([&] { store.refresh(); });
            QCOMPARE(store.m_timer->interval(), seconds[i] * 1000);
            QVERIFY(store.m_timer->isActive());
        }
    }

    // Without a watcher the fallback timer alone keeps the figures current; today and the seven
    // days move with the local day, even when nothing new was read.
    void fallbackTimerFollowsTheLocalDay()
    {
        const QString file = m_tmp.filePath("p/a.jsonl");
        writeFile(file, keyless(5));                    // 2026-12-06T10:00Z
        std::atomic<std::int64_t> seconds = 1796601599; // 2026-12-06T23:59:59Z
        UsageStoreServices services = fixedClock();
        services.now = [&] { return Instant::fromSeconds(seconds); };
        services.watcher = nullptr;
        UsageStore store(m_settings, root(), services);
        const auto timerFires = [&] {
            QVERIFY(store.m_timer->isActive());
            store.m_timer->start(0); // its time has come
        };
        store.start();
        QTRY_COMPARE(store.aggregates().today.tokens, 5);
        writeFile(file, keyless(7));
        timerFires();
        QTRY_COMPARE(store.aggregates().today.tokens, 12);
        seconds = 1796601601; // past midnight
        timerFires();
        QTRY_COMPARE(store.aggregates().last7Days.back().date, Instant::fromSeconds(1796601600));
        QCOMPARE(store.aggregates().today.tokens, 0);
        QCOMPARE(store.aggregates().last7Days.at(5).bucket.tokens, 12);
        qputenv("TZ", "Pacific/Kiritimati"); // UTC+14: 10:00Z on the 6th is the 7th there
        timerFires();
        QTRY_COMPARE(store.aggregates().today.tokens, 12);
        qputenv("TZ", "UTC");
    }

    // Refreshes asked for while a pass runs are gathered into one more pass: records without a
    // key are never counted twice, and the last request is not lost.
    void refreshesDuringAPassCoalesce()
    {
        const QString file = m_tmp.filePath("p/a.jsonl");
        writeFile(file, keyless(1).repeated(2000));
        UsageStore store(m_settings, root(), fixedClock());
        QSignalSpy applied(&store, &UsageStore::lastUpdatedChanged);
        for (int i = 0; i < 5; ++i)
            store.refresh();
        QVERIFY(store.isLoading());
        writeFile(file, keyless(1000));
        store.refresh(); // must not be lost: it asks for the line just written
        QTRY_VERIFY(!store.isLoading());
        QCOMPARE(applied.count(), 2);
        QCOMPARE(store.aggregates().today.tokens, 3000);
    }

    // Nothing runs before start(); a second start replaces the watcher and the timers. Released
    // with a pass running: the watcher goes with the store, and the pass reaches nothing
    // afterwards, not even the next store in its place.
    void releaseWhileEventsArrive()
    {
        const QString file = m_tmp.filePath("p/a.jsonl");
        writeFile(file, keyless(1).repeated(20000));
        std::optional<UsageStore> store;
        for (int round = 0; round < 20; ++round) {
            store.emplace(m_settings, root(), driven(m_deliver));
            QCoreApplication::processEvents();
            QVERIFY(!store->isLoading() && !store->lastUpdated().isValid());
            QVERIFY(store->findChildren<QTimer *>().isEmpty() && DrivenWatcher::alive == 0);
            store->start(); // a pass over the file runs
            store->start();
            QCOMPARE(DrivenWatcher::alive, 1);
            QCOMPARE(store->findChildren<QTimer *>().size(), 2); // the fallback and the plan timer
            store.reset();
            QCOMPARE(DrivenWatcher::alive, 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestUsageStore)
#include "tst_usagestore.moc"
