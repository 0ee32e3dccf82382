#include "store/changebatcher.h"

#include <QTest>

namespace {

constexpr std::int64_t ms = 1'000'000;

TreeChanges file(const std::string &path)
{
    return TreeChanges{{path}, {}, false};
}

} // namespace

Q_DECLARE_METATYPE(TreeChanges)

class TestChangeBatcher : public QObject
{
    Q_OBJECT

private slots:
    // A script of steps at times in milliseconds, latency 500 ms: "+T" a change to file fT at
    // T, "!T" a batch taken at T (the files it names follow as "=fA,fB"), "?T" nothing due at T,
    // "@T" the next batch due at T, "@-" nothing waiting.
    void deliveryRule_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addRow("nothing waiting") << "@- ?0 ?10000";
        QTest::addRow("first change goes out at once") << "+1000 @-inf !1000=f1000 @-";
        QTest::addRow("changes soon after are gathered")
            << "+0 !0=f0 +100 ?100 +200 @500 ?499 !500=f100,f200 @-";
        QTest::addRow("quiet since the last batch counts, not since the last change")
            << "+0 !0=f0 +499 ?499 !500=f499 +900 ?900 !1000=f900";
        QTest::addRow("a quiet period of the latency is enough") << "+0 !0=f0 +500 !500=f500";
        QTest::addRow("a long quiet period") << "+0 !0=f0 +9000 !9000=f9000";
        QTest::addRow("a late take still hands over") << "+0 !0=f0 +100 !2000=f100 +2100 ?2100";
        QTest::addRow("a steady writer: one batch per latency")
            << "+0 !0=f0 +100 +400 !500=f100,f400 +600 +900 !1000=f600,f900 +1100 !1500=f1100";
    }

    void deliveryRule()
    {
        QFETCH(QString, script);
        ChangeBatcher batcher(500 * ms);
        for (const QString &step : script.split(' ')) {
            const QChar op = step.front();
            const QStringList parts = step.mid(1).split('=');
            const std::int64_t t = parts[0].toLongLong() * ms;
            if (op == '+') {
                batcher.add(file("f" + parts[0].toStdString()));
            } else if (op == '@') {
                const auto due = batcher.dueAt();
                if (parts[0] == "-")
                    QVERIFY2(!due, qPrintable(step));
                else if (parts[0] == "-inf")
                    QVERIFY2(due && *due < 0, qPrintable(step));
                else
                    QVERIFY2(due == t, qPrintable(step));
            } else if (op == '?') {
                QVERIFY2(!batcher.take(t), qPrintable(step));
            } else {
                const auto batch = batcher.take(t);
                QVERIFY2(batch, qPrintable(step));
                QStringList named;
                for (const std::string &f : batch->files)
                    named << QString::fromStdString(f);
                QCOMPARE(named.join(','), parts.value(1));
            }
        }
    }

    void gathering_data()
    {
        QTest::addColumn<QList<TreeChanges>>("added");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("directories");
        QTest::addColumn<bool>("wholeTree");
        const TreeChanges dir{{}, {"/r/d"}, false};
        const TreeChanges whole{{}, {}, true};
        QTest::addRow("a name once per batch")
            << QList{file("/r/a"), file("/r/a"), dir, dir} << 1 << 1 << false;
        QTest::addRow("a file and a directory of one path")
            << QList{file("/r/d"), dir} << 1 << 1 << false;
        QTest::addRow("the whole tree takes in the rest")
            << QList{file("/r/a"), whole, file("/r/b"), dir} << 0 << 0 << true;
        QList<TreeChanges> many;
        for (std::size_t i = 0; i <= TreeChanges::maxNames; ++i)
            many << file("/r/" + std::to_string(i));
        QTest::addRow("too many names") << many << 0 << 0 << true;
        QTest::addRow("empty changes are no change") << QList{TreeChanges{}} << -1 << -1 << false;
    }

    void gathering()
    {
        QFETCH(QList<TreeChanges>, added);
        QFETCH(int, files);
        QFETCH(int, directories);
        QFETCH(bool, wholeTree);
        ChangeBatcher batcher(500 * ms);
        for (TreeChanges &c : added)
            batcher.add(std::move(c));
        const auto batch = batcher.take(0);
        QCOMPARE(batch.has_value(), files >= 0);
        if (!batch)
            return;
        QCOMPARE(int(batch->files.size()), files);
        QCOMPARE(int(batch->directories.size()), directories);
        QCOMPARE(batch->wholeTree, wholeTree);
    }
};

QTEST_APPLESS_MAIN(TestChangeBatcher)
#include "tst_changebatcher.moc"
