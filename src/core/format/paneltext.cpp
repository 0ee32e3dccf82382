#include "format/paneltext.h"

#include "format/format.h"
#include "format/pacetext.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cmath>

namespace {

struct Unit
{
    double seconds;
    // Future and past, singular and plural: English has two forms, so each is its own text;
    // languages with more forms translate the plural one with %n.
    const char *future1;
    const char *futureN;
    const char *past1;
    const char *pastN;
};

constexpr Unit units[] = {
    {604800, QT_TRANSLATE_NOOP("PanelText", "in %n week"),
     QT_TRANSLATE_NOOP("PanelText", "in %n weeks"), QT_TRANSLATE_NOOP("PanelText", "%n week ago"),
     QT_TRANSLATE_NOOP("PanelText", "%n weeks ago")},
    {86400, QT_TRANSLATE_NOOP("PanelText", "in %n day"),
     QT_TRANSLATE_NOOP("PanelText", "in %n days"), QT_TRANSLATE_NOOP("PanelText", "%n day ago"),
     QT_TRANSLATE_NOOP("PanelText", "%n days ago")},
    {3600, QT_TRANSLATE_NOOP("PanelText", "in %n hour"),
     QT_TRANSLATE_NOOP("PanelText", "in %n hours"), QT_TRANSLATE_NOOP("PanelText", "%n hour ago"),
     QT_TRANSLATE_NOOP("PanelText", "%n hours ago")},
    {60, QT_TRANSLATE_NOOP("PanelText", "in %n minute"),
     QT_TRANSLATE_NOOP("PanelText", "in %n minutes"),
     QT_TRANSLATE_NOOP("PanelText", "%n minute ago"),
     QT_TRANSLATE_NOOP("PanelText", "%n minutes ago")},
    {1, QT_TRANSLATE_NOOP("PanelText", "in %n second"),
     QT_TRANSLATE_NOOP("PanelText", "in %n seconds"),
     QT_TRANSLATE_NOOP("PanelText", "%n second ago"),
     QT_TRANSLATE_NOOP("PanelText", "%n seconds ago")},
};

QDateTime localDateTime(Instant t)
{
    return QDateTime::fromMSecsSinceEpoch(t.micros / 1000, Qt::LocalTime);
}

// `format` without its `field` letters outside quoted text; with `separator`, also without the
// separator before each (the ":" before seconds).
QString withoutField(const QString &format, QChar field, bool separator)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == field) {
            while (separator && !out.isEmpty() && !out.back().isLetter() && out.back() != u'\'')
                out.chop(1);
            continue;
        }
        out += c;
    }
    return out;
}

// The locale's short clock without seconds, which some (the C locale) put in it.
QString clockMinuteFormat(const QLocale &locale)
{
    return withoutField(locale.timeFormat(QLocale::ShortFormat), u's', true);
}

} // namespace

namespace PanelText {

QString relative(Instant target, Instant now)
{
    const double delta = target.secondsSince(now);
    const double magnitude = std::fabs(delta);
    for (const Unit &unit : units) {
        if (magnitude < unit.seconds)
            continue;
        const int n = int(std::min(std::floor(magnitude / unit.seconds), 1e9));
        const char *text =
            delta > 0 ? (n == 1 ? unit.future1 : unit.futureN) : (n == 1 ? unit.past1 : unit.pastN);
        return QCoreApplication::translate("PanelText", text, nullptr, n);
    }
    return QCoreApplication::translate("PanelText", "now");
}

QString clockTimeFormat(const QLocale &locale)
{
    // The long format is the medium one plus the time zone ("t"); quoted text is kept as is.
    return withoutField(locale.timeFormat(QLocale::LongFormat), u't', false).simplified();
}

QString clockTime(Instant t, const QLocale &locale)
{
    return locale.toString(localDateTime(t).time(), clockTimeFormat(locale));
}

QString clockMinute(Instant t, Instant now, const QLocale &locale)
{
    const QDateTime local = localDateTime(t);
    const QString clock = locale.toString(local.time(), clockMinuteFormat(locale));
    if (local.date() == localDateTime(now).date())
        return clock;
    return QStringLiteral("%1 %2").arg(weekday(t, locale), clock);
}

QString pace(const std::optional<PaceProjection> &projection, Instant now, const QLocale &locale)
{
    if (!projection)
        return {};
    return PaceText::sentence(*projection, projection->limitAt
                                               ? clockMinute(*projection->limitAt, now, locale)
                                               : QString());
}

QString weekday(Instant t, const QLocale &locale)
{
    return locale.dayName(localDateTime(t).date().dayOfWeek(), QLocale::ShortFormat);
}

QString shortModel(const QString &model)
{
    const QString lower = model.toLower();
    if (lower.contains(u"magnar"))
        return QStringLiteral("Magnar");
    if (lower.contains(u"corvel"))
        return QStringLiteral("Corvel");
    if (lower.contains(u"tindle"))
        return QStringLiteral("Tindle");
    return model;
}

QString limitLine(const QString &title, const LimitWindow &window, Instant now)
{
    const QString figure = QStringLiteral("%1 %2").arg(
        title, QString::fromStdString(Format::percent(window.utilization)));
    if (!window.resetsAt)
        return figure;
    return QCoreApplication::translate("PanelText", "%1 — resets %2")
        .arg(figure, relative(*window.resetsAt, now));
}

QString rateLimitNotice(Instant retryAt, Instant now)
{
    const double seconds = std::max(retryAt.secondsSince(now), 0.0);
    return QCoreApplication::translate("PanelText", "Rate limited — retrying in %1")
        .arg(QString::fromStdString(Format::countdown(seconds)));
}

} // namespace PanelText
