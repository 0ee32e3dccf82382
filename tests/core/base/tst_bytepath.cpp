#include "base/bytepath.h"

#include <QTest>

class TestBytePath : public QObject
{
    Q_OBJECT

private slots:
    void clean_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("cleaned");
        QTest::addRow("already clean") << QByteArray("/a/b") << QByteArray("/a/b");
        QTest::addRow("dots and slashes") << QByteArray("//a/./b//c/") << QByteArray("/a/b/c");
        QTest::addRow("parent folded") << QByteArray("/a/b/../c") << QByteArray("/a/c");
        QTest::addRow("nothing above the root") << QByteArray("/../a/../..") << QByteArray("/");
        QTest::addRow("relative keeps leading parents")
            << QByteArray("../a/../../b") << QByteArray("../../b");
        QTest::addRow("empty") << QByteArray("") << QByteArray(".");
        QTest::addRow("bytes that are not UTF-8")
            << QByteArray("/p\xff/./\xfe") << QByteArray("/p\xff/\xfe");
    }

    void clean()
    {
        QFETCH(QByteArray, path);
        QTEST(QByteArray::fromStdString(BytePath::clean(path.toStdString())), "cleaned");
    }
};

QTEST_APPLESS_MAIN(TestBytePath)
#include "tst_bytepath.moc"
