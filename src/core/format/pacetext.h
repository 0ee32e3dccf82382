#pragma once

#include "alerts/projection.h"

#include <QString>

// The sentence under a plan window that says where the pace leads.
namespace PaceText {

// "20 min", "1 h 20 min", "2 h", "3 d 4 h", "3 d"; "under 1 min" below half a minute. Whole
// minutes, rounded; from a day on, whole hours.
QString duration(double seconds);
// "At this pace: limit at 15:40, 20 min before reset" with `clock` the limit's clock time as the
// caller shows clock times, or "At this pace: about 78% at reset".
QString sentence(const PaceProjection &projection, const QString &clock);

} // namespace PaceText
