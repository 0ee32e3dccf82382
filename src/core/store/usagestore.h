#pragma once

#include "store/transcriptscan.h"
#include "store/usagestoreservices.h"
#include "transcripts/aggregates.h"

#include <QDateTime>
#include <QFuture>
#include <QObject>

#include <atomic>
#include <memory>
#include <optional>

class QTimer;

// The one object that owns the usage figures and keeps them current: a transcript scan at
// start, on a fallback timer and after every batch of file changes below the root. Lives on
// the main thread; views read its properties and are told of every change there.
class UsageStore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UsageStore)
    Q_PROPERTY(Aggregates aggregates READ aggregates NOTIFY aggregatesChanged)
    Q_PROPERTY(QDateTime lastUpdated READ lastUpdated NOTIFY lastUpdatedChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)

public:
    // Builds the store; starts nothing. Without a root: ".varnel/projects" in the home directory.
    explicit UsageStore(std::optional<std::string> projectsRoot = std::nullopt,
                        UsageStoreServices services = {}, QObject *parent = nullptr);
    ~UsageStore() override;

    // A first scan, the fallback timer and the file watcher. Calling it again replaces the
    // timer and the watcher.
    void start();
    // One transcript scan. While a scan runs, further calls are gathered into one more scan
    // that starts as soon as the running one has been applied.
    void refresh();

    const Aggregates &aggregates() const { return m_aggregates; }
    // Invalid until the first scan has been applied.
    QDateTime lastUpdated() const;
    std::optional<Instant> lastUpdatedInstant() const { return m_lastUpdated; }
    bool isLoading() const { return m_isLoading; }

    const std::string &projectsRoot() const { return m_scan.root(); }
    std::size_t entryCount() const { return m_scan.entries().size(); }

signals:
    void aggregatesChanged();
    void lastUpdatedChanged();
    void isLoadingChanged();

private:
    friend class TestUsageStore;

    // (Re)creates the fallback timer; the period never drops below two seconds.
    void scheduleTimer(double intervalSeconds);
    void startPass();
    void applyRefresh(TranscriptScan::Result &&result);
    void setLoading(bool loading);

    UsageStoreServices m_services;
    Aggregates m_aggregates;
    std::optional<Instant> m_lastUpdated;
    bool m_isLoading = false;

    TranscriptScan m_scan;
    QTimer *m_timer = nullptr;
    std::unique_ptr<TreeWatcher> m_watcher;
    const double m_localFallbackInterval = 30;

    // One pass at a time; a refresh asked for meanwhile runs once the pass has been applied.
    QFuture<void> m_pass;
    bool m_passRunning = false;
    bool m_passPending = false;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};

Q_DECLARE_METATYPE(Aggregates)
