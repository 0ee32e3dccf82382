#pragma once

#include "settings/launchatlogin.h"
#include "settings/settings.h"

#include <QWidget>

#include <utility>
#include <vector>

class LoginItem;
class QCheckBox;
class QComboBox;
class QLayout;
class QLabel;
class SteppedSlider;
class UsageStore;

// The form in which the user sets every preference. Each control writes through the settings
// object and follows its change signal, so a write made anywhere else shows here at once. A few
// controls do more: start at login goes through the login item (the toggle ends showing the real
// state), switching notifications on asks for permission, the two thresholds are kept apart, and
// a new plan interval reschedules the store's plan timer.
class SettingsWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsWindow)

public:
    SettingsWindow(UsageStore &store, Settings &settings, LoginItem &loginItem,
                   LaunchAtLogin::Log log, QWidget *parent = nullptr);
    ~SettingsWindow() override;

    // Shows the window, or brings the open one forward, above other applications' windows.
    void present();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *generalSection();
    QWidget *menuBarSection();
    QWidget *dropdownSection();
    QWidget *refreshSection();
    QWidget *dataSourceSection();
    QWidget *section(const QString &title, QLayout *body);
    QCheckBox *toggle(const QString &text, Settings::Key key);
    QLabel *caption(const QString &text);
    QLabel *valueText(Settings::Key key, int width);
    SteppedSlider *slider(const QString &name, Settings::Key key, int min, int max, int step);

    void warningMoved(int warning);
    void criticalMoved(int critical);
    void intervalMoved(int minutes);
    // Asks the desktop whether start at login is on and stores the answer.
    void readLoginState();
    void follow(Settings::Key key);
    void styleCaptions();

    UsageStore &m_store;
    Settings &m_settings;
    LoginItem &m_loginItem;
    LaunchAtLogin::Log m_log;

    std::vector<std::pair<Settings::Key, QCheckBox *>> m_toggles;
    std::vector<QLabel *> m_captions;
    QWidget *m_thresholds = nullptr;
    SteppedSlider *m_warning = nullptr;
    SteppedSlider *m_critical = nullptr;
    SteppedSlider *m_interval = nullptr;
    QLabel *m_warningText = nullptr;
    QLabel *m_criticalText = nullptr;
    QLabel *m_intervalText = nullptr;
    QComboBox *m_barMetric = nullptr;
};
