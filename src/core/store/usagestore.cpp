#include "store/usagestore.h"

#include <QTimer>

#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// The allocator keeps what a large pass freed (read buffers, a reload's old records, the
// batch's keys) for reuse; a program that runs all day gives it back to the system instead.
void giveBackFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// Fewer new replies than this leave too little freed memory to be worth a trim.
constexpr std::size_t trimAfter = 4096;

// glibc raises its thresholds each time a large block is freed (up to 32 MiB), and then serves
// large blocks from its heaps and keeps their tops: a pass's read buffers and sort orders stayed
// resident in the readers' heaps, which malloc_trim does not shrink. Fixed, they do neither.
void fixAllocatorThresholds()
{
#ifdef __GLIBC__
    static const bool fixed = [] {
        mallopt(M_MMAP_THRESHOLD, 256 * 1024);
        mallopt(M_TRIM_THRESHOLD, 256 * 1024);
        return true;
    }();
    (void)fixed;
#endif
}

} // namespace

UsageStore::UsageStore(Settings &settings, std::optional<std::string> projectsRoot,
                       UsageStoreServices services, QObject *parent)
    : QObject(parent), m_settings(settings), m_services(std::move(services)),
      m_aggregates(Aggregates::compute(UsageRecords(), m_services.now(), m_services.calendar())),
      m_scan(projectsRoot.value_or(TranscriptScan::defaultRoot())),
      m_history(UsageHistoryStore::load(m_services.now())),
      m_notifier(settings, m_services.notifications), m_tokenLookup(m_services.tokenSources, this)
{
    fixAllocatorThresholds();
}

UsageStore::~UsageStore()
{
    // The watcher's thread is joined first, so no change can reach a store being destroyed; a
    // running pass is told to stop and waited for, since it reads nothing of ours but must not
    // outlive the pool it was started on without being collected.
    m_watcher.reset();
    if (m_cancel)
        m_cancel->store(true);
    m_pass.waitForFinished();
}

QDateTime UsageStore::lastUpdated() const
{
    if (!m_lastUpdated)
        return {};
    return QDateTime::fromMSecsSinceEpoch(m_lastUpdated->micros / 1000, Qt::UTC);
}

void UsageStore::start()
{
    // The watcher comes first: a line appended while the first scan lists the tree is then
    // reported by it instead of waiting for the fallback timer.
    m_watcher.reset();
    if (m_services.watcher) {
        // Runs on the watcher's thread: only hands the refresh to the main thread. The watcher is
        // released before the store goes, so `this` is alive whenever this runs.
        m_watcher = m_services.watcher(m_scan.root(), 0.5, [this](TreeChanges changes) {
            QMetaObject::invokeMethod(
                this,
                [this, changes = std::move(changes)]() mutable {
                    m_listings.reported(changes);
                    request(std::move(changes));
                },
                Qt::QueuedConnection);
        });
        if (m_watcher)
            m_watcher->start();
    }
    refresh();
    delete m_timer;
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true); // started again as each listing ends
    // A coarse timer lets the system batch wake-ups; a few hundred milliseconds do not matter.
    m_timer->setTimerType(Qt::CoarseTimer);
    connect(m_timer, &QTimer::timeout, this, &UsageStore::refresh);
    m_timer->start(int(m_listings.seconds() * 1000));
    startPlan();
}

void UsageStore::refresh()
{
    request(TreeChanges{{}, {}, true});
}

void UsageStore::request(TreeChanges changes)
{
    if (changes.empty())
        return;
    m_pending.merge(std::move(changes));
    setLoading(true);
    if (!m_passRunning)
        startPass();
}

void UsageStore::startPass()
{
    m_passRunning = true;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_listings.passStarted();
    TranscriptScan::Pass pass = m_scan.beginPass(std::exchange(m_pending, {}));
    pass.cancelled = m_cancel;
    // The store outlives the pass (its destructor waits for it), and an event queued to it is
    // dropped should it be gone.
    pass.reloading = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_reloading = true;
                m_scan.forgetEntries();
                giveBackFreedMemory();
            },
            Qt::QueuedConnection);
    };
    m_pass = QtConcurrent::run([this, pass = std::move(pass)]() mutable {
        auto result =
            std::make_shared<TranscriptScan::Result>(TranscriptScan::run(std::move(pass)));
        // The destructor waits for this task, so the store is still there to receive it.
        QMetaObject::invokeMethod(
            this, [this, result] { applyRefresh(std::move(*result)); }, Qt::QueuedConnection);
    });
}

void UsageStore::applyRefresh(TranscriptScan::Result &&result)
{
    const bool rebuild = result.fullReload;
    const std::size_t firstNew = m_scan.entries().size();
    if (result.listedWhole) {
        m_listings.listingFinished(result.changed, m_watcher && m_watcher->seesEveryChange());
        if (m_timer)
            m_timer->start(int(m_listings.seconds() * 1000));
    }
    m_scan.applyRefresh(std::move(result));
    result = {}; // its marks and names are freed now, before the trim below
    m_passRunning = false;
    m_reloading = false;
    updateAggregates(rebuild, firstNew);
    if (rebuild ||
        m_scan.entries().size() - std::min(firstNew, m_scan.entries().size()) >= trimAfter)
        giveBackFreedMemory();
    m_lastUpdated = m_services.now();
    emit lastUpdatedChanged();
    if (!m_pending.empty()) {
        startPass(); // still loading
        return;
    }
    setLoading(false);
}

void UsageStore::updateAggregates(bool rebuild, std::size_t firstNew)
{
    if (m_reloading)
        return;
    const Instant now = m_services.now();
    const Calendar calendar = m_services.calendar();
    const Instant dayStart = calendar.startOfDay(now);
    const UsageRecords &records = m_scan.entries().records();
    // A new day start means midnight passed, or the time zone or the clock changed: day buckets
    // keyed by the old calendar can no longer be trusted.
    if (rebuild || m_totalsDay != dayStart) {
        m_totals.clear();
        m_totals.addAll(records, calendar);
    } else {
        for (std::size_t i = firstNew; i < records.size(); ++i)
            m_totals.add(records[i], records.modelName(records[i].model),
                         records.projectName(records[i].project), calendar);
    }
    if (m_totalsDay != dayStart || !m_dayTimer)
        scheduleDayTimer(now, dayStart, calendar);
    m_totalsDay = dayStart;
    m_aggregates = m_totals.aggregates(now, calendar);
    emit aggregatesChanged();
}

void UsageStore::scheduleDayTimer(Instant now, Instant dayStart, const Calendar &calendar)
{
    if (!m_dayTimer) {
        m_dayTimer = new QTimer(this);
        m_dayTimer->setSingleShot(true);
        connect(m_dayTimer, &QTimer::timeout, this, [this] {
            updateAggregates(false, m_scan.entries().size());
            if (m_dayTimer->isActive())
                return;
            // Same day still (an early wake): look again at the next hour at the latest.
            const Instant at = m_services.now();
            const Calendar calendar = m_services.calendar();
            scheduleDayTimer(at, calendar.startOfDay(at), calendar);
        });
    }
    constexpr std::int64_t hourMicros = 3'600'000'000;
    const std::optional<Instant> next = calendar.addingDays(dayStart, 1);
    std::int64_t waitMicros = next ? next->micros - now.micros : hourMicros;
    waitMicros = std::clamp<std::int64_t>(waitMicros, 0, hourMicros);
    // Just past midnight rather than just before it.
    m_dayTimer->start(int(waitMicros / 1000) + 50);
}

void UsageStore::setLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    emit isLoadingChanged();
}
