#pragma once

#include "alerts/notifier.h"
#include "alerts/usagehistorystore.h"
#include "plan/planusage.h"
#include "plan/tokenlookup.h"
#include "store/listingschedule.h"
#include "store/transcriptscan.h"
#include "store/usagestoreservices.h"
#include "transcripts/aggregates.h"
#include "transcripts/usagetotals.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

class QTimer;
class Settings;

using OptionalPlanUsage = std::optional<PlanUsage>;

// The one object that owns the usage figures and keeps them current. The local half: a
// transcript scan of the whole tree at start, on request and on a fallback timer (30 seconds,
// growing to 5 minutes while listings find nothing the watcher missed), and after every batch of
// file changes a pass over just what changed; the totals follow the new replies, and are built
// again from all of them after a full reload and when the local day changes. The plan half: a
// plan poll at start, on the plan timer and on demand, one at a time, backing off after a rate
// limit, with a seven-day history on disk and notifications near the limits. Lives on the main
// thread; views read its properties and are told of every change there.
class UsageStore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UsageStore)
    Q_PROPERTY(Aggregates aggregates READ aggregates NOTIFY aggregatesChanged)
    Q_PROPERTY(QDateTime lastUpdated READ lastUpdated NOTIFY lastUpdatedChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(OptionalPlanUsage planUsage READ planUsage NOTIFY planUsageChanged)
    Q_PROPERTY(QString planError READ planError NOTIFY planErrorChanged)
    Q_PROPERTY(UsageHistory history READ history NOTIFY historyChanged)
    Q_PROPERTY(QDateTime planRetryAt READ planRetryAt NOTIFY planRetryAtChanged)

public:
    // The names the two primary windows are announced under.
    static const char *const fiveHourName;
    static const char *const sevenDayName;

    // Builds the store and reads the plan history file; starts nothing. Without a root:
    // ".varnel/projects" in the home directory.
    explicit UsageStore(Settings &settings, std::optional<std::string> projectsRoot = std::nullopt,
                        UsageStoreServices services = {}, QObject *parent = nullptr);
    ~UsageStore() override;

    // The watcher, a first scan, the fallback timer, then the plan half: the notification
    // permission (when notifications are on), a first poll and the plan timer. Calling it again
    // replaces the timers and the watcher.
    void start();
    // One transcript scan of the whole tree. While a scan runs, further calls and watcher
    // batches are gathered into one more scan that starts as soon as the running one has been
    // applied.
    void refresh();
    // One plan poll, unless the rate-limit back-off, a poll or token lookup under way, or (when
    // not forced) a poll started less than 45 seconds ago refuses it.
    void refreshPlan(bool force);
    // Replaces the plan timer: `minutes` × 60 seconds, at least 60; 300 seconds for 0, a negative
    // value or not-a-number; at most a day. Polls nothing by itself.
    void schedulePlanTimer(double minutes);

    const Aggregates &aggregates() const { return m_aggregates; }
    // Invalid until the first scan has been applied.
    QDateTime lastUpdated() const;
    std::optional<Instant> lastUpdatedInstant() const { return m_lastUpdated; }
    bool isLoading() const { return m_isLoading; }

    // The last document received; replaced only by a successful poll, never cleared.
    const OptionalPlanUsage &planUsage() const { return m_planUsage; }
    // The message of the last failed poll or token lookup; null after a successful poll.
    QString planError() const { return m_planError.value_or(QString()); }
    const std::optional<QString> &planErrorText() const { return m_planError; }
    const UsageHistory &history() const { return m_history; }
    // The end of the rate-limit back-off; invalid when there is none.
    QDateTime planRetryAt() const;
    std::optional<Instant> planRetryAtInstant() const { return m_planRetryAt; }
    Notifier &notifier() { return m_notifier; }

    const std::string &projectsRoot() const { return m_scan.root(); }
    std::size_t entryCount() const { return m_scan.entries().size(); }

signals:
    void aggregatesChanged();
    void lastUpdatedChanged();
    void isLoadingChanged();
    void planUsageChanged();
    void planErrorChanged();
    void historyChanged();
    void planRetryAtChanged();

private:
    friend class TestUsageStore;
    friend class TestPlanRefresh;

    // Gathers what the next pass looks at, and starts it unless one is running.
    void request(TreeChanges changes);
    void startPass();
    void applyRefresh(TranscriptScan::Result &&result);
    // Brings the totals up to date with the records from `firstNew` on (all of them when
    // `rebuild` is set or the local day changed), then reads the published figures off them.
    void updateAggregates(bool rebuild, std::size_t firstNew);
    // Wakes at the next local midnight (at least hourly, so a changed clock is seen too).
    void scheduleDayTimer(Instant now, Instant dayStart, const Calendar &calendar);
    void setLoading(bool loading);

    // The plan half's own start steps.
    void startPlan();
    void startPoll(const QString &token);
    void handlePlanResult(const PlanFetcher::Result &result);
    void recordHistory(const PlanUsage &usage);
    void setPlanError(std::optional<QString> error);
    void setPlanRetryAt(std::optional<Instant> retryAt);

    Settings &m_settings;
    UsageStoreServices m_services;
    Aggregates m_aggregates;
    std::optional<Instant> m_lastUpdated;
    bool m_isLoading = false;

    TranscriptScan m_scan;
    QTimer *m_timer = nullptr; // the next listing when nothing asks for one sooner
    ListingSchedule m_listings;
    std::unique_ptr<TreeWatcher> m_watcher;
    UsageTotals m_totals;
    std::optional<Instant> m_totalsDay; // the local day start the totals were last read for
    QTimer *m_dayTimer = nullptr;

    // One pass at a time; what is asked for meanwhile is gathered for the next one.
    QFuture<void> m_pass;
    bool m_passRunning = false;
    TreeChanges m_pending;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    // The running pass is a full reload and the records were dropped ahead of its result: the
    // totals are left alone until it comes.
    bool m_reloading = false;

    // The plan half.
    OptionalPlanUsage m_planUsage;
    std::optional<QString> m_planError;
    UsageHistory m_history;
    std::optional<Instant> m_planRetryAt;
    QTimer *m_planTimer = nullptr;
    Notifier m_notifier;
    std::optional<QString> m_cachedToken;
    const double m_minPlanInterval = 45;
    std::optional<Instant> m_lastPlanFetch;
    bool m_planInFlight = false;
    TokenLookup::AsyncLookup m_tokenLookup;
};

Q_DECLARE_METATYPE(Aggregates)
Q_DECLARE_METATYPE(OptionalPlanUsage)
Q_DECLARE_METATYPE(UsageHistory)
