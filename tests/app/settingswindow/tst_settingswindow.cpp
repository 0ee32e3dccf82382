#include "datarows.h"
#include "fakesink.h"
#include "settings/loginitem.h"
#include "settings/settings.h"
#include "settingswindow/settingswindow.h"
#include "settingswindow/settingswindowopener.h"
#include "store/usagestore.h"

#include <QtTest>
#include <QtWidgets>

using ThresholdRow = std::tuple<const char *, double, double, const char *, double, double>;
using LoginRow = std::tuple<bool, bool, bool, bool, bool>;
Q_DECLARE_METATYPE(ThresholdRow)
Q_DECLARE_METATYPE(LoginRow)

namespace {

struct FakeLoginItem final : LoginItem
{
    bool registered = false, failing = false;

    bool isRegistered() const override { return registered; }
    std::optional<QString> setRegistered(bool on) override
    {
        if (failing)
            return QStringLiteral("Read-only file system");
        registered = on;
        return std::nullopt;
    }
};

} // namespace

class TestSettingsWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Settings> m_settings;
    std::shared_ptr<FakeSink> m_sink;
    std::unique_ptr<UsageStore> m_store;
    FakeLoginItem m_loginItem;
    QStringList m_log;
    std::unique_ptr<SettingsWindowOpener> m_opener;

    QString root() const { return m_dir.filePath(QStringLiteral("home/.varnel/projects")); }

    SettingsWindow *open()
    {
        m_opener->open();
        return m_opener->window();
    }

    template <typename T> T *control(const char *name)
    {
        T *widget = m_opener->window()->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", m_dir.filePath("data").toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("config"));
        QSettings(QStringLiteral("VarnelUsage"), QStringLiteral("VarnelUsage")).clear();
        m_settings = std::make_unique<Settings>();
        m_sink = std::make_shared<FakeSink>();
        UsageStoreServices services;
        services.notifications = m_sink;
        m_store = std::make_unique<UsageStore>(*m_settings, root().toStdString(), services);
        m_loginItem = FakeLoginItem();
        m_log.clear();
        m_opener = std::make_unique<SettingsWindowOpener>(*m_store, *m_settings, m_loginItem,
                                                          [this](const QString &l) { m_log << l; });
    }

    void cleanup()
    {
        m_opener.reset();
        m_store.reset();
        m_settings.reset();
    }

    // How a slider is moved: "=v" as by code, "+" one key step up, "~v" dragged to v.
    void thresholds_data()
    {
        const char *w = "notifyWarning", *c = "notifyCritical";
        addRows<ThresholdRow>({{"warning to 95 against 95", {w, 80, 95, "=95", 95, 99}},
                               {"critical to 55 against 60", {c, 60, 80, "=55", 50, 55}},
                               {"critical to 80 against 80", {c, 80, 95, "=80", 75, 80}},
                               {"critical a step up from 95", {c, 80, 95, "+", 80, 99}},
                               {"warning dragged to 83", {w, 70, 95, "~83", 85, 95}}});
    }

    void thresholds()
    {
        QFETCH(ThresholdRow, row);
        const auto &[slider, warning, critical, move, newWarning, newCritical] = row;
        m_settings->setNotifyWarning(warning);
        m_settings->setNotifyCritical(critical);
        open();
        auto *s = control<QSlider>(slider);
        const int to = QByteArray(move + 1).toInt();
        if (*move == '=') {
            s->setValue(to);
        } else if (*move == '+') {
            QTest::keyClick(s, Qt::Key_Right);
        } else {
            s->setSliderDown(true);
            s->setSliderPosition(to);
            s->setSliderDown(false);
        }
        QCOMPARE(m_settings->notifyWarning(), newWarning);
        QCOMPARE(m_settings->notifyCritical(), newCritical);
        QCOMPARE(control<QSlider>("notifyCritical")->value(), int(newCritical));
        QCOMPARE(control<QLabel>("notifyWarningText")->text(), QString::number(newWarning) + "%");
    }

    // Showing a value never rewrites it, even one a control cannot take (a stored metric without
    // a choice shows the default). The controls follow their preference whoever writes it; turning
    // notifications on asks for permission, and a step of the interval reschedules the plan timer.
    void controlsFollowSettings()
    {
        m_store->schedulePlanTimer(5); // as the started store has it
        m_settings->setPlanInterval(7.5);
        m_settings->setNotifyWarning(82.9);
        m_settings->setBarMetricRaw(QStringLiteral("CostToday"));
        SettingsWindow *window = open();
        QCOMPARE(control<QLabel>("planIntervalText")->text(), QStringLiteral("7 min"));
        QCOMPARE(control<QLabel>("notifyWarningText")->text(), QStringLiteral("82%"));
        auto *choice = control<QComboBox>("barMetric");
        QCOMPARE(choice->currentIndex(), 0);
        QCOMPARE(m_settings->planInterval(), 7.5);
        QCOMPARE(m_settings->notifyWarning(), 82.9);
        QCOMPARE(m_settings->barMetricRaw(), QStringLiteral("CostToday"));

        auto *notify = control<QCheckBox>("notifyLimits");
        QWidget *rows = control<QWidget>("thresholds");
        QVERIFY(rows->isVisibleTo(window));
        notify->click();
        QVERIFY(!m_settings->notifyLimits());
        QVERIFY(!rows->isVisibleTo(window));
        notify->click();
        QVERIFY(rows->isVisibleTo(window));
        QCOMPARE(m_sink->authorizations, 1);
        m_settings->setNotifyLimits(false); // as another view would
        QVERIFY(!notify->isChecked());
        QVERIFY(!rows->isVisibleTo(window));

        QTest::keyClick(control<QSlider>("planInterval"), Qt::Key_Right);
        QCOMPARE(m_settings->planInterval(), 8.0);
        QCOMPARE(control<QLabel>("planIntervalText")->text(), QStringLiteral("8 min"));
        QCOMPARE(m_store->findChild<QTimer *>()->interval(), 8 * 60 * 1000);
        choice->setCurrentIndex(2);
        QCOMPARE(m_settings->barMetricRaw(), QStringLiteral("costToday"));
        m_settings->setBarMetricRaw(QStringLiteral("tokensToday"));
        QCOMPARE(choice->currentIndex(), 3);
    }

    void launchAtLogin_data()
    {
        addRows<LoginRow>({{"opened, removed outside", {true, false, false, false, false}},
                           {"opened, added outside", {false, true, false, false, true}},
                           {"turned on", {false, false, false, true, true}},
                           {"turned on, refused", {false, false, true, true, false}},
                           {"turned off, refused", {true, true, true, true, true}}});
    }

    void launchAtLogin()
    {
        QFETCH(LoginRow, row);
        const auto &[stored, registered, failing, click, shown] = row;
        m_settings->setLaunchAtLogin(stored);
        m_loginItem.registered = registered;
        m_loginItem.failing = failing;
        open();
        auto *toggle = control<QCheckBox>("launchAtLogin");
        if (click)
            toggle->click();
        QCOMPARE(toggle->isChecked(), shown);
        QCOMPARE(m_settings->launchAtLogin(), shown);
        QCOMPARE(m_log.size(), int(failing)); // its text is the autostart test's
    }

    // One window however often it is asked for, naming its data source; closing it ends nothing.
    void oneWindowOnly()
    {
        SettingsWindow *first = open();
        auto *line = control<QLabel>("dataSource");
        QCOMPARE(line->text(), "Data source: " + root());
        QCOMPARE(line->textFormat(), Qt::PlainText); // a folder's name is no markup
        QCOMPARE(open(), first);

        // Only a running application reacts to its last window closing.
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QTimer::singleShot(0, first, [first] {
            first->close();
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        });
        QCoreApplication::exec();
        QVERIFY(!first->isVisible());
        QCOMPARE(lastClosed.size(), 0);
        QCOMPARE(open(), first);
        QVERIFY(first->isVisible());
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
