#include "plan/tokenlookup.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

// A keychain that answers with a credentials document once released, or gives up when stopped.
class SlowKeychain final : public KeychainSource
{
public:
    std::optional<QByteArray> secret(const QString &, std::chrono::milliseconds,
                                     std::stop_token stop) override
    {
        thread = QThread::currentThread();
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait(lock, stop, [this] { return m_released; }))
            return std::nullopt;
        return QByteArray(R"({"varnelAiOauth": {"accessToken": "fake-slow-token"}})");
    }
    void release()
    {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    std::atomic<QThread *> thread{nullptr};

private:
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    bool m_released = false;
};

} // namespace

class TestTokenLookup : public QObject
{
    Q_OBJECT

private slots:
    // The caller's thread goes on while a source takes its time, and the outcome comes back to
    // that thread, once.
    void outcomeDeliveredOnCallersThread()
    {
        const auto keychain = std::make_shared<SlowKeychain>();
        TokenLookup::AsyncLookup lookup({QString(), nullptr, keychain});
        int calls = 0;
        std::optional<QString> token;
        QThread *deliveredOn = nullptr;
        QVERIFY(lookup.start([&](std::optional<QString> t) {
            ++calls;
            token = std::move(t);
            deliveredOn = QThread::currentThread();
        }));
        QVERIFY(!lookup.start([&](std::optional<QString>) { ++calls; }));
        QVERIFY(lookup.isRunning());

        bool ticked = false;
        QTimer::singleShot(20, this, [&] { ticked = true; });
        QTRY_VERIFY(ticked); // the event loop runs while the source blocks
        QCOMPARE(calls, 0);
        QVERIFY(keychain->thread != QThread::currentThread());

        keychain->release();
        QTRY_COMPARE(calls, 1);
        QCOMPARE(token, std::optional<QString>(QStringLiteral("fake-slow-token")));
        QCOMPARE(deliveredOn, QThread::currentThread());
        QVERIFY(!lookup.isRunning());
        QTest::qWait(50);
        QCOMPARE(calls, 1);
    }

    // Going away stops a lookup at once, and its outcome is never delivered.
    void destroyedWhileSourceBlocks()
    {
        const auto keychain = std::make_shared<SlowKeychain>();
        auto lookup = std::make_unique<TokenLookup::AsyncLookup>(
            TokenLookup::Sources{QString(), keychain, keychain});
        int calls = 0;
        lookup->start([&](std::optional<QString>) { ++calls; });
        QTRY_VERIFY(keychain->thread != nullptr);
        QElapsedTimer timer;
        timer.start();
        lookup.reset();
        QCOMPARE_LT(timer.elapsed(), 1000);
        keychain->release();
        QTest::qWait(50);
        QCOMPARE(calls, 0);
    }
};

QTEST_GUILESS_MAIN(TestTokenLookup)
#include "tst_tokenlookup.moc"
