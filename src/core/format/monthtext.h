#pragma once

#include "transcripts/monthforecast.h"

#include <QLocale>
#include <QString>

// The line that says what the month has cost and where the recent pace leads.
namespace MonthText {

// "This month $123.40 so far — at this pace about $410 by Dec 31", or its first part alone
// without a forecast; the month's last day in `locale`'s month name.
QString line(const MonthForecast &month, const QLocale &locale = QLocale());

} // namespace MonthText
