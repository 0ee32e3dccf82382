#pragma once

#include "base/instant.h"

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
// The abbreviated weekday name of the local day holding `t`: "Mon", "Mo.".
QString weekday(Instant t, const QLocale &locale = QLocale());
// The display name of a model: its tier when the identifier names one, else the identifier.
QString shortModel(const QString &model);
// "Rate limited — retrying in 1m 5s", the seconds counted down from `now`.
QString rateLimitNotice(Instant retryAt, Instant now);

} // namespace PanelText
