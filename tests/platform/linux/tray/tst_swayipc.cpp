#include "linux/tray/swayipc.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <atomic>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A sway socket on a thread of its own (the client blocks the test's thread) that answers the
// first connection with `reply`, a byte every `dripMs` when that is not 0, and then holds the
// connection open without a word until it is destroyed.
class FakeSway
{
public:
    FakeSway(const QString &path, QByteArray reply, int dripMs)
    {
        m_listener = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        if (bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            listen(m_listener, 1) != 0)
            return;
        m_thread = std::thread([this, reply = std::move(reply), dripMs] { serve(reply, dripMs); });
    }
    ~FakeSway()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        close(m_listener);
    }

private:
    bool waitFor(int fd, short events)
    {
        pollfd p{fd, events, 0};
        while (!m_stop) {
            if (poll(&p, 1, 10) > 0)
                return true;
        }
        return false;
    }

    void serve(const QByteArray &reply, int dripMs)
    {
        if (!waitFor(m_listener, POLLIN))
            return;
        const int client = accept(m_listener, nullptr, nullptr);
        const qsizetype step = dripMs ? 1 : reply.size();
        for (qsizetype sent = 0; sent < reply.size() && !m_stop; sent += step) {
            if (send(client, reply.constData() + sent, step, MSG_NOSIGNAL) != step)
                break;
            if (dripMs)
                std::this_thread::sleep_for(std::chrono::milliseconds(dripMs));
        }
        waitFor(client, 0);
        close(client);
    }

    int m_listener = -1;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

QByteArray message(quint32 length, const QByteArray &body)
{
    QByteArray out("i3-ipc");
    out.resize(14);
    qToLittleEndian<quint32>(length, out.data() + 6);
    qToLittleEndian<quint32>(1, out.data() + 10);
    return out + body;
}

const QByteArray workspaces =
    R"([{"focused":true,"rect":{"x":0,"y":30,"width":1280,"height":770}}])";

} // namespace

class TestSwayIpc : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // Whatever the socket does, a request ends within its deadline, and only a whole reply of
    // a sane size is taken.
    void hostileSocket_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("dripMs");
        QTest::addColumn<bool>("answered");
        QTest::addRow("prompt") << message(workspaces.size(), workspaces) << 0 << true;
        QTest::addRow("drips a byte every 20 ms")
            << message(workspaces.size(), workspaces) << 20 << false;
        QByteArray huge = workspaces;
        huge.append(5 * 1024 * 1024, ' ');
        QTest::addRow("5 MiB") << message(huge.size(), huge) << 0 << false;
        QTest::addRow("announces more than it sends")
            << message(workspaces.size() + 1, workspaces) << 0 << false;
    }

    void hostileSocket()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, dripMs);
        const QString path = m_dir.filePath(QTest::currentDataTag());
        FakeSway sway(path, reply, dripMs);
        qputenv("SWAYSOCK", QFile::encodeName(path));
        SwayIpc ipc;
        QElapsedTimer clock;
        clock.start();
        QTEST(ipc.workspaceArea().has_value(), "answered");
        QVERIFY2(clock.elapsed() < 1000, "within the request's deadline");
    }
};

QTEST_GUILESS_MAIN(TestSwayIpc)
#include "tst_swayipc.moc"
