#include "settings/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <array>

#include <sys/stat.h>

namespace {

struct Entry
{
    const char *name;
    QVariant defaultValue;
};

// The defaults table, in the order of the keys.
const std::array<Entry, 13> &table()
{
    static const std::array<Entry, 13> entries{{
        {"barMetric", QStringLiteral("plan5h")},
        {"showPlanLimits", true},
        {"showToday", true},
        {"showLast7Days", true},
        {"showPerModel", false},
        {"showPerProject", false},
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

// The files the preferences are read from, where the per-user settings store keeps them: the
// user's and every system configuration directory, each with the application's and the
// organisation's file. It opens them with a blocking open(), so a named pipe or a device in one's
// place would hang the process for good (holding the single-instance lock): such a file makes
// the preferences count as absent. A symbolic link to a regular file is fine.
bool preferencesOpenSafely()
{
    const QStringList dirs =
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    for (const QString &dir : dirs) {
        for (const char *name : {"/VarnelUsage/VarnelUsage.conf", "/VarnelUsage.conf"}) {
            struct stat st
            {
            };
            if (::stat(QFile::encodeName(dir + QLatin1String(name)).constData(), &st) == 0 &&
                !S_ISREG(st.st_mode))
                return false;
        }
    }
    return true;
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

Settings::Settings(QObject *parent) : QObject(parent)
{
    if (preferencesOpenSafely())
        m_file = std::make_unique<QSettings>(QStringLiteral("VarnelUsage"),
                                             QStringLiteral("VarnelUsage"));
    static_assert(static_cast<std::size_t>(Key::notifiedThresholdKeys) + 1 == 13);
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
    if (m_file)
        m_file->sync();
    const QVariant stored = storedValue(Key::notifiedThresholdKeys);
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

bool Settings::updateNotifiedThresholdKeys(
    const std::function<std::optional<QStringList>(QStringList)> &update)
{
    // A lock file of its own: the settings store takes "<file>.lock" around each of its writes.
    std::optional<QLockFile> lock;
    if (m_file) {
        const QString path = m_file->fileName();
        QDir().mkpath(QFileInfo(path).path()); // a fresh user has no directory yet
        lock.emplace(path + QStringLiteral(".notified.lock"));
        if (!lock->tryLock(1000))
            return false;
    }
    if (std::optional<QStringList> next = update(notifiedThresholdKeys()))
        setNotifiedThresholdKeys(*next);
    return true;
}

QVariant Settings::storedValue(Key key) const
{
    return m_file ? m_file->value(name(key)) : m_session.value(name(key));
}

QVariant Settings::value(Key key) const
{
    const QVariant stored = storedValue(key);
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
    if (m_file) {
        m_file->setValue(name(key), value);
        m_file->sync();
    } else {
        m_session.insert(name(key), value);
    }
    emit changed(key);
}

void Settings::reset(Key key)
{
    if (m_file) {
        m_file->remove(name(key));
        m_file->sync();
    } else {
        m_session.remove(name(key));
    }
    emit changed(key);
}
