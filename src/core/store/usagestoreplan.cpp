// The plan half of the store: when to poll, with which token, one poll at a time, the back-off
// after a rate limit, and what each outcome publishes.
#include "store/usagestore.h"

#include "settings/settings.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr double defaultRetrySeconds = 120;
// However long the service asks for, polling resumes within a day.
constexpr double maxBackOffSeconds = 86400;
constexpr double defaultPlanPeriodSeconds = 300;
constexpr double minPlanPeriodSeconds = 60;
constexpr double maxPlanPeriodSeconds = 86400;

Instant after(Instant t, double seconds)
{
    return Instant{t.micros + std::int64_t(std::llround(seconds * 1e6))};
}

QDateTime toDateTime(const std::optional<Instant> &t)
{
    if (!t)
        return {};
    return QDateTime::fromMSecsSinceEpoch(t->micros / 1000, Qt::UTC);
}

} // namespace

const char *const UsageStore::fiveHourName = QT_TRANSLATE_NOOP("Notifier", "5-hour session");
const char *const UsageStore::sevenDayName = QT_TRANSLATE_NOOP("Notifier", "weekly");

QDateTime UsageStore::planRetryAt() const
{
    return toDateTime(m_planRetryAt);
}

void UsageStore::startPlan()
{
    if (m_settings.notifyLimits())
        m_notifier.requestAuthorization();
    refreshPlan(false);
    schedulePlanTimer(m_settings.planInterval());
}

void UsageStore::refreshPlan(bool force)
{
    if (!m_services.planFetcher)
        return;
    const Instant now = m_services.now();
    if (m_planRetryAt && now < *m_planRetryAt)
        return;
    // A token lookup under way refuses a second one itself (AsyncLookup::start).
    if (m_planInFlight)
        return;
    if (!force && m_lastPlanFetch && now.secondsSince(*m_lastPlanFetch) < m_minPlanInterval)
        return;
    if (m_cachedToken) {
        startPoll(*m_cachedToken);
        return;
    }
    // The lookup may wait on a keyring or a tool for seconds: off the main thread.
    m_tokenLookup.start([this](std::optional<QString> token) {
        m_cachedToken = std::move(token);
        if (!m_cachedToken) {
            // Nothing was sent, so the next trigger looks again.
            setPlanError(PlanUsage::Error::noToken().errorDescription());
            return;
        }
        startPoll(*m_cachedToken);
    });
}

void UsageStore::startPoll(const QString &token)
{
    m_lastPlanFetch = m_services.now();
    m_planInFlight = true;
    m_services.planFetcher->fetch(token, this,
                                  [this](const PlanFetcher::Result &r) { handlePlanResult(r); });
}

void UsageStore::handlePlanResult(const PlanFetcher::Result &result)
{
    m_planInFlight = false;
    if (const auto *usage = std::get_if<PlanUsage>(&result)) {
        m_planUsage = *usage;
        emit planUsageChanged();
        setPlanError(std::nullopt);
        setPlanRetryAt(std::nullopt);
        recordHistory(*usage);
        if (m_settings.notifyLimits()) {
            m_notifier.check(usage->fiveHour, QString::fromLatin1(fiveHourName));
            m_notifier.check(usage->sevenDay, QString::fromLatin1(sevenDayName));
        }
        return;
    }
    const auto &error = std::get<PlanUsage::Error>(result);
    switch (error.kind()) {
    case PlanUsage::Error::Kind::rateLimited: {
        // A Retry-After that is no finite number counts as absent; the rest is clamped before
        // any arithmetic, so no value can overflow the instant (a negative one ends at once).
        const std::optional<double> asked = error.retryAfter();
        const double seconds = asked && std::isfinite(*asked)
                                   ? std::clamp(*asked, 0.0, maxBackOffSeconds)
                                   : defaultRetrySeconds;
        setPlanRetryAt(after(m_services.now(), seconds));
        break;
    }
    case PlanUsage::Error::Kind::unauthorized:
        m_cachedToken.reset(); // the next poll looks the token up afresh
        break;
    default:
        break;
    }
    setPlanError(error.errorDescription());
}

void UsageStore::recordHistory(const PlanUsage &usage)
{
    UsageHistory next = UsageHistoryStore::appending(usage, m_history, m_services.now());
    if (next == m_history)
        return;
    m_history = std::move(next);
    emit historyChanged();
    UsageHistoryStore::save(m_history);
}

void UsageStore::setPlanError(std::optional<QString> error)
{
    if (error == m_planError)
        return;
    m_planError = std::move(error);
    emit planErrorChanged();
}

void UsageStore::setPlanRetryAt(std::optional<Instant> retryAt)
{
    if (retryAt == m_planRetryAt)
        return;
    m_planRetryAt = retryAt;
    emit planRetryAtChanged();
}

void UsageStore::schedulePlanTimer(double minutes)
{
    delete m_planTimer;
    const double seconds =
        minutes > 0 ? std::clamp(minutes * 60, minPlanPeriodSeconds, maxPlanPeriodSeconds)
                    : defaultPlanPeriodSeconds;
    m_planTimer = new QTimer(this);
    m_planTimer->setInterval(int(std::llround(seconds * 1000)));
    m_planTimer->setTimerType(Qt::CoarseTimer);
    connect(m_planTimer, &QTimer::timeout, this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { refreshPlan(false); }, Qt::QueuedConnection);
    });
    m_planTimer->start();
}
