#pragma once

#include "settings/barmetric.h"

#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

// The user's preferences, the one door to them in the process: typed getters and setters over
// the per-user settings file (organisation and application "VarnelUsage"), one table of defaults
// that answers every key the user never set, and one change signal for every write, whoever makes
// it. Writes reach the file at once. Preferences that cannot be opened safely (a named pipe or a
// device in the file's place) count as absent: the defaults answer, and writes last for the
// session without touching the file. Main thread only.
class Settings final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Settings)

public:
    // In the order of the defaults table; the last is the limit notifier's own.
    enum class Key {
        barMetric,
        showPlanLimits,
        showToday,
        showLast7Days,
        showPerModel,
        showPerProject,
        planInterval,
        launchAtLogin,
        colorBarNearLimit,
        notifyLimits,
        notifyWarning,
        notifyCritical,
        notifiedThresholdKeys,
    };
    Q_ENUM(Key)

    static constexpr double defaultWarning = 80.0;
    static constexpr double defaultCritical = 95.0;

    // The name a key is stored under, and the default that answers while it is unset.
    static QString name(Key key);
    static QVariant defaultValue(Key key);

    explicit Settings(QObject *parent = nullptr);
    ~Settings() override;

    QString barMetricRaw() const { return stringValue(Key::barMetric); }
    void setBarMetricRaw(const QString &raw) { setValue(Key::barMetric, raw); }
    // Anything that is not exactly a raw value shows as plan5h (and is left as stored).
    BarMetric barMetric() const;
    bool showPlanLimits() const { return boolValue(Key::showPlanLimits); }
    void setShowPlanLimits(bool on) { setValue(Key::showPlanLimits, on); }
    bool showToday() const { return boolValue(Key::showToday); }
    void setShowToday(bool on) { setValue(Key::showToday, on); }
    bool showLast7Days() const { return boolValue(Key::showLast7Days); }
    void setShowLast7Days(bool on) { setValue(Key::showLast7Days, on); }
    bool showPerModel() const { return boolValue(Key::showPerModel); }
    void setShowPerModel(bool on) { setValue(Key::showPerModel, on); }
    bool showPerProject() const { return boolValue(Key::showPerProject); }
    void setShowPerProject(bool on) { setValue(Key::showPerProject, on); }
    // Minutes.
    double planInterval() const { return doubleValue(Key::planInterval); }
    void setPlanInterval(double minutes) { setValue(Key::planInterval, minutes); }
    bool launchAtLogin() const { return boolValue(Key::launchAtLogin); }
    void setLaunchAtLogin(bool on) { setValue(Key::launchAtLogin, on); }
    bool colorBarNearLimit() const { return boolValue(Key::colorBarNearLimit); }
    void setColorBarNearLimit(bool on) { setValue(Key::colorBarNearLimit, on); }
    bool notifyLimits() const { return boolValue(Key::notifyLimits); }
    void setNotifyLimits(bool on) { setValue(Key::notifyLimits, on); }
    // Percent of a limit used, as stored.
    double notifyWarning() const { return doubleValue(Key::notifyWarning); }
    void setNotifyWarning(double percent) { setValue(Key::notifyWarning, percent); }
    double notifyCritical() const { return doubleValue(Key::notifyCritical); }
    void setNotifyCritical(double percent) { setValue(Key::notifyCritical, percent); }
    // A stored threshold counts only when it is greater than 0; else 80 and 95.
    double effectiveWarning() const;
    double effectiveCritical() const;

    // The threshold keys already announced, oldest first. Read afresh from the file, so another
    // process of the same user (the report command beside the application) is seen.
    QStringList notifiedThresholdKeys();
    void setNotifiedThresholdKeys(const QStringList &keys);
    // Reads the keys afresh, hands them to `update` and stores what it returns (nothing: no
    // write), as one step for every process of the user, under a lock file beside the
    // preferences. False, without calling `update`, when the lock is not had within a second.
    bool updateNotifiedThresholdKeys(
        const std::function<std::optional<QStringList>(QStringList)> &update);

    // By key, for code that binds a control to a key. Conversions are those of the getters: text
    // "true"/"yes" or a non-zero number is true; text that is no number reads as 0.
    QVariant value(Key key) const;
    bool boolValue(Key key) const;
    double doubleValue(Key key) const;
    QString stringValue(Key key) const;
    void setValue(Key key, const QVariant &value);
    // Forgets the stored value: the default answers again.
    void reset(Key key);

signals:
    void changed(Settings::Key key);

private:
    QVariant storedValue(Key key) const;

    std::unique_ptr<QSettings> m_file; // none when the preferences count as absent
    QVariantHash m_session;            // then the writes of this session
};
