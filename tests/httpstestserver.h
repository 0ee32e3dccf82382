#pragma once

// A local HTTPS server for tests, with a self-signed certificate for 127.0.0.1 made at test
// time by the openssl command; trusting it stands for trusting a certificate authority.

#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>

struct TestCertificates
{
    QString caFile;              // PEM
    QSslCertificate certificate; // the server's, self-signed
    QSslKey key;

    // Empty when openssl is missing or fails; `error` then says why.
    static std::optional<TestCertificates> make(const QString &dir, QString *error)
    {
        QProcess openssl;
        openssl.setWorkingDirectory(dir);
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                       "-nodes", "-keyout", "server.key", "-out", "ca.pem", "-days", "2", "-subj",
                       "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
        if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
            openssl.exitCode() != 0) {
            *error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(openssl.readAll());
            return std::nullopt;
        }
        const auto read = [&dir](const char *name) {
            QFile f(dir + QLatin1Char('/') + QLatin1String(name));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        // A certificate or key that cannot be read fails every handshake, and so the test.
        return TestCertificates{dir + QStringLiteral("/ca.pem"), QSslCertificate(read("ca.pem")),
                                QSslKey(read("server.key"), QSsl::Ec)};
    }
};

// A whole HTTP response; `headers` are lines each ending in CR LF.
inline QByteArray httpResponse(const QByteArray &statusLine, const QByteArray &headers = {},
                               const QByteArray &body = {})
{
    return "HTTP/1.1 " + statusLine + "\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

// Records each request's header lines as they arrived and answers with what the test chose:
// one canned response per request, then silence, or an answer that never ends.
class HttpsTestServer final : public QObject
{
public:
    struct Request
    {
        QByteArray requestLine;
        QList<QByteArray> headerLines;
    };

    bool listen(const TestCertificates &certificates)
    {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setLocalCertificate(certificates.certificate);
        ssl.setPrivateKey(certificates.key);
        ssl.setPeerVerifyMode(QSslSocket::VerifyNone); // clients bring no certificate
        m_server.setSslConfiguration(ssl);
        connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, &HttpsTestServer::accept);
        return m_server.listen(QHostAddress::LocalHost);
    }

    QUrl url(const QString &path = QStringLiteral("/api/oauth/usage")) const
    {
        return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

    void reset(QList<QByteArray> responses)
    {
        m_responses = std::move(responses);
        m_requests.clear();
        m_streamHead.clear();
        m_streamChunk.clear();
    }

    // From the next request on: `head`, then `chunk` again and again until the client goes.
    void streamForever(QByteArray head, QByteArray chunk)
    {
        m_streamHead = std::move(head);
        m_streamChunk = std::move(chunk);
    }

    const QList<Request> &requests() const { return m_requests; }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                buffer->append(socket->readAll());
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                QList<QByteArray> lines = buffer->left(end).split('\n');
                buffer->clear();
                for (QByteArray &line : lines)
                    line.chop(line.endsWith('\r') ? 1 : 0);
                const QByteArray requestLine = lines.takeFirst();
                m_requests.append(Request{requestLine, lines});
                if (m_responses.isEmpty() && !m_streamChunk.isEmpty()) {
                    socket->write(m_streamHead);
                    // Paced by a timer, so a client without a bound grows slowly.
                    auto *pace = new QTimer(socket);
                    connect(pace, &QTimer::timeout, socket,
                            [this, socket] { socket->write(m_streamChunk); });
                    pace->start(1);
                    return;
                }
                if (m_responses.isEmpty())
                    return; // stay silent
                socket->write(m_responses.takeFirst());
                socket->disconnectFromHost();
            });
        }
    }

    QSslServer m_server;
    QList<QByteArray> m_responses;
    QList<Request> m_requests;
    QByteArray m_streamHead;
    QByteArray m_streamChunk;
};
