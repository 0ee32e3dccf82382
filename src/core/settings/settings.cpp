#include "settings/settings.h"

#include <array>

namespace {

struct Entry
{
    const char *name;
    QVariant defaultValue;
};

// The defaults table, in the order of the keys.
const std::array<Entry, 12> &table()
{
    static const std::array<Entry, 12> entries{{
        {"barMetric", QStringLiteral("plan5h")},
        {"showPlanLimits", true},
        {"showToday", true},
        {"showLast7Days", true},
        {"showPerModel", false},
        {"planInterval", 5.0},
        {"launchAtLogin", false},
        {"colorBarNearLimit", true},
        {"notifyLimits", true},
        {"notifyWarning", Settings::defaultWarning},
        {"notifyCritical", Settings::defaultCritical},
        {"notifiedThresholdKeys", QStringList()},
    }};
    return entries;
}

const Entry &entry(Settings::Key key)
{
    return table()[static_cast<std::size_t>(key)];
}

// The settings file is text: a stored boolean comes back as "true" or "false".
bool toBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
            return true;
        bool ok = false;
        const double number = text.toDouble(&ok);
        return ok && number != 0;
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok && number != 0;
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

double effective(double stored, double fallback)
{
    return stored > 0 ? stored : fallback; // also false for not-a-number
}

} // namespace

QString Settings::name(Key key)
{
    return QString::fromLatin1(entry(key).name);
}

QVariant Settings::defaultValue(Key key)
{
    return entry(key).defaultValue;
}

Settings::Settings(QObject *parent)
    : QObject(parent), m_file(QStringLiteral("VarnelUsage"), QStringLiteral("VarnelUsage"))
{
    static_assert(static_cast<std::size_t>(Key::notifiedThresholdKeys) + 1 == 12);
}

Settings::~Settings() = default;

BarMetric Settings::barMetric() const
{
    return barMetricFromRaw(barMetricRaw()).value_or(BarMetric::plan5h);
}

double Settings::effectiveWarning() const
{
    return effective(notifyWarning(), defaultWarning);
}

double Settings::effectiveCritical() const
{
    return effective(notifyCritical(), defaultCritical);
}

QStringList Settings::notifiedThresholdKeys()
{
    m_file.sync();
    const QVariant stored = m_file.value(name(Key::notifiedThresholdKeys));
    // Anything but a list of strings counts as nothing announced yet.
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList();
    if (stored.typeId() == QMetaType::QVariantList) {
        QStringList keys;
        for (const QVariant &item : stored.toList()) {
            if (item.typeId() != QMetaType::QString)
                return {};
            keys.append(item.toString());
        }
        return keys;
    }
    // The file keeps a list of one as plain text.
    if (stored.typeId() == QMetaType::QString)
        return {stored.toString()};
    return {};
}

void Settings::setNotifiedThresholdKeys(const QStringList &keys)
{
    setValue(Key::notifiedThresholdKeys, keys);
}

QVariant Settings::value(Key key) const
{
    const QVariant stored = m_file.value(name(key));
    return stored.isValid() ? stored : defaultValue(key);
}

bool Settings::boolValue(Key key) const
{
    return toBool(value(key));
}

double Settings::doubleValue(Key key) const
{
    return toDouble(value(key));
}

QString Settings::stringValue(Key key) const
{
    const QVariant v = value(key);
    return v.canConvert<QString>() ? v.toString() : QString();
}

void Settings::setValue(Key key, const QVariant &value)
{
    m_file.setValue(name(key), value);
    m_file.sync();
    emit changed(key);
}

void Settings::reset(Key key)
{
    m_file.remove(name(key));
    m_file.sync();
    emit changed(key);
}
