#include "fakesink.h"
#include "settings/settings.h"
#include "store/usagestore.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <mutex>

namespace {

const Instant t0 = Instant::fromSeconds(1796558400); // 2026-12-06T12:00:00Z

// Requests are answered when the test says so, never within fetch().
class FakeFetcher final : public PlanFetcher
{
public:
    void fetch(const QString &token, const QObject *, Callback done) override
    {
        tokens << token;
        thread = QThread::currentThread();
        pending = std::move(done);
    }
    void answer(const Result &result)
    {
        QVERIFY(pending);
        auto done = std::move(pending);
        pending = nullptr;
        done(result);
    }
    QStringList tokens;
    QThread *thread = nullptr;
    Callback pending;
};

// Holds the credentials document of `token`, or nothing. While `gate` is set it blocks until
// stopped (a safety bound keeps a fault from hanging the test), and tells whether it was.
class FakeKeychain final : public KeychainSource
{
public:
    std::optional<QByteArray> secret(const QString &, std::chrono::milliseconds,
                                     std::stop_token stop) override
    {
        ++calls;
        thread = QThread::currentThread();
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, stop, std::chrono::seconds(5), [this] { return !gate; });
        sawStop = stop.stop_requested();
        if (token.isEmpty() || gate)
            return std::nullopt;
        return R"({"varnelAiOauth": {"accessToken": ")" + token.toUtf8() + R"("}})";
    }
    QString token = QStringLiteral("fake-token-1");
    bool gate = false;
    std::atomic<int> calls{0};
    std::atomic<QThread *> thread{nullptr};
    std::atomic<bool> sawStop{false};

private:
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
};

LimitWindow window(double utilization, std::int64_t resetSeconds)
{
    return {utilization, Instant::fromSeconds(resetSeconds)};
}

PlanUsage plan(double five = 10, double seven = 20)
{
    return {window(five, 1796562000), window(seven, 1797000000), {}, {}};
}

enum class Op { trigger, force, ok, limited, failed, refused, signedOut };
struct Step
{
    double at; // seconds after t0
    Op op;
    int requests; // sent so far, once the step is done
    std::optional<double> retryAfter = std::nullopt;
    const char *error = nullptr; // shown once the step is done, "" none; not checked if null
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestPlanRefresh : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Instant m_now = t0;
    std::shared_ptr<FakeFetcher> m_fetcher;
    std::shared_ptr<FakeKeychain> m_keychain;
    std::shared_ptr<FakeSink> m_sink;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<UsageStore> m_store;

    void makeStore()
    {
        UsageStoreServices services;
        services.now = [this] { return m_now; };
        services.tokenSources = {QString(), m_keychain, nullptr};
        services.planFetcher = m_fetcher;
        services.notifications = m_sink;
        m_store = std::make_unique<UsageStore>(*m_settings, m_dir.filePath("none").toStdString(),
                                               services);
    }
    // Waits for the token lookup that a trigger may have started to reach the fetcher.
    void settle()
    {
        QTRY_VERIFY(!m_store->m_tokenLookup.isRunning());
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", m_dir.filePath("data").toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("config"));
    }

    void init()
    {
        QFile::remove(UsageHistoryStore::filePath());
        QSettings(QStringLiteral("VarnelUsage"), QStringLiteral("VarnelUsage")).clear();
        m_now = t0;
        m_fetcher = std::make_shared<FakeFetcher>();
        m_keychain = std::make_shared<FakeKeychain>();
        m_sink = std::make_shared<FakeSink>();
        m_settings = std::make_unique<Settings>();
        makeStore();
    }

    void cleanup() { m_store.reset(); }

    // Scripts of triggers and answers: what is sent, the error shown, the figures and the
    // back-off kept.
    void polls_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<int>("lookups");
        QTest::addRow("spacing: 44 s refused, 45 s polls") << QList<Step>{{0, Op::trigger, 1},
                                                                          {1, Op::ok, 1},
                                                                          {44, Op::trigger, 1},
                                                                          {45, Op::trigger, 2}}
                                                           << 1;
        QTest::addRow("a clock set back refuses")
            << QList<Step>{{0, Op::trigger, 1}, {1, Op::ok, 1}, {-100, Op::trigger, 1}} << 1;
        QTest::addRow("forced while in flight refused, forced after a finished poll polls")
            << QList<Step>{{0, Op::trigger, 1},
                           {5, Op::force, 1},
                           {6, Op::ok, 1},
                           {16, Op::force, 2}}
            << 1;
        QTest::addRow("back-off holds forced polls too, and ends")
            << QList<Step>{{0, Op::trigger, 1},
                           {2, Op::limited, 1, 30},
                           {31.9, Op::force, 1},
                           {31.9, Op::trigger, 1},
                           {32, Op::force, 2}}
            << 1;
        QTest::addRow("a failure after the back-off leaves its end in the past")
            << QList<Step>{{0, Op::trigger, 1},
                           {2, Op::limited, 1, 10},
                           {12, Op::force, 2},
                           {13, Op::failed, 2},
                           {14, Op::force, 3}}
            << 1;
        QTest::addRow("errors shown until a success")
            << QList<Step>{{0, Op::force, 1},
                           {1, Op::ok, 1, {}, ""},
                           {60, Op::force, 2},
                           {61, Op::limited, 2, {}, "Rate limited \u2014 retrying shortly"},
                           {181, Op::force, 3},
                           {182, Op::failed, 3, {}, "HTTP 500"},
                           {242, Op::force, 4},
                           {243, Op::ok, 4, {}, ""}}
            << 1;
        // A refused token is dropped; every trigger looks again, finds nothing and sends nothing.
        QTest::addRow("refused token looked up again")
            << QList<Step>{{0, Op::force, 1},
                           {1, Op::refused, 1, {}, "Session expired \u2014 open Varnel Code"},
                           {1, Op::signedOut, 1},
                           {60, Op::trigger, 1},
                           {120, Op::trigger, 1},
                           {180, Op::trigger, 1, {}, "Sign in with Varnel Code"}}
            << 4;
    }

    void polls()
    {
        QFETCH(QList<Step>, steps);
        QSignalSpy errors(m_store.get(), &UsageStore::planErrorChanged);
        int changes = 0;
        bool answered = false, backingOff = false;
        for (const Step &step : steps) {
            const QString before = m_store->planError();
            m_now = Instant{t0.micros + std::int64_t(step.at * 1e6)};
            switch (step.op) {
            case Op::trigger:
            case Op::force:
                m_store->refreshPlan(step.op == Op::force);
                settle();
                break;
            case Op::ok:
                m_fetcher->answer(plan());
                answered = true;
                backingOff = false;
                break;
            case Op::limited:
                m_fetcher->answer(PlanUsage::Error::rateLimited(step.retryAfter));
                backingOff = true;
                break;
            case Op::failed:
                m_fetcher->answer(PlanUsage::Error::http(500));
                break;
            case Op::refused:
                m_fetcher->answer(PlanUsage::Error::unauthorized());
                break;
            case Op::signedOut:
                m_keychain->token.clear();
                break;
            }
            const QString where = QStringLiteral("after the step at %1 s").arg(step.at);
            QVERIFY2(m_fetcher->tokens.size() == step.requests, qPrintable(where));
            if (step.error)
                QCOMPARE(m_store->planError(), QString::fromUtf8(step.error));
            // The last good figures stay through errors; only a success ends a back-off.
            QVERIFY2(m_store->planUsage().has_value() == answered, qPrintable(where));
            QVERIFY2(m_store->planRetryAtInstant().has_value() == backingOff, qPrintable(where));
            changes += m_store->planError() != before;
        }
        QCOMPARE(errors.size(), changes);
        QTEST(m_keychain->calls.load(), "lookups"); // a token is looked up once and reused
        QCOMPARE(m_fetcher->thread, QThread::currentThread());
    }

    // The lookup runs off the main thread and refuses a second one meanwhile; a store that goes
    // away stops it, and nothing is sent.
    void lookupOffTheMainThread()
    {
        m_keychain->gate = true;
        m_store->refreshPlan(true);
        QTRY_VERIFY(m_keychain->thread != nullptr);
        QVERIFY(m_keychain->thread != QThread::currentThread());
        m_store->refreshPlan(true);
        m_store.reset();
        QVERIFY(m_keychain->sawStop);
        QCoreApplication::processEvents();
        QCOMPARE(m_keychain->calls.load(), 1);
        QVERIFY(m_fetcher->tokens.isEmpty());
    }

    void historyAndNotifications_data()
    {
        QTest::addColumn<bool>("notify");
        QTest::addColumn<double>("secondAfter"); // seconds between two successes
        QTest::addColumn<int>("samples");
        QTest::addRow("150 s apart, notifications on") << true << 150.0 << 2;
        QTest::addRow("100 s apart, notifications off") << false << 100.0 << 1;
    }

    void historyAndNotifications()
    {
        QFETCH(bool, notify);
        QFETCH(double, secondAfter);
        QFETCH(int, samples);
        m_settings->setNotifyLimits(notify);
        m_store->start();
        QCOMPARE(m_sink->authorizations, notify ? 1 : 0);
        settle();
        m_fetcher->answer(plan(85, 95)); // exactly the critical threshold
        m_now = Instant{t0.micros + std::int64_t(secondAfter * 1e6)};
        m_store->refreshPlan(true);
        m_fetcher->answer(plan(85, 96));

        QCOMPARE(int(m_store->history().size()), samples);
        QCOMPARE(UsageHistoryStore::load(m_now), m_store->history());
        // The five-hour window before the weekly one, each threshold once per period.
        const QStringList expected{QStringLiteral("Varnel 5-hour session usage high"),
                                   QStringLiteral("Varnel weekly limit almost reached")};
        QCOMPARE(m_sink->titles, notify ? expected : QStringList());
        // A new store reads the history back.
        makeStore();
        QCOMPARE(int(m_store->history().size()), samples);
    }

    // Where the back-off ends, whatever Retry-After says: a day at most, never in the past; and
    // the plan timer's period, whatever the preferences say: a minute to a day.
    void bounds_data()
    {
        QTest::addColumn<bool>("backOff");                // else the plan timer
        QTest::addColumn<std::optional<double>>("given"); // seconds to retry after, or minutes
        QTest::addColumn<int>("seconds");
        const std::tuple<const char *, bool, std::optional<double>, int> rows[] = {
            {"Retry-After absent", true, std::nullopt, 120},
            {"Retry-After 30", true, 30, 30},
            {"Retry-After infinite", true, qInf(), 120},
            {"Retry-After not a number", true, qQNaN(), 120},
            {"Retry-After beyond a day", true, 1e12, 86400},
            {"Retry-After negative", true, -5, 0},
            {"Retry-After -1e308", true, -1e308, 0},
            {"period 0.5 to the floor", false, 0.5, 60},
            {"period 2", false, 2, 120},
            {"period 0", false, 0, 300},
            {"period negative", false, -1, 300},
            {"period not a number", false, qQNaN(), 300},
            {"period beyond a day", false, 1e9, 86400}};
        for (const auto &[name, backOff, given, seconds] : rows)
            QTest::addRow("%s", name) << backOff << given << seconds;
    }

    void bounds()
    {
        QFETCH(bool, backOff);
        QFETCH(std::optional<double>, given);
        QFETCH(int, seconds);
        if (backOff) {
            m_store->refreshPlan(true);
            settle();
            m_now = Instant{t0.micros + 2'000'000};
            m_fetcher->answer(PlanUsage::Error::rateLimited(given));
            QCOMPARE(m_store->planRetryAtInstant(),
                     Instant{m_now.micros + std::int64_t(seconds) * 1'000'000});
            return;
        }
        m_store->schedulePlanTimer(7);
        m_store->schedulePlanTimer(*given);
        const auto timers = m_store->findChildren<QTimer *>();
        QCOMPARE(timers.size(), 1);
        QCOMPARE(timers.first()->interval(), seconds * 1000);
        QVERIFY(timers.first()->isActive());
    }
};

QTEST_GUILESS_MAIN(TestPlanRefresh)
#include "tst_planrefresh.moc"
