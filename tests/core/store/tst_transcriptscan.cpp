#include "datarows.h"
#include "store/changebatcher.h"
#include "store/transcriptfile.h"
#include "store/transcriptscan.h"
#include "testfile.h"
#include "transcripts/aggregates.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <future>
#include <random>
#include <set>

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

// Runs one pass the way the store does and returns the summed output tokens it holds after;
// `how` tells whether the pass listed the tree and whether it reloaded everything.
qint64 pass(TranscriptScan &scan, TreeChanges changes = {{}, {}, true}, QString *how = nullptr)
{
    auto result = TranscriptScan::run(scan.beginPass(std::move(changes)));
    if (how)
        *how =
            QString(result.listedWhole ? " listed" : "") + (result.fullReload ? " reloaded" : "");
    scan.applyRefresh(std::move(result));
    qint64 sum = 0;
    for (const UsageRecord &r : scan.entries().records())
        sum += r.outputTokens;
    return sum;
}

} // namespace

using NamedRow = std::tuple<QString, QString, QString, QString>; // change, files, dirs, after
Q_DECLARE_METATYPE(NamedRow)
// A file's path under the root, its bytes, megabytes of padding in place of "PAD", tokens held.
using FileRow = std::tuple<QString, QByteArray, int, qint64>;
Q_DECLARE_METATYPE(FileRow)

class TestTranscriptScan : public QObject
{
    Q_OBJECT

private slots:
    // A pass over what a watcher named reads only that, unless something named shows that only
    // a full reload can be trusted. Before each change: a.jsonl (1, keyed "a"), d/b.jsonl (10,
    // keyed "b"). A change is "+F:V,.." (appended), "=F:V,.." (written anew) a line per value
    // ("" a blank one), "~F:G" renamed over G; names relative to the root, "." the root. After
    // the pass: the tokens held, whether it listed the tree, whether it reloaded everything.
    void namedPass_data()
    {
        addRows<NamedRow>(
            {{"appended, from its mark", {"+a.jsonl:100", "a.jsonl", "", "111"}},
             {"what is not named is not looked at",
              {"+a.jsonl:100 =d/new.jsonl:1000", "d/b.jsonl", "", "11"}},
             {"new directory, listed whole",
              {"=n/x/y.jsonl:1000 =n/.h/z.jsonl:9000", "", "n", "1011"}},
             {"not transcripts, or outside the root",
              {"=.h/x.jsonl:1000 =d/x.json:1000 =d/.x.jsonl:1000",
               ".h/x.jsonl d/x.json d/.x.jsonl ../x.jsonl d//b.jsonl", ".h ../elsewhere", "11"}},
             {"shrunk", {"=a.jsonl:", "a.jsonl", "", "10 listed reloaded"}},
             {"replaced", {"=a.tmp:5,6 ~a.tmp:a.jsonl", "a.jsonl", "", "21 listed reloaded"}},
             {"never read, vanished", {"", "gone.jsonl", "", "11"}},
             {"the root named", {"+a.jsonl:100", "", ".", "111 listed"}}});
    }

    void namedPass()
    {
        QFETCH(NamedRow, row);
        const auto &[change, files, directories, after] = row;
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
            if (step[0] == '~')
                QCOMPARE(std::rename(qPrintable(tree.filePath(parts[0])),
                                     qPrintable(tree.filePath(parts[1]))),
                         0);
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
        QString how;
        const qint64 tokens = pass(scan, named, &how);
        QCOMPARE(QString::number(tokens) + how, after);
    }

    // Which files count, and what of one file counts; an empty one is not even recorded. A line
    // far longer than the read buffer is read whole and counted once; one so long that it is
    // passed over without being held is still stepped over exactly.
    void oneFile_data()
    {
        const QByteArray one = reply("a", 7) + "\n";
        const auto big = [](const QByteArray &type) {
            return reply("a", 1) + "\n{\"type\":\"" + type +
                   "\",\"timestamp\":\"2025-06-01T10:00:00Z\",\"pad\":\"PAD\",\"message\":{"
                   "\"usage\":{\"output_tokens\":42}}}\n" +
                   reply("b", 2) + "\n";
        };
        addRows<FileRow>(
            {{"top level", {"s.jsonl", one, 0, 7}},
             {"hidden file", {"a/.s.jsonl", one, 0, 0}},
             {"inside hidden dir", {".cache/s.jsonl", one, 0, 0}},
             {"deep inside hidden dir", {"a/.h/b/s.jsonl", one, 0, 0}},
             {"other extension", {"s.json", one, 0, 0}},
             {"extension only in the middle", {"s.jsonl.bak", one, 0, 0}},
             {"a blank line, a lone CR, a line ended by CR LF",
              {"s.jsonl", "\n\r\n" + reply("a", 4) + "\r\n" + reply("b", 8) + "\n\n", 0, 12}},
             {"empty", {"e.jsonl", "", 0, 0}},
             {"reply longer than the buffer", {"s.jsonl", big("assistant"), 3, 45}},
             {"enormous user line", {"s.jsonl", big("user"), 40, 3}},
             {"enormous reply", {"s.jsonl", big("assistant"), 40, 45}}});
    }

    void oneFile()
    {
        QFETCH(FileRow, row);
        auto [rel, bytes, megabytes, tokens] = row;
        QTemporaryDir tree;
        writeFile(tree.filePath(rel),
                  bytes.replace("PAD", QByteArray(megabytes * 1024 * 1024, 'x')));
        TranscriptScan scan(tree.path().toStdString());
        QCOMPARE(pass(scan), tokens);
        const auto mark = scan.fileOffsets().find(tree.filePath(rel).toStdString());
        QCOMPARE(mark == scan.fileOffsets().end() ? ~0ull : mark->second.offset,
                 tokens ? std::uint64_t(bytes.size()) : ~0ull);
    }

    // A FIFO named like a transcript is never opened, whether the listing meets it or a
    // transcript's path turned into one after the listing: the open would block for good.
    void fifoIsNotRead()
    {
        QTemporaryDir tree;
        writeFile(tree.filePath("p/a.jsonl"), reply("a", 1) + "\n");
        const QByteArray fifo = QFile::encodeName(tree.filePath("p/f.jsonl"));
        QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
        auto reading = std::async(std::launch::async, [&] {
            TranscriptScan scan(tree.path().toStdString());
            return std::pair(pass(scan), TranscriptFiles::read(fifo.toStdString(), 0).ok);
        });
        if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            close(open(fifo.constData(), O_WRONLY | O_NONBLOCK)); // lets the reader go
            QFAIL("reading blocked on a FIFO");
        }
        QCOMPARE(reading.get(), std::pair(qint64(1), false));
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
                                : i % 3    ? dir + ".jsonl"
                                           : QString("%1/subagents/agent-%2.jsonl").arg(dir).arg(i);
            const QByteArray key = "k" + QByteArray::number(random() % 60);
            const bool old = dir.startsWith("p3") && i % 2; // outside this week
            const qint64 tokens = old ? 100000 : i + 1;
            const char *stamp = old ? "2025-05-20T10:00:00Z" : "2025-06-01T10:00:00Z";
            writeFile(tree.filePath(rel), reply(key, tokens, stamp) + "\n");
            written[rel] << std::pair(key, tokens);
        }
        std::set<QByteArray> seen;
        QMap<QString, qint64> expected;                                // by conversation
        QMap<QString, std::pair<std::int64_t, std::int64_t>> projects; // week's, all time's
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
                projects[project].first += tokens == 100000 ? 0 : tokens;
                projects[project].second += tokens;
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
        QCOMPARE(a.perProject.size(), std::size_t(projects.size()));
        for (std::size_t i = 0; i < a.perProject.size(); ++i) {
            const ProjectUsage &p = a.perProject[i];
            QCOMPARE(std::pair(p.last7Days.tokens, p.allTime.tokens),
                     projects[QString::fromStdString(p.project)]);
            QVERIFY(i == 0 || a.perProject[i - 1].last7Days.tokens >= p.last7Days.tokens);
        }
    }

    // When the watcher's batches are handed over, and what each names. A script of steps at
    // times in milliseconds, latency 500 ms: "+X" a change to file X, "/X" to directory X, "*" to
    // the whole tree, "#" to more files than a batch names, "." an empty change; "!T" a batch
    // taken at T (what it names follows as "=X,/Y,*"), "?T" nothing due at T, "@T" the next batch
    // due at T, "@-" nothing waiting.
    void deliveryRule_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addRow("nothing waiting; the first change goes out at once")
            << "@- ?0 . ?10000 @- +10000 @-inf !10000=10000 @-";
        QTest::addRow("changes soon after are gathered")
            << "+0 !0=0 +100 ?100 +200 @500 ?499 !500=100,200 @-";
        QTest::addRow("quiet since the last batch counts, not since the last change")
            << "+0 !0=0 +499 ?499 !500=499 +900 ?900 !1000=900";
        QTest::addRow("a quiet period of the latency is enough")
            << "+0 !0=0 +500 !500=500 +9000 !9000=9000";
        QTest::addRow("a late take still hands over") << "+0 !0=0 +100 !2000=100 +2100 ?2100";
        QTest::addRow("a steady writer: one batch per latency")
            << "+0 !0=0 +100 +400 !500=100,400 +600 +900 !1000=600,900 +1100 !1500=1100";
        QTest::addRow("a name once per batch") << "+a +a /d /d !0=a,/d +a /d !500=a,/d";
        QTest::addRow("a file and a directory of one path") << "+d /d !0=d,/d";
        QTest::addRow("the whole tree takes in the rest") << "+a * +b /d !0=* +a !500=a";
        QTest::addRow("too many names") << "# !0=*";
    }

    void deliveryRule()
    {
        QFETCH(QString, script);
        constexpr std::int64_t ms = 1'000'000;
        ChangeBatcher batcher(500 * ms);
        for (const QString &step : script.split(' ')) {
            const QChar op = step.front();
            const QStringList parts = step.mid(1).split('=');
            const std::int64_t t = parts[0].toLongLong() * ms;
            TreeChanges change;
            if (op == '+')
                change.files = {parts[0].toStdString()};
            if (op == '/')
                change.directories = {parts[0].toStdString()};
            change.wholeTree = op == '*';
            for (std::size_t i = 0; op == '#' && i <= TreeChanges::maxNames; ++i)
                change.files.push_back(std::to_string(i));
            if (QString("+/*#.").contains(op)) {
                batcher.add(std::move(change));
                continue;
            }
            const auto due = batcher.dueAt();
            const auto batch = op == '@' ? std::nullopt : batcher.take(t);
            QStringList seen; // what is due, or what the batch taken names
            if (op == '@')
                seen << (!due ? "-" : *due < 0 ? "-inf" : QString::number(*due / ms));
            for (const std::string &f : batch ? batch->files : std::vector<std::string>())
                seen << QString::fromStdString(f);
            for (const std::string &d : batch ? batch->directories : std::vector<std::string>())
                seen << "/" + QString::fromStdString(d);
            if (batch && batch->wholeTree)
                seen << "*";
            QVERIFY2(batch.has_value() == (op == '!'), qPrintable(step));
            QCOMPARE(seen.join(','), op == '@' ? parts[0] : parts.value(1));
        }
    }
};

QTEST_GUILESS_MAIN(TestTranscriptScan)
#include "tst_transcriptscan.moc"
