#pragma once

#include "settings/barmetric.h"

#include <QString>
#include <QVariant>

#include <vector>

// The user's preferences: eleven flat entries in the per-user settings file of organisation and
// application "VarnelUsage". Registered defaults live in memory only and answer reads of keys the
// user never set. Main thread only.
namespace Prefs {

namespace Key {
inline const QString barMetric = QStringLiteral("barMetric");
inline const QString showPlanLimits = QStringLiteral("showPlanLimits");
inline const QString showToday = QStringLiteral("showToday");
inline const QString showLast7Days = QStringLiteral("showLast7Days");
inline const QString showPerModel = QStringLiteral("showPerModel");
inline const QString planInterval = QStringLiteral("planInterval");
inline const QString launchAtLogin = QStringLiteral("launchAtLogin");
inline const QString colorBarNearLimit = QStringLiteral("colorBarNearLimit");
inline const QString notifyLimits = QStringLiteral("notifyLimits");
inline const QString notifyWarning = QStringLiteral("notifyWarning");
inline const QString notifyCritical = QStringLiteral("notifyCritical");
} // namespace Key

inline constexpr double defaultWarning = 80.0;
inline constexpr double defaultCritical = 95.0;

struct Entry
{
    QString key;
    QVariant defaultValue; // bool, double or QString
};

// Every preference with its default, in registration order.
const std::vector<Entry> &entries();
// The default `entries()` declares for `key`; invalid for a key it does not list.
QVariant declaredDefault(const QString &key);

// Makes the defaults answer reads of unset keys. Writes nothing. Call once at start-up.
void registerDefaults();

// Typed reads: the stored value, else the registered default, else false / 0.0 / "".
bool boolValue(const QString &key);
double doubleValue(const QString &key);
QString stringValue(const QString &key);

// The stored value or invalid; the registration does not answer here.
QVariant storedValue(const QString &key);
// Stores at once. Views write through PrefBinding, which also tells the other views.
void setValue(const QString &key, const QVariant &value);

// How every reader converts what the settings file holds: "true"/"yes" or a non-zero number is
// true; text that is no number reads as 0.
bool toBool(const QVariant &value);
double toDouble(const QVariant &value);

// A stored threshold counts only when it is greater than 0.
double effectiveThreshold(double stored, double fallback);
double effectiveWarning();
double effectiveCritical();

// The stored metric; anything that is not exactly a raw value shows as plan5h (and is left as
// stored).
BarMetric barMetric();

} // namespace Prefs
