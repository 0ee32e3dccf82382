#include "tray/traymenu.h"

#include "format/format.h"
#include "format/paneltext.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TrayMenu", text);
}

// The title and percent of a limit row, and its reset phrase when the window has one.
QString limitRow(const char *title, const LimitWindow &window, Instant now)
{
    return PanelText::limitLine(tr(title), window, now);
}

} // namespace

namespace TrayMenu {

QStringList figureRows(const PlanLimitsValues &plan, const UsageBucket &today, Instant now)
{
    QStringList rows;
    switch (planLimitsState(plan, now)) {
    case PlanLimitsState::limits:
        if (plan.plan->fiveHour)
            rows << limitRow(QT_TRANSLATE_NOOP("TrayMenu", "5h window"), *plan.plan->fiveHour, now);
        if (plan.plan->fiveHour && plan.pace.fiveHour)
            rows << PanelText::pace(plan.pace.fiveHour, now);
        if (plan.plan->sevenDay)
            rows << limitRow(QT_TRANSLATE_NOOP("TrayMenu", "Weekly"), *plan.plan->sevenDay, now);
        if (plan.plan->sevenDay && plan.pace.sevenDay)
            rows << PanelText::pace(plan.pace.sevenDay, now);
        break;
    case PlanLimitsState::rateLimited:
        rows << PanelText::rateLimitNotice(*plan.retryAt, now);
        break;
    case PlanLimitsState::error:
        rows << *plan.error;
        break;
    case PlanLimitsState::loading:
        rows << tr("Plan limits — Loading…");
        break;
    }
    rows << tr("Today %1").arg(QString::fromStdString(Format::cost(today.cost)));
    return rows;
}

TrayMenuEntries entries(const QStringList &figureRows)
{
    TrayMenuEntries out;
    int id = firstFigureId;
    for (const QString &row : figureRows)
        out.append({id++, row, false, false});
    out.append({figuresEnd, {}, true, true});
    out.append({showUsage, tr("Show Usage")});
    out.append({refresh, tr("Refresh Now")});
    out.append({settings, tr("Settings…")});
    out.append({separator, {}, true, true});
    out.append({quit, tr("Quit")});
    return out;
}

} // namespace TrayMenu
