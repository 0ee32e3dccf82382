#pragma once

#include "alerts/projection.h"
#include "base/instant.h"
#include "plan/planusage.h"

#include <QLocale>
#include <QString>

// The texts of the panel that depend on the clock or the user's locale. Pure: the current
// instant and the locale are arguments.
namespace PanelText {

// A coming (or past) instant relative to `now`, in whole words of its largest unit, truncated:
// "in 3 hours", "in 2 days", "in 1 minute", "5 minutes ago"; "now" within a second.
QString relative(Instant target, Instant now);
// The clock time of `t` in the user's time zone, with seconds, in the locale's format:
// "2:03:12 PM", "14:03:12".
QString clockTime(Instant t, const QLocale &locale = QLocale());
// The locale's time format with seconds and without the time zone.
QString clockTimeFormat(const QLocale &locale);
// The clock time of `t` to the minute, in the locale's short format ("3:40 PM", "15:40"),
// led by the weekday when `t` falls on another local day than `now` ("Thu 15:40").
QString clockMinute(Instant t, Instant now, const QLocale &locale = QLocale());
// "At this pace: limit at 15:40, 20 min before reset" or "At this pace: about 78% at reset";
// empty without a projection.
QString pace(const std::optional<PaceProjection> &projection, Instant now,
             const QLocale &locale = QLocale());
// The abbreviated weekday name of the local day holding `t`: "Mon", "Mo.".
QString weekday(Instant t, const QLocale &locale = QLocale());
// The display name of a model: its tier when the identifier names one, else the identifier.
QString shortModel(const QString &model);
// "5h window 42% — resets in 2 hours", or "Weekly 81%" without a reset time: a main window as one
// line, `title` already translated.
QString limitLine(const QString &title, const LimitWindow &window, Instant now);
// "Rate limited — retrying in 1m 5s", the seconds counted down from `now`.
QString rateLimitNotice(Instant retryAt, Instant now);

} // namespace PanelText
