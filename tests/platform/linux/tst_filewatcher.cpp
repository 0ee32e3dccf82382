#include "datarows.h"
#include "linux/filewatcher.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Something done to the files of a test; gets the temporary directory or the watched root.
using Step = std::function<void(const fs::path &)>;

// The watcher's action, passed by std::ref: records each delivery and flags one that overlaps
// another, runs on the test's thread, or still runs once the watcher's release has returned.
struct Recorder
{
    void operator()(TreeChanges changes)
    {
        fault = fault || inFlight++ > 0 || std::this_thread::get_id() == testThread || released;
        {
            std::lock_guard lock(mutex);
            ++deliveries;
            seen.merge(std::move(changes));
        }
        if (probe)
            probeHeld = probe();
        std::this_thread::sleep_for(callDuration);
        fault = fault || released;
        --inFlight;
    }
    int count()
    {
        std::lock_guard lock(mutex);
        return deliveries;
    }
    // What the deliveries so far named, as "file path", "dir path" or "whole tree".
    QStringList named(const fs::path &base)
    {
        std::lock_guard lock(mutex);
        QStringList names;
        for (const auto &[kind, paths] :
             {std::pair("file ", &seen.files), {"dir ", &seen.directories}})
            for (const std::string &p : *paths)
                names << kind + QString::fromStdString(fs::relative(p, base).string());
        if (seen.wholeTree)
            names << "whole tree";
        names.removeDuplicates();
        return names;
    }

    std::mutex mutex;
    int deliveries = 0;
    TreeChanges seen;
    std::function<bool()> probe; // what a scan would see at delivery; set before start()
    std::chrono::milliseconds callDuration{0};
    std::atomic<bool> probeHeld{false}, released{false}, fault{false};
    std::atomic<int> inFlight{0};
    const std::thread::id testThread = std::this_thread::get_id();
};

void appendLine(const fs::path &file, const std::string &line)
{
    std::ofstream(file, std::ios::app) << line << '\n';
}

void writeFirst(const fs::path &dir)
{
    fs::create_directories(dir);
    appendLine(dir / "s.jsonl", "first");
}

// Whether every directory of the tree can be listed; false for a tree that is not there.
bool listable(const fs::path &root)
{
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;)
        it.increment(error);
    return !error;
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
bool settle(Recorder &recorder, std::chrono::milliseconds quiet)
{
    const auto deadline = Clock::now() + 10s;
    for (int seen = recorder.count(); Clock::now() < deadline; seen = recorder.count()) {
        QTest::qWait(static_cast<int>(quiet.count()));
        if (recorder.count() == seen)
            return true;
    }
    return false;
}

} // namespace

using ChangeRow = std::pair<Step, QStringList>;
Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(ChangeRow)

class TestFileWatcher final : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> m_tmp;
    fs::path m_base; // a fresh temporary directory for each test

private slots:
    void init()
    {
        m_tmp.emplace();
        QVERIFY(m_tmp->isValid());
        m_base = m_tmp->path().toStdString();
    }

    void reportsChangeAtOnce_data()
    {
        // What the change names, relative to the root; the file is two levels down.
        const fs::path root = "projects", file = "projects/proj/sub/s.jsonl";
        const QStringList theFile{"file proj/sub/s.jsonl"};
        addRows<ChangeRow>(
            {{"line appended", {[file](auto base) { appendLine(base / file, "{}"); }, theFile}},
             {"file deleted", {[file](auto base) { fs::remove(base / file); }, theFile}},
             {"file moved out",
              {[file](auto base) { fs::rename(base / file, base / "s.jsonl"); }, theFile}},
             {"hidden file", {[root](auto base) { appendLine(base / root / ".x", ""); }, {}}},
             {"directory made",
              {[root](auto base) { fs::create_directory(base / root / "n"); }, {"dir n"}}},
             {"directory removed",
              {[root](auto base) { fs::remove_all(base / root / "proj/sub"); }, {"whole tree"}}}});
    }

    // Nothing from before the start is reported; a watcher holds its inotify instance only from
    // its first start on, and one that never started goes quietly.
    void reportsChangeAtOnce()
    {
        QFETCH(ChangeRow, row);
        auto [change, named] = row;
        const int baseline = inotifyInstances();
        FileWatcher(m_base.string(), 0.1, [](TreeChanges) {});
        fs::create_directory(m_base / "projects");
        Recorder recorder;
        FileWatcher watcher((m_base / "projects").string(), 0.05, std::ref(recorder));
        writeFirst(m_base / "projects/proj/sub");
        QCOMPARE(inotifyInstances(), baseline);
        watcher.start();
        watcher.start();
        QCOMPARE(inotifyInstances(), baseline + 1);
        QVERIFY(watcher.seesEveryChange());
        change(m_base);
        if (named.isEmpty()) { // a change reported after it shows that it was passed over
            appendLine(m_base / "projects/proj/sub/s.jsonl", "{}");
            named << "file proj/sub/s.jsonl";
        }
        QTRY_COMPARE_WITH_TIMEOUT(recorder.named(m_base / "projects"), named, 5000);
        QVERIFY(!recorder.fault);
    }

    void coversWhatAppearsLater_data()
    {
        // The steps get the watched root; `dir` below it gets the transcript s.jsonl.
        QTest::addColumn<QString>("dir");
        QTest::addColumn<Step>("before"); // before start()
        QTest::addColumn<Step>("after");
        const Step nothing = [](auto) {};
        const Step makeRoot = [](auto root) { fs::create_directories(root); };
        const Step writeProj = [](auto root) { writeFirst(root / "proj"); };
        QTest::addRow("mkdir -p below the root and a file at once")
            << "a/b/c" << makeRoot << Step([](auto root) { writeFirst(root / "a/b/c"); });
        QTest::addRow("filled tree moved in") << "x/y" << Step([](auto root) {
            fs::create_directories(root);
            writeFirst(root.parent_path() / "staging/x/y");
        }) << Step([](auto root) { fs::rename(root.parent_path() / "staging/x", root / "x"); });
        QTest::addRow("missing root created")
            << "proj" << Step([](auto root) { fs::create_directories(root.parent_path()); })
            << writeProj;
        QTest::addRow("missing root made by mkdir -p of several levels")
            << "proj" << nothing << writeProj;
        QTest::addRow("missing root moved in filled")
            << "proj" << Step([](auto root) { writeFirst(root.parent_path() / "staging/proj"); })
            << Step([](auto root) { fs::rename(root.parent_path() / "staging", root); });
        QTest::addRow("root removed and created again")
            << "proj" << makeRoot << Step([](auto root) {
                   fs::remove_all(root);
                   writeFirst(root / "proj");
               });
        // No watch while it cannot be read; its permission change asks for the whole tree. The
        // test command runs this row unprivileged, since permissions do not stop the superuser.
        if (geteuid() != 0)
            QTest::addRow("unreadable directory made readable") << "proj" << Step([](auto root) {
                writeFirst(root / "proj");
                fs::permissions(root / "proj", fs::perms::none);
            }) << Step([](auto root) { fs::permissions(root / "proj", fs::perms::owner_all); });
    }

    void coversWhatAppearsLater()
    {
        QFETCH(QString, dir);
        QFETCH(Step, before);
        QFETCH(Step, after);
        const fs::path root = m_base / "home/.varnel/projects";
        const fs::path file = root / dir.toStdString() / "s.jsonl";
        before(root);
        Recorder recorder;
        recorder.probe = [file] {
            std::string line;
            return std::getline(std::ifstream(file), line) && line == "first";
        };
        FileWatcher watcher(root.string(), 0.05, std::ref(recorder));
        watcher.start();
        QCOMPARE(watcher.seesEveryChange(), listable(root));
        after(root);

        // The last delivery comes after the file's content, however quickly it was written.
        QTRY_VERIFY_WITH_TIMEOUT(recorder.probeHeld, 5000);
        QVERIFY(settle(recorder, 150ms));
        QVERIFY(recorder.probeHeld);
        // The new directories are watched from now on; what happens beside the root is no change.
        {
            std::lock_guard lock(recorder.mutex);
            recorder.seen = {};
        }
        appendLine(root.parent_path() / "beside.jsonl", "{}");
        appendLine(file, "second"); // reported after anything the line beside would cause
        QTRY_COMPARE_WITH_TIMEOUT(recorder.named(root), QStringList{"file " + dir + "/s.jsonl"},
                                  5000);
        QVERIFY(watcher.seesEveryChange());
        QVERIFY(!recorder.fault);
    }

    void releaseStopsDeliveries_data()
    {
        QTest::addColumn<double>("latency");
        QTest::addColumn<int>("callMs");
        QTest::addRow("slow action") << 0.02 << 30;
        QTest::addRow("batch pending at release") << 0.2 << 0;
    }

    void releaseStopsDeliveries()
    {
        QFETCH(double, latency);
        QFETCH(int, callMs);
        const int baseline = inotifyInstances();
        std::jthread writer([this](const std::stop_token &stop) {
            while (!stop.stop_requested()) {
                appendLine(m_base / "a.jsonl", "{}");
                std::error_code error;
                fs::create_directories(m_base / "churn/sub", error);
                fs::remove_all(m_base / "churn", error);
                std::this_thread::sleep_for(1ms);
            }
        });

        for (int round = 0; round < 3; ++round) {
            Recorder recorder;
            recorder.callDuration = std::chrono::milliseconds(callMs);
            std::optional<FileWatcher> watcher(std::in_place, m_base.string(), latency,
                                               std::ref(recorder));
            watcher->start();
            QTRY_VERIFY_WITH_TIMEOUT(recorder.count() >= 2, 5000);
            watcher.reset();
            recorder.released = true;
            const int delivered = recorder.count();
            QTest::qWait(static_cast<int>(latency * 1000) + 200);
            QCOMPARE(recorder.count(), delivered);
            QVERIFY(!recorder.fault);
            QCOMPARE(inotifyInstances(), baseline);
        }
    }
};

QTEST_GUILESS_MAIN(TestFileWatcher)
#include "tst_filewatcher.moc"
