#include "store/transcriptfile.h"
#include "store/transcriptscan.h"
#include "testfile.h"
#include "transcripts/aggregates.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A transcript line for one reply; `id` empty leaves the reply without a key.
QByteArray reply(const QByteArray &id, qint64 output,
                 const QByteArray &stamp = "2025-06-01T10:00:00.5Z")
{
    const QByteArray ids = id.isEmpty() ? QByteArray() : ",\"requestId\":\"" + id + "\"";
    return R"({"type":"assistant","timestamp":")" + stamp + "\"" + ids +
           R"(,"message":{"model":"varnel-corvel","usage":{"output_tokens":)" +
           QByteArray::number(output) + "}}}";
}

struct Tree : QTemporaryDir
{
    void write(const QString &rel, const QByteArray &bytes,
               QIODevice::OpenMode mode = QIODevice::WriteOnly)
    {
        writeFile(filePath(rel), bytes, mode);
    }
    void append(const QString &rel, const QByteArray &bytes)
    {
        write(rel, bytes, QIODevice::Append);
    }
};

// Runs one pass the way the store does and returns the summed output tokens it holds after.
qint64 pass(TranscriptScan &scan, bool *fullReload = nullptr,
            TreeChanges changes = TreeChanges{{}, {}, true}, bool *listedWhole = nullptr)
{
    auto result = TranscriptScan::run(scan.beginPass(std::move(changes)));
    if (fullReload)
        *fullReload = result.fullReload;
    if (listedWhole)
        *listedWhole = result.listedWhole;
    scan.applyRefresh(std::move(result));
    qint64 sum = 0;
    for (const UsageRecord &r : scan.entries().records())
        sum += r.outputTokens;
    return sum;
}

std::uint64_t offsetOf(const TranscriptScan &scan, const QString &path)
{
    const auto it = scan.fileOffsets().find(path.toStdString());
    return it == scan.fileOffsets().end() ? ~0ull : it->second.offset;
}

} // namespace

Q_DECLARE_METATYPE(std::function<void(Tree &)>)

class TestTranscriptScan : public QObject
{
    Q_OBJECT

private slots:
    // An unfinished line that keeps growing is searched for its newline only in the bytes that
    // arrived since; it is read whole once the newline has come. Here a newline is planted in
    // bytes already searched: only a search from the start would find it.
    void unfinishedLineSearchedOnce_data()
    {
        QTest::addColumn<bool>("shrink");
        QTest::addColumn<qint64>("tokens"); // after the planted newline and one more pass
        QTest::addRow("searched bytes not searched again") << false << 1LL;
        QTest::addRow("shrunk below the searched bytes: searched again") << true << 3LL;
    }

    void unfinishedLineSearchedOnce()
    {
        QFETCH(bool, shrink);
        QFETCH(qint64, tokens);
        Tree tree;
        const QByteArray second = reply("b", 2);
        tree.write("s.jsonl", reply("a", 1) + "\n" + second + QByteArray(5000, ' '));
        TranscriptScan scan(tree.path().toStdString());
        QCOMPARE(pass(scan), 1);
        tree.append("s.jsonl", QByteArray(5000, ' '));
        QCOMPARE(pass(scan), 1);
        const auto mark = scan.fileOffsets().at(tree.filePath("s.jsonl").toStdString());
        QCOMPARE(mark.scannedTo, std::uint64_t(QFileInfo(tree.filePath("s.jsonl")).size()));
        QFile f(tree.filePath("s.jsonl"));
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (shrink)
            QVERIFY(f.resize(f.size() - 10));
        QVERIFY(f.seek(mark.offset + second.size()));
        QCOMPARE(f.write("\n"), 1);
        f.close();
        QCOMPARE(pass(scan), tokens);
        tree.append("s.jsonl", "\n");
        QCOMPARE(pass(scan), 3); // the newline at the end: the line is read whole
    }

    // A pass over what a watcher named reads only that, unless something named shows that only
    // a full reload can be trusted.
    void namedPass_data()
    {
        QTest::addColumn<std::function<void(Tree &)>>("change");
        QTest::addColumn<QStringList>("files");       // named, relative to the root
        QTest::addColumn<QStringList>("directories"); // named
        QTest::addColumn<qint64>("tokens");
        QTest::addColumn<bool>("listedWhole");
        QTest::addColumn<bool>("fullReload");
        using Change = std::function<void(Tree &)>;
        // Before each change: a.jsonl (1, keyed "a"), d/b.jsonl (10, keyed "b").
        const Change appendA = [](Tree &t) { t.append("a.jsonl", reply("", 100) + "\n"); };
        QTest::addRow("appended, from its mark")
            << appendA << QStringList{"a.jsonl"} << QStringList() << 111LL << false << false;
        QTest::addRow("what is not named is not looked at") << Change([](Tree &t) {
            t.append("a.jsonl", reply("", 100) + "\n");
            t.write("d/new.jsonl", reply("", 1000) + "\n");
        }) << QStringList{"d/b.jsonl"} << QStringList() << 11LL
                                                            << false << false;
        QTest::addRow("new transcript")
            << Change([](Tree &t) { t.write("d/new.jsonl", reply("", 1000) + "\n"); })
            << QStringList{"d/new.jsonl", "d/new.jsonl"} << QStringList() << 1011LL << false
            << false;
        QTest::addRow("new directory, listed whole") << Change([](Tree &t) {
            t.write("n/x/y.jsonl", reply("", 1000) + "\n");
            t.write("n/.h/z.jsonl", reply("", 9000) + "\n");
        }) << QStringList() << QStringList{"n"} << 1011LL
                                                     << false << false;
        QTest::addRow("not transcripts, or outside the root") << Change([](Tree &t) {
            t.write(".h/x.jsonl", reply("", 1000) + "\n");
            t.write("d/x.json", reply("", 1000) + "\n");
            t.write("d/.x.jsonl", reply("", 1000) + "\n");
        }) << QStringList{".h/x.jsonl", "d/x.json", "d/.x.jsonl", "../x.jsonl", "d//b.jsonl"}
                                                              << QStringList{".h", "../elsewhere"}
                                                              << 11LL << false << false;
        QTest::addRow("shrunk") << Change([](Tree &t) { t.write("a.jsonl", "\n"); })
                                << QStringList{"a.jsonl"} << QStringList() << 10LL << true << true;
        QTest::addRow("replaced") << Change([](Tree &t) {
            t.write("a.tmp", reply("", 5) + "\n" + reply("", 6) + "\n");
            QVERIFY(QFile::remove(t.filePath("a.jsonl")));
            QVERIFY(QFile::rename(t.filePath("a.tmp"), t.filePath("a.jsonl")));
        }) << QStringList{"a.jsonl"}
                                  << QStringList() << 21LL << true << true;
        QTest::addRow("vanished") << Change([](Tree &t) {
            QVERIFY(QFile::remove(t.filePath("a.jsonl")));
        }) << QStringList{"a.jsonl"}
                                  << QStringList() << 10LL << true << true;
        QTest::addRow("never read, vanished") << Change([](Tree &) {}) << QStringList{"gone.jsonl"}
                                              << QStringList() << 11LL << false << false;
        QTest::addRow("a reply met again in a later pass")
            << Change([](Tree &t) { t.append("d/b.jsonl", reply("a", 1) + "\n"); })
            << QStringList{"d/b.jsonl"} << QStringList() << 11LL << false << false;
        QTest::addRow("the root named")
            << appendA << QStringList() << QStringList{""} << 111LL << true << false;
    }

    void namedPass()
    {
        QFETCH(std::function<void(Tree &)>, change);
        QFETCH(QStringList, files);
        QFETCH(QStringList, directories);
        QFETCH(qint64, tokens);
        QFETCH(bool, listedWhole);
        QFETCH(bool, fullReload);
        Tree tree;
        tree.write("a.jsonl", reply("a", 1) + "\n");
        tree.write("d/b.jsonl", reply("b", 10) + "\n");
        TranscriptScan scan(tree.path().toStdString());
        QCOMPARE(pass(scan), 11);
        change(tree);
        TreeChanges named;
        const std::string root = tree.path().toStdString();
        for (const QString &f : files)
            named.files.push_back(root + '/' + f.toStdString());
        for (const QString &d : directories)
            named.directories.push_back(d.isEmpty() ? root : root + '/' + d.toStdString());
        bool full = false, whole = false;
        QCOMPARE(pass(scan, &full, named, &whole), tokens);
        QCOMPARE(whole, listedWhole);
        QCOMPARE(full, fullReload);
    }

    // Which files count, and what of one file counts; an empty one is not even recorded.
    void oneFile_data()
    {
        QTest::addColumn<QString>("rel");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("tokens");
        const QByteArray one = reply("a", 7) + "\n";
        const std::tuple<const char *, const char *, QByteArray, qint64> rows[] = {
            {"top level", "s.jsonl", one, 7},
            {"three levels down", "a/b/c/s.jsonl", one, 7},
            {"hidden file", "a/.s.jsonl", one, 0},
            {"inside hidden dir", ".cache/s.jsonl", one, 0},
            {"deep inside hidden dir", "a/.h/b/s.jsonl", one, 0},
            {"upper-case extension", "s.JSONL", one, 0},
            {"other extension", "s.json", one, 0},
            {"extension only in the middle", "s.jsonl.bak", one, 0},
            // a blank line, a lone carriage return, and a line ended by CR LF
            {"line endings", "s.jsonl", "\n\r\n" + reply("a", 4) + "\r\n" + reply("b", 8) + "\n\n",
             12},
            {"empty", "e.jsonl", "", -1}};
        for (const auto &[name, rel, bytes, tokens] : rows)
            QTest::addRow("%s", name) << rel << bytes << tokens;
    }

    void oneFile()
    {
        QFETCH(QString, rel);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, tokens);
        Tree tree;
        tree.write(rel, bytes);
        TranscriptScan scan(tree.path().toStdString());
        QCOMPARE(pass(scan), std::max(tokens, 0LL));
        QCOMPARE(scan.fileOffsets().empty(), tokens <= 0);
    }

    // A FIFO is never read: neither one the listing meets, nor one that a transcript's path
    // turned into after the listing (read directly here), which would block in open() for good.
    void fifoIsNotRead()
    {
        Tree tree;
        tree.write("p/a.jsonl", reply("a", 1) + "\n");
        const std::string fifo = tree.filePath("p/f.jsonl").toStdString();
        QCOMPARE(mkfifo(fifo.c_str(), 0600), 0);
        auto reading = std::async(std::launch::async, [&] {
            TranscriptScan scan(tree.path().toStdString());
            const qint64 tokens = pass(scan);
            return std::pair(tokens, TranscriptFiles::read(fifo, 0).ok);
        });
        if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK)); // lets the reader go
            QFAIL("reading blocked on a FIFO");
        }
        QCOMPARE(reading.get(), std::pair(qint64(1), false));
    }

    // A line far longer than the read buffer is read whole and counted once; one so long that
    // it is passed over without being held is still stepped over exactly.
    void longLines_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<int>("megabytes");
        QTest::addColumn<qint64>("tokens");
        QTest::addRow("reply longer than the buffer") << QByteArray("assistant") << 3 << 45LL;
        QTest::addRow("enormous user line") << QByteArray("user") << 40 << 3LL;
        QTest::addRow("enormous reply") << QByteArray("assistant") << 40 << 45LL;
    }

    void longLines()
    {
        QFETCH(QByteArray, type);
        QFETCH(int, megabytes);
        QFETCH(qint64, tokens);
        Tree tree;
        const QByteArray big = "{\"type\":\"" + type +
                               "\",\"timestamp\":\"2025-06-01T10:00:00Z\",\"pad\":\"" +
                               QByteArray(megabytes * 1024 * 1024, 'x') +
                               "\",\"message\":{\"usage\":{\"output_tokens\":42}}}";
        tree.write("s.jsonl", reply("a", 1) + "\n" + big + "\n" + reply("b", 2) + "\n");
        TranscriptScan scan(tree.path().toStdString());
        QCOMPARE(pass(scan), tokens);
        QCOMPARE(offsetOf(scan, tree.filePath("s.jsonl")),
                 std::uint64_t(QFileInfo(tree.filePath("s.jsonl")).size()));
    }

    // Transcripts are read side by side, yet of two equal replies the one met first in the
    // listing is kept, as in a reading one by one.
    void firstInListingOrderWins()
    {
        Tree tree;
        for (int i = 0; i < 300; ++i)
            tree.write(QString("d%1/s%2.jsonl").arg(i % 7).arg(i),
                       reply("k" + QByteArray::number(i % 40), i + 1) + "\n");
        QHash<QString, qint64> first;
        const auto listing = TranscriptFiles::list(tree.path().toStdString());
        for (const TranscriptFile &f : *listing) {
            const int i = QFileInfo(QString::fromStdString(f.path)).baseName().mid(1).toInt();
            if (!first.contains(QString::number(i % 40)))
                first.insert(QString::number(i % 40), i + 1);
        }
        qint64 expected = 0;
        for (const qint64 v : first)
            expected += v;
        TranscriptScan scan(tree.path().toStdString());
        QCOMPARE(pass(scan), expected);
        QCOMPARE(scan.entries().size(), 40u);
    }

    // A reply counts for the first directory below the root that holds its transcript (a
    // subagent's for its session's), a repeated one for the transcript it was kept from; and it
    // belongs to its session's conversation. This week's cost orders them, not all time's.
    void perProject()
    {
        Tree tree;
        tree.write("-home-dev-api/s1.jsonl", reply("a", 1) + "\n" + reply("b", 2) + "\n" +
                                                 reply("f", 64, "2025-05-20T10:00:00Z") + "\n");
        tree.write("-home-dev-api/s1/subagents/agent-1.jsonl", reply("c", 4) + "\n");
        tree.write("web/s2.jsonl", reply("a", 1) + "\n" + reply("d", 8) + "\n");
        tree.write("top.jsonl", reply("e", 16) + "\n");
        TranscriptScan scan(tree.path().toStdString());
        pass(scan);
        const auto listing = TranscriptFiles::list(tree.path().toStdString());
        QVERIFY(listing);
        const bool apiFirst =
            std::ranges::find_if(*listing, [](const TranscriptFile &f) {
                return f.path.ends_with("s1.jsonl") || f.path.ends_with("s2.jsonl");
            })->path.ends_with("s1.jsonl");
        const Aggregates a = Aggregates::compute(scan.entries().records(),
                                                 Instant::fromSeconds(1'748'779'200), // 12:00Z
                                                 Calendar::current());
        QCOMPARE(a.perProject.size(), 3u);
        const std::pair<const char *, qint64> expected[] = {
            {"", 16}, {"web", apiFirst ? 8 : 9}, {"-home-dev-api", apiFirst ? 7 : 6}};
        for (std::size_t i = 0; i < 3; ++i) {
            const ProjectUsage &p = a.perProject[i];
            QCOMPARE(QString::fromStdString(p.project), QString(expected[i].first));
            QCOMPARE(p.last7Days.tokens, expected[i].second);
            QCOMPARE(p.allTime.tokens, expected[i].second + (i == 2 ? 64 : 0));
            QCOMPARE(p.today, p.last7Days);
        }
        // One conversation per session, its subagents' replies in it.
        QMap<QString, qint64> conversations;
        const UsageRecords &records = scan.entries().records();
        for (const UsageRecord &r : records)
            conversations[QString::fromStdString(
                std::string(records.projectName(r.project)) + '/' +
                std::string(records.conversationSession(r.conversation)))] += r.outputTokens;
        QCOMPARE(conversations,
                 (QMap<QString, qint64>{{"/top", 16},
                                        {"web/s2", apiFirst ? 8 : 9},
                                        {"-home-dev-api/s1", (apiFirst ? 7 : 6) + 64}}));
    }
};

QTEST_GUILESS_MAIN(TestTranscriptScan)
#include "tst_transcriptscan.moc"
