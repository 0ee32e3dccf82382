#include "store/transcriptfile.h"
#include "store/transcriptscan.h"

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

class Tree
{
public:
    Tree() { QVERIFY(m_dir.isValid()); }
    QString root() const { return m_dir.path(); }
    QString path(const QString &rel) const { return m_dir.filePath(rel); }

    void write(const QString &rel, const QByteArray &bytes,
               QIODevice::OpenMode mode = QIODevice::WriteOnly)
    {
        QDir().mkpath(QFileInfo(path(rel)).absolutePath());
        QFile f(path(rel));
        QVERIFY(f.open(mode));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    void append(const QString &rel, const QByteArray &bytes)
    {
        write(rel, bytes, QIODevice::Append);
    }

private:
    QTemporaryDir m_dir;
};

// Runs one pass the way the store does and returns the summed output tokens it holds after.
qint64 pass(TranscriptScan &scan, bool *fullReload = nullptr)
{
    auto result = TranscriptScan::run(scan.beginPass());
    if (fullReload)
        *fullReload = result.fullReload;
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

class TestTranscriptScan : public QObject
{
    Q_OBJECT

private slots:
    void partialLastLineWaitsForItsNewline()
    {
        Tree tree;
        const QByteArray first = reply("a", 1) + "\n";
        const QByteArray second = reply("b", 2);
        tree.write("p/s.jsonl", first + second.left(20));
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), 1);
        QCOMPARE(offsetOf(scan, tree.path("p/s.jsonl")), std::uint64_t(first.size()));
        tree.append("p/s.jsonl", second.mid(20) + "\n");
        QCOMPARE(pass(scan), 3);
        QCOMPARE(scan.entries().size(), 2u);
    }

    void noNewlineAtAll()
    {
        Tree tree;
        tree.write("s.jsonl", reply("a", 1));
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), 0);
        QVERIFY(scan.fileOffsets().empty());
    }

    void lineEndings()
    {
        Tree tree;
        // blank line, a lone carriage return, and a line ended by CR LF
        tree.write("s.jsonl", "\n\r\n" + reply("a", 4) + "\r\n" + reply("b", 8) + "\n\n");
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), 12);
    }

    void truncationReloadsEverything_data()
    {
        QTest::addColumn<bool>("toZero");
        QTest::addRow("shorter") << false;
        QTest::addRow("emptied") << true;
    }

    void truncationReloadsEverything()
    {
        QFETCH(bool, toZero);
        Tree tree;
        tree.write("a.jsonl", reply("", 1) + "\n" + reply("", 2) + "\n");
        tree.write("b.jsonl", reply("", 10) + "\n");
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), 13);
        tree.write("a.jsonl", toZero ? QByteArray() : reply("", 5) + "\n");
        bool full = false;
        // Keyless records of b would be counted twice without the rebuild.
        QCOMPARE(pass(scan, &full), toZero ? 10 : 15);
        QVERIFY(full);
        QCOMPARE(offsetOf(scan, tree.path("a.jsonl")),
                 toZero ? 0u : std::uint64_t(reply("", 5).size() + 1));
        QCOMPARE(pass(scan, &full), toZero ? 10 : 15);
        QVERIFY(!full);
    }

    // A transcript replaced by another file is read from its first byte, even when the new
    // file is longer than what was read of the old one.
    void replacedFileReadFromStart()
    {
        Tree tree;
        tree.write("s.jsonl", reply("a", 1) + "\n");
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), 1);
        tree.write("new.tmp", reply("x", 100) + "\n" + reply("y", 200) + "\n");
        QVERIFY(std::rename(qPrintable(tree.path("new.tmp")), qPrintable(tree.path("s.jsonl"))) ==
                0);
        bool full = false;
        QCOMPARE(pass(scan, &full), 300);
        QVERIFY(full);
    }

    // A transcript out of sight during a full reload is read whole when it comes back: the
    // reload forgot its records, so it must not keep its old offset.
    void fullReloadForgetsOffsetsOfUnlistedFiles()
    {
        Tree tree;
        tree.write("a.jsonl", reply("a", 1) + "\n" + reply("a2", 2) + "\n");
        tree.write("b.jsonl", reply("b", 10) + "\n");
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), 13);
        QVERIFY(QFile::rename(tree.path("b.jsonl"), tree.path("b.away")));
        tree.write("a.jsonl", reply("a", 1) + "\n");
        bool full = false;
        QCOMPARE(pass(scan, &full), 1);
        QVERIFY(full);
        QVERIFY(QFile::rename(tree.path("b.away"), tree.path("b.jsonl")));
        QCOMPARE(pass(scan), 11);
    }

    void emptyFileNotOpenedNorRecorded()
    {
        Tree tree;
        tree.write("e.jsonl", {});
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), 0);
        QVERIFY(scan.fileOffsets().empty());
    }

    void whichFilesCount_data()
    {
        QTest::addColumn<QString>("rel");
        QTest::addColumn<bool>("counted");
        QTest::addRow("top level") << "s.jsonl" << true;
        QTest::addRow("three levels down") << "a/b/c/s.jsonl" << true;
        QTest::addRow("hidden file") << "a/.s.jsonl" << false;
        QTest::addRow("inside hidden dir") << ".cache/s.jsonl" << false;
        QTest::addRow("deep inside hidden dir") << "a/.h/b/s.jsonl" << false;
        QTest::addRow("upper-case extension") << "s.JSONL" << false;
        QTest::addRow("other extension") << "s.json" << false;
        QTest::addRow("extension only in the middle") << "s.jsonl.bak" << false;
    }

    void whichFilesCount()
    {
        QFETCH(QString, rel);
        QFETCH(bool, counted);
        Tree tree;
        tree.write(rel, reply("a", 7) + "\n");
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), counted ? 7 : 0);
    }

    void duplicatesAcrossFilesAndPasses()
    {
        Tree tree;
        tree.write("a.jsonl", reply("same", 5) + "\n" + reply("", 1) + "\n");
        tree.write("x/b.jsonl", reply("same", 5) + "\n" + reply("", 1) + "\n");
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), 7); // the keyed reply once, both keyless ones
        tree.append("a.jsonl", reply("same", 5) + "\n" + reply("other", 9) + "\n");
        QCOMPARE(pass(scan), 16);
        QCOMPARE(scan.entries().size(), 4u);
    }

    // A FIFO is never read: neither one the listing meets, nor one that a transcript's path
    // turned into after the listing (read directly here), which would block in open() for good.
    void fifoIsNotRead()
    {
        Tree tree;
        tree.write("p/a.jsonl", reply("a", 1) + "\n");
        const std::string fifo = tree.path("p/f.jsonl").toStdString();
        QCOMPARE(mkfifo(fifo.c_str(), 0600), 0);
        auto reading = std::async(std::launch::async, [&] {
            TranscriptScan scan(tree.root().toStdString());
            const qint64 tokens = pass(scan);
            return std::pair(tokens, TranscriptFiles::read(fifo, 0).ok);
        });
        if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK)); // lets the reader go
            QFAIL("reading blocked on a FIFO");
        }
        QCOMPARE(reading.get(), std::pair(qint64(1), false));
    }

    void missingRootIsNoError()
    {
        TranscriptScan scan(QDir::tempPath().toStdString() + "/does-not-exist-vu/projects");
        bool full = true;
        QCOMPARE(pass(scan, &full), 0);
        QVERIFY(!full);
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
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), tokens);
        QCOMPARE(offsetOf(scan, tree.path("s.jsonl")),
                 std::uint64_t(QFileInfo(tree.path("s.jsonl")).size()));
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
        const auto listing = TranscriptFiles::list(tree.root().toStdString());
        for (const TranscriptFile &f : *listing) {
            const int i = QFileInfo(QString::fromStdString(f.path)).baseName().mid(1).toInt();
            if (!first.contains(QString::number(i % 40)))
                first.insert(QString::number(i % 40), i + 1);
        }
        qint64 expected = 0;
        for (const qint64 v : first)
            expected += v;
        TranscriptScan scan(tree.root().toStdString());
        QCOMPARE(pass(scan), expected);
        QCOMPARE(scan.entries().size(), 40u);
    }
};

QTEST_GUILESS_MAIN(TestTranscriptScan)
#include "tst_transcriptscan.moc"
