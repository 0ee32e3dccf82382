#include "alerts/notifier.h"

#include "settings/settings.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// printf-style rounding to a whole number: 84.5 gives 84, 85.5 gives 86.
QString wholePercent(double utilization)
{
    char text[512];
    std::snprintf(text, sizeof text, "%.0f", utilization);
    return QString::fromLatin1(text);
}

} // namespace

Notifier::Notifier(Settings &settings, std::shared_ptr<NotificationSink> sink)
    : m_settings(settings), m_sink(std::move(sink))
{
}

void Notifier::requestAuthorization()
{
    if (m_sink)
        m_sink->requestAuthorization();
}

QString Notifier::thresholdKey(const QString &name, std::optional<Instant> resetsAt, bool critical)
{
    // Whole seconds, truncated toward zero.
    const QString reset =
        resetsAt ? QString::number(resetsAt->micros / 1'000'000) : QStringLiteral("\u2014");
    return name + ':' + reset + ':' +
           (critical ? QLatin1String("critical") : QLatin1String("warning"));
}

Notification Notifier::notification(const QString &name, double utilization, bool critical)
{
    const QString shown = QCoreApplication::translate("Notifier", name.toUtf8().constData());
    const QString title =
        critical ? QCoreApplication::translate("Notifier", "Varnel %1 limit almost reached")
                 : QCoreApplication::translate("Notifier", "Varnel %1 usage high");
    const QString body =
        QCoreApplication::translate("Notifier", "You've used %1% of your %2 limit.");
    return {title.arg(shown), body.arg(wholePercent(utilization), shown), critical};
}

void Notifier::check(const std::optional<LimitWindow> &window, const QString &name)
{
    if (!window)
        return;
    const double u = window->utilization;
    const bool critical = m_settings.effectiveCritical() <= u;
    if (!critical && !(m_settings.effectiveWarning() <= u))
        return;

    const QString key = thresholdKey(name, window->resetsAt, critical);
    // Checked and recorded in one step for every process of the user (the application and a
    // status bar's report both watch the plan), so each threshold is announced once. Without the
    // lock nothing is recorded or shown; the next poll checks again.
    bool announce = false;
    m_settings.updateNotifiedThresholdKeys(
        [&](QStringList announced) -> std::optional<QStringList> {
            if (announced.contains(key))
                return std::nullopt;
            // Kept in order of announcement. A critical announcement stands for the warning of
            // the same period too, so a later reading in the warning band is not announced.
            QStringList added;
            if (critical)
                added << thresholdKey(name, window->resetsAt, false);
            added << key;
            for (const QString &k : added)
                announced.removeAll(k);
            announced << added;
            // The oldest go first: what was just announced must stay, or it would be announced
            // again at the next poll.
            if (announced.size() > maxKeys)
                announced.erase(announced.begin(), announced.end() - maxKeys);
            announce = true;
            return announced;
        });
    if (!announce)
        return;

    if (m_sink)
        m_sink->post(notification(name, u, critical));
}
