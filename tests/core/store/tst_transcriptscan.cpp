#include "store/transcriptfile.h"
#include "store/transcriptscan.h"
#include "testfile.h"
#include "transcripts/aggregates.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <random>
#include <set>

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

class TestTranscriptScan : public QObject
{
    Q_OBJECT

private slots:
    // A pass over what a watcher named reads only that, unless something named shows that only
    // a full reload can be trusted. Before each change: a.jsonl (1, keyed "a"), d/b.jsonl (10,
    // keyed "b"). A change is "+F:V,.." (appended), "=F:V,.." (written anew) a line per value
    // ("" a blank one), "-F" removed, "~F:G" renamed; names relative to the root, "." the root.
    void namedPass_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("directories");
        QTest::addColumn<qint64>("tokens");
        QTest::addColumn<bool>("listedWhole");
        QTest::addColumn<bool>("fullReload");
        const std::tuple<const char *, const char *, const char *, const char *, qint64, bool, bool>
            rows[] = {
                {"appended, from its mark", "+a.jsonl:100", "a.jsonl", "", 111, false, false},
                {"what is not named is not looked at", "+a.jsonl:100 =d/new.jsonl:1000",
                 "d/b.jsonl", "", 11, false, false},
                {"new transcript", "=d/new.jsonl:1000", "d/new.jsonl d/new.jsonl", "", 1011, false,
                 false},
                {"new directory, listed whole", "=n/x/y.jsonl:1000 =n/.h/z.jsonl:9000", "", "n",
                 1011, false, false},
                {"not transcripts, or outside the root",
                 "=.h/x.jsonl:1000 =d/x.json:1000 =d/.x.jsonl:1000",
                 ".h/x.jsonl d/x.json d/.x.jsonl ../x.jsonl d//b.jsonl", ".h ../elsewhere", 11,
                 false, false},
                {"shrunk", "=a.jsonl:", "a.jsonl", "", 10, true, true},
                {"replaced", "=a.tmp:5,6 -a.jsonl ~a.tmp:a.jsonl", "a.jsonl", "", 21, true, true},
                {"never read, vanished", "", "gone.jsonl", "", 11, false, false},
                {"the root named", "+a.jsonl:100", "", ".", 111, true, false}};
        for (const auto &[name, change, files, directories, tokens, whole, full] : rows)
            QTest::addRow("%s", name) << change << files << directories << tokens << whole << full;
    }

    void namedPass()
    {
        QFETCH(QString, change);
        QFETCH(QString, files);
        QFETCH(QString, directories);
        QTemporaryDir tree;
        writeFile(tree.filePath("a.jsonl"), reply("a", 1) + "\n");
        writeFile(tree.filePath("d/b.jsonl"), reply("b", 10) + "\n");
        TranscriptScan scan(tree.path().toStdString());
        QCOMPARE(pass(scan), 11);
        for (const QString &step : change.split(' ', Qt::SkipEmptyParts)) {
            const QStringList parts = step.mid(1).split(':');
            QByteArray bytes;
            for (const QString &v : parts.value(1).split(','))
                bytes += (v.isEmpty() ? "" : reply("", v.toLongLong())) + "\n";
            if (step[0] == '-')
                QVERIFY(QFile::remove(tree.filePath(parts[0])));
            else if (step[0] == '~')
                QVERIFY(QFile::rename(tree.filePath(parts[0]), tree.filePath(parts[1])));
            else
                writeFile(tree.filePath(parts[0]), bytes,
                          step[0] == '+' ? QIODevice::Append : QIODevice::WriteOnly);
        }
        TreeChanges named;
        const std::string root = tree.path().toStdString();
        for (const QString &f : files.split(' ', Qt::SkipEmptyParts))
            named.files.push_back(root + '/' + f.toStdString());
        for (const QString &d : directories.split(' ', Qt::SkipEmptyParts))
            named.directories.push_back(d == "." ? root : root + '/' + d.toStdString());
        bool full = false, whole = false;
        QTEST(pass(scan, &full, named, &whole), "tokens");
        QTEST(whole, "listedWhole");
        QTEST(full, "fullReload");
    }

    // Which files count, and what of one file counts; an empty one is not even recorded. A line
    // far longer than the read buffer is read whole and counted once; one so long that it is
    // passed over without being held is still stepped over exactly.
    void oneFile_data()
    {
        QTest::addColumn<QString>("rel");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("megabytes"); // of padding in place of "PAD"
        QTest::addColumn<qint64>("tokens");
        const QByteArray one = reply("a", 7) + "\n";
        const auto big = [](const QByteArray &type) {
            return reply("a", 1) + "\n{\"type\":\"" + type +
                   "\",\"timestamp\":\"2025-06-01T10:00:00Z\",\"pad\":\"PAD\",\"message\":{"
                   "\"usage\":{\"output_tokens\":42}}}\n" +
                   reply("b", 2) + "\n";
        };
        const std::tuple<const char *, const char *, QByteArray, int, qint64> rows[] = {
            {"top level", "s.jsonl", one, 0, 7},
            {"three levels down", "a/b/c/s.jsonl", one, 0, 7},
            {"hidden file", "a/.s.jsonl", one, 0, 0},
            {"inside hidden dir", ".cache/s.jsonl", one, 0, 0},
            {"deep inside hidden dir", "a/.h/b/s.jsonl", one, 0, 0},
            {"upper-case extension", "s.JSONL", one, 0, 0},
            {"other extension", "s.json", one, 0, 0},
            {"extension only in the middle", "s.jsonl.bak", one, 0, 0},
            // a blank line, a lone carriage return, and a line ended by CR LF
            {"line endings", "s.jsonl", "\n\r\n" + reply("a", 4) + "\r\n" + reply("b", 8) + "\n\n",
             0, 12},
            {"empty", "e.jsonl", "", 0, 0},
            {"reply longer than the buffer", "s.jsonl", big("assistant"), 3, 45},
            {"enormous user line", "s.jsonl", big("user"), 40, 3},
            {"enormous reply", "s.jsonl", big("assistant"), 40, 45}};
        for (const auto &[name, rel, bytes, megabytes, tokens] : rows)
            QTest::addRow("%s", name) << rel << bytes << megabytes << tokens;
    }

    void oneFile()
    {
        QFETCH(QString, rel);
        QFETCH(QByteArray, bytes);
        QFETCH(int, megabytes);
        QFETCH(qint64, tokens);
        QTemporaryDir tree;
        writeFile(tree.filePath(rel),
                  bytes.replace("PAD", QByteArray(megabytes * 1024 * 1024, 'x')));
        TranscriptScan scan(tree.path().toStdString());
        QCOMPARE(pass(scan), tokens);
        QCOMPARE(offsetOf(scan, tree.filePath(rel)), tokens ? std::uint64_t(bytes.size()) : ~0ull);
    }

    // Transcripts are read side by side, yet of two equal replies the one met first in the
    // listing is kept, as in a reading one by one. A reply counts for the first directory below
    // the root that holds its transcript (a subagent's for its session's), in its session's
    // conversation; this week's figures order the projects, not all time's.
    void firstInListingOrderWins()
    {
        QTemporaryDir tree;
        std::mt19937 random(7);
        QHash<QString, QList<std::pair<QByteArray, qint64>>> written; // keys and tokens by file
        for (int i = 0; i < 300; ++i) {
            const QString dir = QString("p%1/s%2").arg(random() % 4).arg(random() % 20);
            const QString rel = i % 9 == 0 ? QString("t%1.jsonl").arg(i % 5)
                                : i % 3 == 0
                                    ? dir + "/subagents/agent-" + QString::number(i) + ".jsonl"
                                    : dir + ".jsonl";
            const QByteArray key = "k" + QByteArray::number(random() % 60);
            const bool old = dir.startsWith("p3") && i % 2; // outside this week
            const qint64 tokens = old ? 100000 : i + 1;
            writeFile(tree.filePath(rel),
                      reply(key, tokens, old ? "2025-05-20T10:00:00Z" : "2025-06-01T10:00:00Z") +
                          "\n");
            written[rel] << std::pair(key, tokens);
        }
        std::set<QByteArray> seen;
        QMap<QString, qint64> expected, week; // by conversation; by project
        const auto listing = TranscriptFiles::list(tree.path().toStdString());
        QVERIFY(listing);
        for (const TranscriptFile &f : *listing) {
            const QString rel = QDir(tree.path()).relativeFilePath(QString::fromStdString(f.path));
            const QStringList parts = rel.split('/');
            const QString project = parts.size() > 1 ? parts[0] : QString();
            const QString session = parts.size() > 2 ? parts[1] : QFileInfo(rel).baseName();
            for (const auto &[key, tokens] : written[rel]) {
                if (!seen.insert(key).second)
                    continue;
                expected[project + '/' + session] += tokens;
                week[project] += tokens == 100000 ? 0 : tokens;
            }
        }
        TranscriptScan scan(tree.path().toStdString());
        pass(scan);
        QMap<QString, qint64> conversations;
        const UsageRecords &records = scan.entries().records();
        for (const UsageRecord &r : records)
            conversations[QString::fromStdString(
                std::string(records.projectName(r.project)) + '/' +
                std::string(records.conversationSession(r.conversation)))] += r.outputTokens;
        QCOMPARE(conversations, expected);
        const Aggregates a = Aggregates::compute(records, Instant::fromSeconds(1'748'779'200),
                                                 Calendar::current()); // 2025-06-01T12:00Z
        QCOMPARE(a.perProject.size(), std::size_t(week.size()));
        for (std::size_t i = 0; i < a.perProject.size(); ++i) {
            QCOMPARE(a.perProject[i].last7Days.tokens,
                     week[QString::fromStdString(a.perProject[i].project)]);
            QVERIFY(i == 0 ||
                    a.perProject[i - 1].last7Days.tokens >= a.perProject[i].last7Days.tokens);
        }
    }
};

QTEST_GUILESS_MAIN(TestTranscriptScan)
#include "tst_transcriptscan.moc"
