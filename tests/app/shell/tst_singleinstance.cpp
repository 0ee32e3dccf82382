#include "shell/singleinstance.h"

#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    // A second start finds the lock held, and its request reaches the first one; a lock file
    // whose process is gone, and its socket, do not block the first. With nobody listening, the
    // request gives up within its bound instead of hanging.
    void secondStartAsksTheFirst_data()
    {
        QTest::addColumn<bool>("staleLock");
        QTest::addRow("fresh") << false;
        QTest::addRow("over a stale lock and socket") << true;
    }

    void secondStartAsksTheFirst()
    {
        QFETCH(bool, staleLock);
        QTemporaryDir dir;
        SingleInstance first(dir.path());
        if (staleLock) {
            QFile lock(first.lockPath());
            QVERIFY(lock.open(QIODevice::WriteOnly));
            // QLockFile's own format: pid, application name, host name.
            lock.write("2147483646\nvarnelusage\n" + QSysInfo::machineHostName().toUtf8() + "\n");
            QFile socket(first.socketPath());
            QVERIFY(socket.open(QIODevice::WriteOnly));
        }
        QVERIFY(!first.notifyRunning(200));
        QVERIFY(first.acquire());
        QSignalSpy shown(&first, &SingleInstance::showRequested);
        SingleInstance second(dir.path());
        QVERIFY(!second.acquire());
        QVERIFY(second.notifyRunning());
        QTRY_COMPARE(shown.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
