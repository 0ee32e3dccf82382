#include "settings/prefs.h"

#include <QHash>
#include <QSettings>

namespace {

const QString organisation = QStringLiteral("VarnelUsage");
const QString application = QStringLiteral("VarnelUsage");

// The registration domain: in memory for the life of the process, never written.
QHash<QString, QVariant> &registered()
{
    static QHash<QString, QVariant> defaults;
    return defaults;
}

QVariant lookup(const QString &key)
{
    QVariant value = Prefs::storedValue(key);
    if (!value.isValid())
        value = registered().value(key);
    return value;
}

} // namespace

namespace Prefs {

const std::vector<Entry> &entries()
{
    static const std::vector<Entry> table{
        {Key::barMetric, QStringLiteral("plan5h")},
        {Key::showPlanLimits, true},
        {Key::showToday, true},
        {Key::showLast7Days, true},
        {Key::showPerModel, false},
        {Key::planInterval, 5.0},
        {Key::launchAtLogin, false},
        {Key::colorBarNearLimit, true},
        {Key::notifyLimits, true},
        {Key::notifyWarning, defaultWarning},
        {Key::notifyCritical, defaultCritical},
    };
    return table;
}

QVariant declaredDefault(const QString &key)
{
    for (const Entry &entry : entries()) {
        if (entry.key == key)
            return entry.defaultValue;
    }
    return {};
}

void registerDefaults()
{
    for (const Entry &entry : entries())
        registered().insert(entry.key, entry.defaultValue);
}

QVariant storedValue(const QString &key)
{
    const QSettings settings(organisation, application);
    return settings.value(key);
}

void setValue(const QString &key, const QVariant &value)
{
    QSettings settings(organisation, application);
    settings.setValue(key, value);
    settings.sync();
}

bool toBool(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString: {
        // The settings file is text: a stored boolean comes back as "true" or "false".
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
            return true;
        bool ok = false;
        const double number = text.toDouble(&ok);
        return ok && number != 0;
    }
    default: {
        bool ok = false;
        const double number = value.toDouble(&ok);
        return ok && number != 0;
    }
    }
}

double toDouble(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1.0 : 0.0;
    bool ok = false;
    const double number = value.typeId() == QMetaType::QString
                              ? value.toString().trimmed().toDouble(&ok)
                              : value.toDouble(&ok);
    return ok ? number : 0.0;
}

bool boolValue(const QString &key)
{
    return toBool(lookup(key));
}

double doubleValue(const QString &key)
{
    return toDouble(lookup(key));
}

QString stringValue(const QString &key)
{
    const QVariant value = lookup(key);
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    return value.canConvert<QString>() ? value.toString() : QString();
}

double effectiveThreshold(double stored, double fallback)
{
    return stored > 0 ? stored : fallback;
}

double effectiveWarning()
{
    return effectiveThreshold(doubleValue(Key::notifyWarning), defaultWarning);
}

double effectiveCritical()
{
    return effectiveThreshold(doubleValue(Key::notifyCritical), defaultCritical);
}

BarMetric barMetric()
{
    return barMetricFromRaw(stringValue(Key::barMetric)).value_or(BarMetric::plan5h);
}

} // namespace Prefs
