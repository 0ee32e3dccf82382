#include "format/pacetext.h"

#include "format/format.h"

#include <QCoreApplication>

#include <cmath>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PaceText", text);
}

} // namespace

namespace PaceText {

QString duration(double seconds)
{
    const long long minutes = std::llround(std::max(seconds, 0.0) / 60);
    if (minutes < 1)
        return tr("under 1 min");
    if (minutes < 60)
        return tr("%1 min").arg(minutes);
    if (minutes < 24 * 60) {
        const long long h = minutes / 60, m = minutes % 60;
        return m ? tr("%1 h %2 min").arg(h).arg(m) : tr("%1 h").arg(h);
    }
    const long long hours = std::llround(std::max(seconds, 0.0) / 3600);
    const long long d = hours / 24, h = hours % 24;
    return h ? tr("%1 d %2 h").arg(d).arg(h) : tr("%1 d").arg(d);
}

QString sentence(const PaceProjection &projection, const QString &clock)
{
    if (projection.limitAt)
        return tr("At this pace: limit at %1, %2 before reset")
            .arg(clock, duration(projection.resetsAt.secondsSince(*projection.limitAt)));
    return tr("At this pace: about %1 at reset")
        .arg(QString::fromStdString(Format::percent(projection.atReset.value_or(0))));
}

} // namespace PaceText
