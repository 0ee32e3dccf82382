#include "format/monthtext.h"

#include "format/format.h"
#include "format/timetext.h"

#include <QCoreApplication>
#include <QDate>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MonthText", text);
}

} // namespace

namespace MonthText {

QString line(const MonthForecast &month, const QLocale &locale)
{
    const QString soFar = QString::fromStdString(Format::cost(month.cost));
    if (!month.forecast)
        return tr("This month %1 so far").arg(soFar);
    const std::tm last = TimeText::local(month.lastDay);
    const QDate date(last.tm_year + 1900, last.tm_mon + 1, last.tm_mday);
    //: The month's last day, in QDate's format letters: "Dec 31".
    const QString day = locale.toString(date, tr("MMM d"));
    return tr("This month %1 so far \u2014 at this pace about %2 by %3")
        .arg(soFar, QString::fromStdString(Format::cost(*month.forecast)), day);
}

} // namespace MonthText
