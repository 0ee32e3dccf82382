#include "fakesink.h"
#include "settings/settings.h"
#include "store/usagestore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

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
        std::exchange(pending, nullptr)(result);
    }
    QStringList tokens;
    QThread *thread = nullptr;
    Callback pending;
};

// Holds the credentials document of `token`, or nothing.
class FakeKeychain final : public KeychainSource
{
public:
    std::optional<QByteArray> secret(const QString &, std::chrono::milliseconds,
                                     std::stop_token) override
    {
        ++calls;
        thread = QThread::currentThread();
        if (token.isEmpty())
            return std::nullopt;
        return R"({"varnelAiOauth": {"accessToken": ")" + token.toUtf8() + R"("}})";
    }
    QString token = QStringLiteral("fake-token-1");
    std::atomic<int> calls{0};
    std::atomic<QThread *> thread{nullptr};
};

PlanUsage plan(double five = 10, double seven = 20)
{
    PlanUsage p;
    p.fiveHour = LimitWindow{five, Instant::fromSeconds(1796562000)};
    p.sevenDay = LimitWindow{seven, Instant::fromSeconds(1797000000)};
    return p;
}

} // namespace

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

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", m_dir.filePath("data").toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("config"));
        QFile::remove(UsageHistoryStore::filePath());
        QSettings(QStringLiteral("VarnelUsage"), QStringLiteral("VarnelUsage")).clear();
        m_now = t0;
        m_fetcher = std::make_shared<FakeFetcher>();
        m_keychain = std::make_shared<FakeKeychain>();
        m_sink = std::make_shared<FakeSink>();
        m_settings = std::make_unique<Settings>();
        makeStore();
    }

    // Scripts of steps "SECONDS OP SENT [SHOWN]" after t0. OP: a trigger "t", a forced one "f",
    // "start", an answer "ok" (or "okF/S": the five-hour and weekly use), "rate" limited with the
    // Retry-After that follows (the back-off ends a day ahead at most, never in the past),
    // "failed" (HTTP 500), "refused", "out": the token gone, "quiet": notifications off; or a
    // check: "everyM=S" the plan timer's period for M minutes, "historyN" the samples kept and
    // read back by a new store, "notifiedN" the first N titles below shown. SENT: the requests
    // sent so far; SHOWN: the error shown then (below; "-" none).
    void polls_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("lookups");
        const std::tuple<const char *, const char *, int> rows[] = {
            {"spacing: 44 s refused, 45 s polls", "0 t 1, 1 ok 1, 44 t 1, 45 t 2", 1},
            {"a clock set back refuses", "0 t 1, 1 ok 1, -100 t 1", 1},
            {"forced while in flight refused, forced after a finished poll polls",
             "0 t 1, 5 f 1, 6 ok 1, 16 f 2", 1},
            {"back-off holds forced polls too, and ends",
             "0 t 1, 2 rate30 1, 31.9 f 1, 31.9 t 1, 32 f 2", 1},
            {"a failure after the back-off leaves its end in the past",
             "0 t 1, 2 rate10 1, 12 f 2, 13 failed 2, 14 f 3", 1},
            {"errors shown until a success",
             "0 f 1, 1 ok 1 -, 60 f 2, 61 rate 2 R, 181 f 3, 182 failed 3 H, 242 f 4, 243 ok 4 -",
             1},
            {"a refused token dropped: each trigger looks again, finds nothing, sends nothing",
             "0 f 1, 1 refused 1 X, 1 out 1, 60 t 1, 120 t 1, 180 t 1 S", 4},
            {"Retry-After absent", "0 f 1, 2 rate 1, 121.9 f 1, 122 f 2", 1},
            {"Retry-After infinite", "0 f 1, 2 rateinf 1, 121.9 f 1, 122 f 2", 1},
            {"Retry-After not a number", "0 f 1, 2 ratenan 1, 121.9 f 1, 122 f 2", 1},
            {"Retry-After beyond a day", "0 f 1, 2 rate1e12 1, 86401.9 f 1, 86402 f 2", 1},
            {"Retry-After negative", "0 f 1, 2 rate-5 1, 2 f 2", 1},
            {"samples 150 s apart both kept; notified once per window",
             "0 start 1, 1 ok85/95 1, 150 f 2, 151 ok85/96 2, 151 notified2 2, 151 history2 2", 1},
            {"samples 100 s apart, notifications off",
             "0 quiet 0, 0 start 1, 1 ok85/95 1, 100 f 2, 101 ok85/96 2, 101 notified0 2, "
             "101 history1 2",
             1},
            {"the plan timer's period: a minute to a day, whatever the preferences say",
             "0 every7=420 0, 0 every0.5=60 0, 0 every2=120 0, 0 every0=300 0, "
             "0 every-1=300 0, 0 everynan=300 0, 0 every1e9=86400 0",
             0}};
        for (const auto &[name, steps, lookups] : rows)
            QTest::addRow("%s", name) << QString(steps) << lookups;
    }

    void polls()
    {
        QFETCH(QString, steps);
        const QHash<QString, QString> shown{{"R", "Rate limited \u2014 retrying shortly"},
                                            {"H", "HTTP 500"},
                                            {"X", "Session expired \u2014 open Varnel Code"},
                                            {"S", "Sign in with Varnel Code"}};
        // The five-hour window before the weekly one, each threshold once per period.
        const QStringList titles{"Varnel 5-hour session usage high",
                                 "Varnel weekly limit almost reached"};
        QSignalSpy errors(m_store.get(), &UsageStore::planErrorChanged);
        int changes = 0;
        bool answered = false, backingOff = false;
        for (const QString &text : steps.split(", ")) {
            const QStringList step = text.split(' ');
            const QString op = step[1], before = m_store->planError();
            m_now = Instant{t0.micros + std::int64_t(step[0].toDouble() * 1e6)};
            if (op == "t" || op == "f" || op == "start") {
                op == "start" ? m_store->start() : m_store->refreshPlan(op == "f");
                // The token lookup the trigger may have started reaches the fetcher.
                QTRY_VERIFY(!m_store->m_tokenLookup.isRunning());
                QCoreApplication::processEvents();
            } else if (op.startsWith("ok")) {
                const QStringList use = op.mid(2).split('/');
                m_fetcher->answer(use.size() == 2 ? plan(use[0].toDouble(), use[1].toDouble())
                                                  : plan());
                answered = true;
                backingOff = false;
            } else if (op.startsWith("rate")) {
                bool given = false;
                const double after = op.mid(4).toDouble(&given);
                QVERIFY(given || op == "rate");
                m_fetcher->answer(
                    PlanUsage::Error::rateLimited(given ? std::optional(after) : std::nullopt));
                backingOff = true;
                QVERIFY(m_store->planRetryAtInstant() >= m_now);
            } else if (op == "failed") {
                m_fetcher->answer(PlanUsage::Error::http(500));
            } else if (op == "refused") {
                m_fetcher->answer(PlanUsage::Error::unauthorized());
            } else if (op == "out") {
                m_keychain->token.clear();
            } else if (op == "quiet") {
                m_settings->setNotifyLimits(false);
            } else if (op.startsWith("every")) {
                const QStringList period = op.mid(5).split('=');
                m_store->schedulePlanTimer(period[0] == "nan" ? qQNaN() : period[0].toDouble());
                const auto timers = m_store->findChildren<QTimer *>();
                QVERIFY(timers.size() == 1 && timers.first()->isActive());
                QCOMPARE(timers.first()->interval(), period[1].toInt() * 1000);
            } else if (op.startsWith("notified")) {
                QCOMPARE(m_sink->titles, titles.first(op.mid(8).toInt()));
                QCOMPARE(m_sink->authorizations, m_settings->notifyLimits() ? 1 : 0);
            } else {
                const int samples = op.mid(7).toInt();
                QCOMPARE(int(m_store->history().size()), samples);
                QCOMPARE(UsageHistoryStore::load(m_now), m_store->history());
                makeStore();
                QCOMPARE(int(m_store->history().size()), samples);
                answered = false;
            }
            QVERIFY2(m_fetcher->tokens.size() == step[2].toInt(), qPrintable(text));
            if (step.size() > 3)
                QCOMPARE(m_store->planError(), shown.value(step[3]));
            // The last good figures stay through errors; only a success ends a back-off.
            QVERIFY2(m_store->planUsage().has_value() == answered, qPrintable(text));
            QVERIFY2(m_store->planRetryAtInstant().has_value() == backingOff, qPrintable(text));
            changes += m_store->planError() != before;
        }
        QCOMPARE(errors.size(), changes);
        QTEST(m_keychain->calls.load(), "lookups"); // a token is looked up once and reused
        // The token is looked up off the main thread; the request is sent from it.
        QVERIFY(!m_keychain->calls || m_keychain->thread != QThread::currentThread());
        QVERIFY(m_fetcher->tokens.isEmpty() || m_fetcher->thread == QThread::currentThread());
    }
};

QTEST_GUILESS_MAIN(TestPlanRefresh)
#include "tst_planrefresh.moc"
