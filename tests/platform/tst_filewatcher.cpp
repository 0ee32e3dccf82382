#include "filewatcher.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Something done to the files below a test's temporary directory `base`.
using Step = std::function<void(const fs::path &base)>;

// Records deliveries as they happen on the watcher's thread, and anything a delivery must not do.
class Recorder
{
public:
    std::function<void()> action()
    {
        return [this] { record(); };
    }
    int count() const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_calls.size());
    }
    Clock::time_point call(int index) const
    {
        std::lock_guard lock(m_mutex);
        return m_calls.at(static_cast<std::size_t>(index));
    }
    bool faulty() const { return m_overlapped || m_onCallerThread || m_afterRelease; }

    std::function<bool()> probe; // what a scan would see at delivery; set before start()
    std::atomic<bool> probeHeld{false};
    std::atomic<bool> released{false};
    std::chrono::milliseconds callDuration{0};

private:
    void record()
    {
        if (m_inFlight.fetch_add(1) > 0)
            m_overlapped = true;
        if (std::this_thread::get_id() == m_callerThread)
            m_onCallerThread = true;
        if (released)
            m_afterRelease = true;
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(Clock::now());
        }
        if (probe)
            probeHeld = probe();
        std::this_thread::sleep_for(callDuration);
        if (released) // still running when the release returned
            m_afterRelease = true;
        m_inFlight.fetch_sub(1);
    }

    mutable std::mutex m_mutex;
    std::vector<Clock::time_point> m_calls;
    std::atomic<int> m_inFlight{0};
    std::atomic<bool> m_overlapped{false};
    std::atomic<bool> m_onCallerThread{false};
    std::atomic<bool> m_afterRelease{false};
    const std::thread::id m_callerThread = std::this_thread::get_id();
};

void appendLine(const fs::path &file, const std::string &line)
{
    std::ofstream(file, std::ios::app) << line << '\n';
}

// A directory, created with any missing parents, holding a transcript with the line "first".
void writeFirst(const fs::path &dir)
{
    fs::create_directories(dir);
    appendLine(dir / "s.jsonl", "first");
}

bool fileHolds(const fs::path &file, const std::string &text)
{
    std::ifstream in(file);
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    return content.find(text) != std::string::npos;
}

int inotifyInstances()
{
    int count = 0;
    for (const auto &entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error).string() == "anon_inode:inotify")
            ++count;
    }
    return count;
}

// Waits until no delivery has come for `quiet`; false if deliveries did not stop within 10 s.
bool settle(const Recorder &recorder, std::chrono::milliseconds quiet)
{
    const auto deadline = Clock::now() + 10s;
    for (int seen = recorder.count(); Clock::now() < deadline; seen = recorder.count()) {
        QTest::qWait(static_cast<int>(quiet.count()));
        if (recorder.count() == seen)
            return true;
    }
    return false;
}

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// The shortest time between two deliveries so far, in seconds (infinite with fewer than two).
double shortestGap(const Recorder &recorder)
{
    double shortest = std::numeric_limits<double>::infinity();
    for (int i = 1; i < recorder.count(); ++i)
        shortest = std::min(shortest, secondsBetween(recorder.call(i - 1), recorder.call(i)));
    return shortest;
}

fs::path tempPath(const QTemporaryDir &dir)
{
    return fs::path(dir.path().toStdString());
}

} // namespace

Q_DECLARE_METATYPE(Step)

class TestFileWatcher final : public QObject
{
    Q_OBJECT

private slots:
    void reportsChangeAtOnce_data();
    void reportsChangeAtOnce();
    void coalescesBursts_data();
    void coalescesBursts();
    void keepsDeliveringThroughLongBursts();
    void coversNewDirectories_data();
    void coversNewDirectories();
    void picksUpMissingRoot_data();
    void picksUpMissingRoot();
    void startsOnceAndReportsOnlyLaterChanges();
    void releaseStopsDeliveries_data();
    void releaseStopsDeliveries();
    void failedStartIsSilent();
};

void TestFileWatcher::reportsChangeAtOnce_data()
{
    QTest::addColumn<Step>("change");
    QTest::addColumn<bool>("reported");
    const fs::path a = "projects/proj/a.jsonl";
    const fs::path c = "elsewhere/c.jsonl";
    QTest::addRow("line appended") << Step([a](auto base) { appendLine(base / a, "{}"); }) << true;
    QTest::addRow("line appended two levels down")
        << Step([](auto base) { appendLine(base / "projects/proj/sub/deeper/b.jsonl", "{}"); })
        << true;
    QTest::addRow("file created") << Step([](auto base) {
        appendLine(base / "projects/new.jsonl", "{}");
    }) << true;
    QTest::addRow("file deleted") << Step([a](auto base) { fs::remove(base / a); }) << true;
    QTest::addRow("file renamed") << Step([a](auto base) {
        fs::rename(base / a, base / "projects/b.jsonl");
    }) << true;
    QTest::addRow("file moved in")
        << Step([c](auto base) { fs::rename(base / c, base / "projects/c.jsonl"); }) << true;
    QTest::addRow("file moved out")
        << Step([a](auto base) { fs::rename(base / a, base / "elsewhere/a.jsonl"); }) << true;
    QTest::addRow("directory removed")
        << Step([](auto base) { fs::remove(base / "projects/proj/empty"); }) << true;
    QTest::addRow("file beside the root")
        << Step([c](auto base) { appendLine(base / c, "{}"); }) << false;
    QTest::addRow("file in the root's parent")
        << Step([](auto base) { appendLine(base / "beside.jsonl", "{}"); }) << false;
}

void TestFileWatcher::reportsChangeAtOnce()
{
    QFETCH(Step, change);
    QFETCH(bool, reported);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path base = tempPath(tmp);
    const fs::path proj = base / "projects" / "proj";
    fs::create_directories(proj / "sub" / "deeper");
    fs::create_directories(proj / "empty");
    fs::create_directories(base / "elsewhere");
    appendLine(proj / "a.jsonl", "{}");
    appendLine(proj / "sub" / "deeper" / "b.jsonl", "{}");
    appendLine(base / "elsewhere" / "c.jsonl", "{}");

    constexpr double latency = 1.0;
    Recorder recorder;
    FileWatcher watcher((base / "projects").string(), latency, recorder.action());
    watcher.start();

    const auto before = Clock::now();
    change(base);
    if (!reported) {
        QTest::qWait(1000);
        QCOMPARE(recorder.count(), 0);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 1, 5000);
    // Nothing was delivered before, so the change must not wait for the latency.
    const double delay = secondsBetween(before, recorder.call(0));
    QVERIFY2(delay < latency / 2, qPrintable(QString("first delivery after %1 s").arg(delay)));
    QVERIFY(!recorder.faulty());
}

void TestFileWatcher::coalescesBursts_data()
{
    QTest::addColumn<double>("latency");
    QTest::addRow("half a second") << 0.5;
    QTest::addRow("one second") << 1.0;
}

void TestFileWatcher::coalescesBursts()
{
    QFETCH(double, latency);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path file = tempPath(tmp) / "proj" / "a.jsonl";
    fs::create_directories(file.parent_path());
    appendLine(file, "{}");

    Recorder recorder;
    FileWatcher watcher(tempPath(tmp).string(), latency, recorder.action());
    watcher.start();

    auto before = Clock::now();
    appendLine(file, "first");
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 1, 5000);
    QVERIFY(secondsBetween(before, recorder.call(0)) < latency / 2);

    // Ten lines within 0.2 s of that delivery make one more, about `latency` after it.
    for (int i = 0; i < 10; ++i) {
        appendLine(file, "burst");
        std::this_thread::sleep_for(20ms);
    }
    if (secondsBetween(recorder.call(0), Clock::now()) >= 0.9 * latency)
        QSKIP("the burst outlasted the latency; the machine is too loaded to check batching");
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 2, static_cast<int>(latency * 1000) + 3000);
    const double gap = secondsBetween(recorder.call(0), recorder.call(1));
    QVERIFY2(gap >= 0.9 * latency && gap <= latency + 1.0,
             qPrintable(QString("second delivery %1 s after the first").arg(gap)));
    QTest::qWait(static_cast<int>(latency * 1000) + 400);
    QCOMPARE(recorder.count(), 2);

    // Quiet for longer than the latency since the batch: the next change goes out at once.
    before = Clock::now();
    appendLine(file, "after a pause");
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 3, 5000);
    QVERIFY(secondsBetween(before, recorder.call(2)) < latency / 2);
    QVERIFY(!recorder.faulty());
}

void TestFileWatcher::keepsDeliveringThroughLongBursts()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path file = tempPath(tmp) / "a.jsonl";
    constexpr double latency = 0.4;
    Recorder recorder;
    FileWatcher watcher(tempPath(tmp).string(), latency, recorder.action());
    watcher.start();

    // A transcript written line by line for a while: one delivery per latency, not one at the end.
    const auto until = Clock::now() + 2s;
    while (Clock::now() < until) {
        appendLine(file, "{}");
        std::this_thread::sleep_for(20ms);
    }
    const int duringBurst = recorder.count();
    QVERIFY(settle(recorder, 800ms));
    QVERIFY2(duringBurst >= 3, qPrintable(QString("%1 deliveries in 2 s").arg(duringBurst)));
    const double gap = shortestGap(recorder);
    QVERIFY2(gap >= 0.9 * latency, qPrintable(QString("deliveries %1 s apart").arg(gap)));
    QVERIFY(!recorder.faulty());
}

void TestFileWatcher::coversNewDirectories_data()
{
    QTest::addColumn<Step>("before");
    QTest::addColumn<Step>("after");
    QTest::addColumn<QString>("dir"); // below the root, where `writeFirst` put the file
    const Step nothing = [](auto) {};
    QTest::addRow("created after start")
        << nothing << Step([](auto base) { writeFirst(base / "projects/new"); }) << "new";
    QTest::addRow("mkdir -p and a file straight away")
        << nothing << Step([](auto base) { writeFirst(base / "projects/a/b/c"); }) << "a/b/c";
    QTest::addRow("filled tree moved in")
        << Step([](auto base) { writeFirst(base / "staging/x/y"); })
        << Step([](auto base) { fs::rename(base / "staging/x", base / "projects/x"); }) << "x/y";
    QTest::addRow("tree moved within the root")
        << Step([](auto base) { writeFirst(base / "projects/old/deep"); })
        << Step([](auto base) { fs::rename(base / "projects/old", base / "projects/new"); })
        << "new/deep";
}

void TestFileWatcher::coversNewDirectories()
{
    QFETCH(Step, before);
    QFETCH(Step, after);
    QFETCH(QString, dir);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path base = tempPath(tmp);
    const fs::path root = base / "projects";
    fs::create_directories(root);
    before(base);
    const fs::path path = root / dir.toStdString() / "s.jsonl";

    Recorder recorder;
    recorder.probe = [path] { return fileHolds(path, "first"); };
    FileWatcher watcher(root.string(), 0.2, recorder.action());
    watcher.start();
    after(base);

    // The last delivery comes after the file's content, however quickly it was written.
    QTRY_VERIFY_WITH_TIMEOUT(recorder.probeHeld, 5000);
    QVERIFY(settle(recorder, 600ms));
    QVERIFY(recorder.probeHeld);
    // And the new directories are watched from now on.
    const int seen = recorder.count();
    appendLine(path, "second");
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count() > seen, 5000);
    QVERIFY(!recorder.faulty());
}

void TestFileWatcher::picksUpMissingRoot_data()
{
    // The steps get the root's path; the root's file is proj/s.jsonl.
    QTest::addColumn<QString>("root"); // below the temporary directory
    QTest::addColumn<Step>("before");
    QTest::addColumn<Step>("after");
    const Step nothing = [](auto) {};
    const Step create = [](auto root) { writeFirst(root / "proj"); };
    QTest::addRow("one missing level") << "projects" << nothing << create;
    QTest::addRow("several levels by mkdir -p") << "home/.varnel/projects" << nothing << create;
    QTest::addRow("filled root moved in")
        << "projects" << Step([](auto root) { writeFirst(root.parent_path() / "staging/proj"); })
        << Step([](auto root) { fs::rename(root.parent_path() / "staging", root); });
    QTest::addRow("a file in the way at first")
        << "blocked/projects" << Step([](auto root) { appendLine(root.parent_path(), "file"); })
        << Step([](auto root) {
               fs::remove(root.parent_path());
               writeFirst(root / "proj");
           });
    QTest::addRow("root removed and created again")
        << "projects" << Step([](auto root) { fs::create_directories(root); })
        << Step([](auto root) {
               fs::remove_all(root);
               std::this_thread::sleep_for(300ms); // the watcher falls back to the parent
               writeFirst(root / "proj");
           });
}

void TestFileWatcher::picksUpMissingRoot()
{
    QFETCH(QString, root);
    QFETCH(Step, before);
    QFETCH(Step, after);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path path = tempPath(tmp) / root.toStdString();
    const fs::path file = path / "proj" / "s.jsonl";
    before(path);

    Recorder recorder;
    recorder.probe = [file] { return fileHolds(file, "first"); };
    FileWatcher watcher(path.string(), 0.2, recorder.action());
    watcher.start();
    after(path);

    // Seen within seconds, long before the fallback timer would have found it.
    QTRY_VERIFY_WITH_TIMEOUT(recorder.probeHeld, 5000);
    QVERIFY(settle(recorder, 600ms));
    const int seen = recorder.count();
    appendLine(file, "second");
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count() > seen, 5000);
    // Once the root is there, what happens beside it is no change.
    QVERIFY(settle(recorder, 400ms));
    const int settled = recorder.count();
    appendLine(path.parent_path() / "beside.jsonl", "{}");
    QTest::qWait(400);
    QCOMPARE(recorder.count(), settled);
    QVERIFY(!recorder.faulty());
}

void TestFileWatcher::startsOnceAndReportsOnlyLaterChanges()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = tempPath(tmp);
    const fs::path file = root / "proj" / "a.jsonl";
    writeFirst(root / "proj");
    const int baseline = inotifyInstances();

    Recorder recorder;
    {
        // Never started: holds nothing, delivers nothing, and goes quietly.
        FileWatcher idle(root.string(), 0.1, recorder.action());
        appendLine(file, "{}");
        QCOMPARE(inotifyInstances(), baseline);
    }
    auto watcher = std::make_unique<FileWatcher>(root.string(), 0.3, recorder.action());
    appendLine(file, "before start");
    writeFirst(root / "other" / "sub");
    fs::remove(root / "proj" / "s.jsonl");
    watcher->start();
    QCOMPARE(inotifyInstances(), baseline + 1);
    watcher->start();
    QCOMPARE(inotifyInstances(), baseline + 1);
    QTest::qWait(600);
    QCOMPARE(recorder.count(), 0);

    // A second stream would deliver this twice at once.
    appendLine(file, "after start");
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 1, 5000);
    QVERIFY(settle(recorder, 600ms));
    QVERIFY(shortestGap(recorder) >= 0.9 * 0.3);

    watcher.reset();
    QCOMPARE(inotifyInstances(), baseline);
    QVERIFY(!recorder.faulty());
}

void TestFileWatcher::releaseStopsDeliveries_data()
{
    QTest::addColumn<double>("latency");
    QTest::addColumn<int>("callMs");
    QTest::addRow("short latency") << 0.01 << 0;
    QTest::addRow("slow action") << 0.02 << 30;
    QTest::addRow("batch pending at release") << 0.5 << 0;
}

void TestFileWatcher::releaseStopsDeliveries()
{
    QFETCH(double, latency);
    QFETCH(int, callMs);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = tempPath(tmp);
    const fs::path file = root / "a.jsonl";
    const fs::path churn = root / "churn";
    const int baseline = inotifyInstances();

    // Lines and directories keep coming while watchers are released.
    std::jthread writer([&](const std::stop_token &stop) {
        for (int i = 0; !stop.stop_requested(); ++i) {
            appendLine(file, "{}");
            std::error_code error;
            if (i % 2 == 0)
                fs::create_directories(churn / "sub", error);
            else
                fs::remove_all(churn, error);
            std::this_thread::sleep_for(1ms);
        }
    });

    for (int round = 0; round < 3; ++round) {
        Recorder recorder;
        recorder.callDuration = std::chrono::milliseconds(callMs);
        auto watcher = std::make_unique<FileWatcher>(root.string(), latency, recorder.action());
        watcher->start();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 2, 5000);
        watcher.reset();
        recorder.released = true;
        const int delivered = recorder.count();
        QTest::qWait(static_cast<int>(latency * 1000) + 200);
        QCOMPARE(recorder.count(), delivered);
        QVERIFY(!recorder.faulty());
        QCOMPARE(inotifyInstances(), baseline);
    }
}

void TestFileWatcher::failedStartIsSilent()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = tempPath(tmp);
    const fs::path file = root / "a.jsonl";
    appendLine(file, "{}");
    const int baseline = inotifyInstances();

    Recorder recorder;
    FileWatcher watcher(root.string(), 0.1, recorder.action());
    // No descriptor can be opened: the start fails.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 0;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &none), 0);
    watcher.start();
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);

    QCOMPARE(inotifyInstances(), baseline);
    appendLine(file, "{}");
    QTest::qWait(400);
    QCOMPARE(recorder.count(), 0);

    // Calling start() again tries afresh.
    watcher.start();
    QCOMPARE(inotifyInstances(), baseline + 1);
    appendLine(file, "{}");
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 1, 5000);
    QVERIFY(!recorder.faulty());
}

QTEST_GUILESS_MAIN(TestFileWatcher)
#include "tst_filewatcher.moc"
