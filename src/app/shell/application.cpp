#include "shell/application.h"

#include "format/paneltext.h"
#include "format/traylabel.h"
#include "panel/panelfooter.h"
#include "panel/panelvalues.h"
#include "panel/panelview.h"
#include "panel/panelwindow.h"
#include "store/usagestore.h"
#include "tray/trayicon.h"
#include "tray/traymenu.h"

#include <QTimer>

namespace {

// How long a tray may take to appear (or come back) before the panel shows as a window instead.
constexpr int trayGraceMs = 5000;

} // namespace

Application::Application(Settings &settings, UsageStore &store, TrayItem *trayItem, QObject *parent)
    : QObject(parent), m_settings(settings), m_store(store), m_tray(new TrayIcon(trayItem, this)),
      m_panel(new PanelWindow), m_trayGrace(new QTimer(this))
{
    // Without a tray the app would have no face at all: after a grace for a tray to come (at
    // start) or come back (it went away), the panel shows as a window instead.
    m_trayGrace->setSingleShot(true);
    m_trayGrace->setInterval(trayGraceMs);
    connect(m_trayGrace, &QTimer::timeout, this, [this] {
        if (!m_tray->hostPresent())
            m_panel->showStandalone();
    });
    connectStore();
    connectViews();
    update();
}

Application::~Application()
{
    delete m_panel;
}

void Application::show()
{
    m_tray->show();
    m_trayGrace->start();
}

void Application::showPanel()
{
    if (m_tray->hostPresent())
        m_panel->showNear(m_tray->anchor());
    else
        m_panel->showStandalone();
}

void Application::togglePanel()
{
    m_panel->toggle(m_tray->anchor());
}

void Application::connectStore()
{
    for (const auto signal : {&UsageStore::aggregatesChanged, &UsageStore::lastUpdatedChanged,
                              &UsageStore::isLoadingChanged, &UsageStore::planUsageChanged,
                              &UsageStore::planErrorChanged, &UsageStore::historyChanged,
                              &UsageStore::planRetryAtChanged})
        connect(&m_store, signal, this, &Application::scheduleUpdate);
    connect(&m_settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::planInterval)
            m_store.schedulePlanTimer(m_settings.planInterval());
        else
            scheduleUpdate();
    });
}

void Application::connectViews()
{
    connect(m_tray, &TrayIcon::panelRequested, this, &Application::togglePanel);
    connect(m_tray, &TrayIcon::showUsageRequested, this, &Application::showPanel);
    connect(m_tray, &TrayIcon::refreshRequested, this, [this] { refreshAll(true); });
    connect(m_tray, &TrayIcon::settingsRequested, this, &Application::settingsRequested);
    connect(m_tray, &TrayIcon::quitRequested, this, &Application::quitRequested);
    connect(m_tray, &TrayIcon::menuAboutToShow, this, [this] {
        updateTray();
        // The tray's menu replaces the panel, as one popup does another; left open, the panel
        // may cover the menu (an unmanaged window stays above a compositor's popups).
        if (!m_panel->isStandalone())
            m_panel->hide();
    });
    // The window that stood in for a missing tray goes once the item has docked.
    connect(m_tray, &TrayIcon::hostPresenceChanged, this, [this](bool present) {
        if (present) {
            m_trayGrace->stop();
            m_panel->leaveStandalone();
        } else {
            m_trayGrace->start();
        }
    });

    // Each opening shows the figures as they stand, then asks for fresh ones; the store may
    // decline the plan poll.
    connect(m_panel, &PanelWindow::aboutToShow, this, [this] {
        updatePanel();
        refreshAll(false);
    });
    PanelFooter *footer = m_panel->view()->footer();
    connect(footer, &PanelFooter::refreshClicked, this, [this] { refreshAll(true); });
    connect(footer, &PanelFooter::settingsClicked, this, &Application::settingsRequested);
    connect(footer, &PanelFooter::quitClicked, this, &Application::quitRequested);
}

void Application::refreshAll(bool forcePlan)
{
    m_store.refresh();
    m_store.refreshPlan(forcePlan);
}

void Application::scheduleUpdate()
{
    if (m_updateScheduled)
        return;
    m_updateScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_updateScheduled = false;
        update();
    });
}

void Application::update()
{
    updateTray();
    if (m_panel->isVisible())
        updatePanel();
}

void Application::updateTray()
{
    const BarMetric metric = m_settings.barMetric();
    const UsageBucket &today = m_store.aggregates().today;
    const auto &plan = m_store.planUsage();
    const BarTint tint = TrayLabel::barTint(
        m_settings.colorBarNearLimit(), TrayLabel::activeUtilization(metric, plan),
        m_settings.effectiveWarning(), m_settings.effectiveCritical());
    const QString text = TrayLabel::text(metric, today, plan);
    const Instant now = Instant::now();
    // Where the pace leads the window the label shows, if it shows one.
    PlanProjection pace;
    const PlanProjection both = Projection::forPlan(m_store.history(), plan, now);
    if (metric == BarMetric::plan5h)
        pace.fiveHour = both.fiveHour;
    else if (metric == BarMetric::planWeek)
        pace.sevenDay = both.sevenDay;
    QString toolTip = TrayLabel::toolTip(metric, text);
    if (const QString line = PanelText::pace(pace.fiveHour ? pace.fiveHour : pace.sevenDay, now);
        !line.isEmpty())
        toolTip += u'\n' + line;
    m_tray->setLabel(TrayLabel::iconText(metric, today, plan), tint, text, toolTip);
    const PlanLimitsValues limits{
        plan, m_store.planErrorText(), m_store.planRetryAtInstant(), {}, {}, {}, pace};
    m_tray->setFigureRows(TrayMenu::figureRows(limits, today, now));
}

void Application::updatePanel()
{
    m_panel->view()->setValues(collectPanelValues(m_store, m_settings, Instant::now()));
}
