#include "store/changebatcher.h"

#include <QTest>

namespace {

constexpr std::int64_t ms = 1'000'000;

} // namespace

class TestChangeBatcher : public QObject
{
    Q_OBJECT

private slots:
    // A script of steps at times in milliseconds, latency 500 ms: "+X" a change to file X, "/X"
    // to directory X, "*" to the whole tree, "#" to more files than a batch names, "." an empty
    // change; "!T" a batch taken at T (what it names follows as "=X,/Y,*"), "?T" nothing due at
    // T, "@T" the next batch due at T, "@-" nothing waiting.
    void deliveryRule_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addRow("nothing waiting") << "@- ?0 . ?10000 @-";
        QTest::addRow("first change goes out at once") << "+1000 @-inf !1000=1000 @-";
        QTest::addRow("changes soon after are gathered")
            << "+0 !0=0 +100 ?100 +200 @500 ?499 !500=100,200 @-";
        QTest::addRow("quiet since the last batch counts, not since the last change")
            << "+0 !0=0 +499 ?499 !500=499 +900 ?900 !1000=900";
        QTest::addRow("a quiet period of the latency is enough") << "+0 !0=0 +500 !500=500";
        QTest::addRow("a long quiet period") << "+0 !0=0 +9000 !9000=9000";
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

QTEST_APPLESS_MAIN(TestChangeBatcher)
#include "tst_changebatcher.moc"
