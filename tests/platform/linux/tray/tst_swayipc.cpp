#include "datarows.h"
#include "linux/tray/swayipc.h"

#include <QtTest>

#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QByteArray message(quint32 length, const QByteArray &body)
{
    QByteArray out("i3-ipc");
    out.resize(14);
    qToLittleEndian<quint32>(length, out.data() + 6);
    qToLittleEndian<quint32>(1, out.data() + 10);
    return out + body;
}

} // namespace

using SwayRow = std::tuple<QByteArray, int, QRect>;
Q_DECLARE_METATYPE(SwayRow)

class TestSwayIpc : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // The usable area is the focused workspace's, wherever it stands in the reply. Whatever the
    // socket does, a request ends within its deadline, and only a whole reply of a sane size is
    // taken.
    void workspaceArea_data()
    {
        const QByteArray two =
            R"([{"focused":false,"rect":{"x":0,"y":0,"width":800,"height":600}},
                {"focused":true,"rect":{"x":1280,"y":23,"width":1280,"height":777}}])";
        const QByteArray unfocused =
            R"([{"focused":false,"rect":{"x":0,"y":0,"width":800,"height":600}}])";
        const QByteArray huge = two + QByteArray(5 * 1024 * 1024, ' ');
        // The reply, the pause in ms after each of its bytes (0: sent at once); the area taken.
        addRows<SwayRow>(
            {{"second of two focused", {message(two.size(), two), 0, {1280, 23, 1280, 777}}},
             {"none focused", {message(unfocused.size(), unfocused), 0, {}}},
             {"not a reply", {message(6, "i3-ipc"), 0, {}}},
             {"drips a byte every 20 ms", {message(two.size(), two), 20, {}}},
             {"5 MiB", {message(huge.size(), huge), 0, {}}},
             {"announces more than it sends", {message(two.size() + 1, two), 0, {}}}});
    }

    void workspaceArea()
    {
        QFETCH(SwayRow, row);
        const auto &[reply, dripMs, area] = row;
        const QByteArray path = QFile::encodeName(m_dir.filePath(QTest::currentDataTag()));
        sockaddr_un address{AF_UNIX, {}};
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(listen(listener, 1) == 0);
        // On a thread of its own, since the client blocks this one.
        std::jthread sway([&] {
            const int client = accept(listener, nullptr, nullptr);
            const qsizetype step = dripMs ? 1 : reply.size();
            for (qsizetype sent = 0; sent < reply.size(); sent += step) {
                if (send(client, reply.constData() + sent, step, MSG_NOSIGNAL) != step)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(dripMs));
            }
            char request[64];
            while (recv(client, request, sizeof request, 0) > 0) {
            }
            close(client);
            close(listener);
        });
        qputenv("SWAYSOCK", path);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(SwayIpc().workspaceArea().value_or(QRect()), area);
        QVERIFY2(clock.elapsed() < 1000, "within the request's deadline");
    }
};

QTEST_GUILESS_MAIN(TestSwayIpc)
#include "tst_swayipc.moc"
