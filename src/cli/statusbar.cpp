#include "statusbar.h"

#include "base/bytepath.h"
#include "format/format.h"
#include "format/monthtext.h"
#include "format/paneltext.h"
#include "format/plaintext.h"
#include "format/projectname.h"
#include "format/traylabel.h"
#include "jsontext.h"
#include "settings/settings.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StatusBar", text);
}

QString figure(const std::string &s)
{
    return QString::fromStdString(s);
}

std::optional<PlanUsage> planOf(const ReportData &data)
{
    return data.plan ? data.plan->usage : std::nullopt;
}

void addPlanLines(QStringList &lines, const PlanState &plan)
{
    const Instant now = plan.now;
    if (const auto &usage = plan.usage) {
        if (usage->fiveHour) {
            lines << PanelText::limitLine(tr("5h window"), *usage->fiveHour, now);
            if (plan.projection.fiveHour)
                lines << PanelText::pace(plan.projection.fiveHour, now);
        }
        if (usage->sevenDay) {
            lines << PanelText::limitLine(tr("Weekly"), *usage->sevenDay, now);
            if (plan.projection.sevenDay)
                lines << PanelText::pace(plan.projection.sevenDay, now);
        }
        const std::pair<const char *, const std::optional<LimitWindow> *> tiers[] = {
            {"Magnar", &usage->sevenDayMagnar}, {"Corvel", &usage->sevenDayCorvel}};
        for (const auto &[name, window] : tiers) {
            if (!*window)
                continue;
            QString row = QStringLiteral("%1 %2").arg(
                QString::fromLatin1(name), figure(Format::percent((*window)->utilization)));
            if ((*window)->resetsAt)
                row += tr(" · resets %1").arg(PanelText::relative(*(*window)->resetsAt, now));
            lines << row;
        }
    }
    if (plan.retryAt && *plan.retryAt > now)
        lines << PanelText::rateLimitNotice(*plan.retryAt, now);
    else if (!plan.usage)
        lines << (plan.error ? QString::fromStdString(*plan.error) : tr("Plan limits — Loading…"));
}

// Pango markup, which bars read tooltips and texts as: model names and errors come from outside.
std::string markupEscaped(const QString &text)
{
    return text.toHtmlEscaped().toStdString();
}

std::string className(BarTint tint)
{
    switch (tint) {
    case BarTint::orange:
        return "warning";
    case BarTint::red:
        return "critical";
    case BarTint::none:
        break;
    }
    return "normal";
}

} // namespace

BarPreferences BarPreferences::from(const Settings &s)
{
    return {s.barMetric(),         s.colorBarNearLimit(), s.effectiveWarning(),
            s.effectiveCritical(), s.showPlanLimits(),    s.showToday(),
            s.showLast7Days(),     s.showPerModel(),      s.showPerProject()};
}

namespace StatusBar {

QStringList panelLines(const ReportData &data, const BarPreferences &prefs)
{
    QStringList lines;
    const Aggregates &a = data.aggregates;
    if (prefs.showPlanLimits && data.plan)
        addPlanLines(lines, *data.plan);
    if (prefs.showToday)
        lines << tr("Today %1 · %2 tokens · %3")
                     .arg(figure(Format::cost(a.today.cost)),
                          figure(Format::tokens(a.today.tokens)),
                          a.today.count == 1 ? tr("1 message")
                                             : tr("%1 messages").arg(a.today.count));
    if (prefs.showToday && a.month)
        lines << MonthText::line(*a.month);
    if (prefs.showLast7Days) {
        for (const DayUsage &d : a.last7Days)
            lines << QStringLiteral("%1 %2").arg(PanelText::weekday(d.date),
                                                 figure(Format::cost(d.bucket.cost)));
    }
    if (prefs.showPerModel) {
        for (std::size_t i = 0; i < std::min<std::size_t>(a.perModel.size(), 5); ++i) {
            const ModelUsage &m = a.perModel[i];
            lines << QStringLiteral("%1 %2  ·  %3")
                         .arg(PanelText::shortModel(QString::fromStdString(m.model)),
                              figure(Format::cost(m.bucket.cost)),
                              figure(Format::tokens(m.bucket.tokens)));
        }
    }
    if (prefs.showPerProject) {
        // As the panel: this week's five dearest projects, none used before this week only.
        const std::string home = BytePath::home();
        std::size_t shown = 0;
        for (const ProjectUsage &p : a.perProject) {
            if (shown == 5)
                break;
            if (p.last7Days.count == 0)
                continue;
            ++shown;
            lines << QStringLiteral("%1 %2  ·  %3")
                         .arg(QString::fromStdString(ProjectName::display(p.project, home)),
                              figure(Format::cost(p.last7Days.cost)),
                              figure(Format::tokens(p.last7Days.tokens)));
        }
    }
    // Model names and errors come from outside: no control character reaches the bar.
    for (QString &l : lines)
        l = QString::fromStdString(PlainText::visible(l.toStdString()));
    return lines;
}

std::string waybar(const ReportData &data, const BarPreferences &prefs)
{
    const std::optional<PlanUsage> plan = planOf(data);
    const UsageBucket &today = data.aggregates.today;
    const std::optional<double> u = TrayLabel::activeUtilization(prefs.metric, plan);
    const BarTint tint =
        TrayLabel::barTint(prefs.colorBarNearLimit, u, prefs.warning, prefs.critical);
    std::string out =
        "{\"text\": " +
        JsonText::string(markupEscaped(TrayLabel::text(prefs.metric, today, plan))) +
        ", \"tooltip\": " + JsonText::string(markupEscaped(panelLines(data, prefs).join(u'\n'))) +
        ", \"class\": " + JsonText::string(className(tint));
    if (u)
        out += ", \"percentage\": " + std::to_string(std::llround(std::clamp(*u, 0.0, 999.0)));
    return out + "}\n";
}

std::string line(const ReportData &data, const BarPreferences &prefs)
{
    const UsageBucket &today = data.aggregates.today;
    const QString cost = tr("%1 today").arg(figure(Format::cost(today.cost)));
    QString text;
    switch (prefs.metric) {
    case BarMetric::costToday:
        text = cost;
        break;
    case BarMetric::tokensToday:
        text = tr("%1 tokens · %2").arg(figure(Format::tokens(today.tokens)), cost);
        break;
    case BarMetric::plan5h:
    case BarMetric::planWeek:
        text =
            QStringLiteral("%1 · %2").arg(TrayLabel::text(prefs.metric, today, planOf(data)), cost);
        break;
    }
    return PlainText::visible(text.toStdString()) + "\n";
}

} // namespace StatusBar
