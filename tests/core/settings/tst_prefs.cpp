#include "settings/barmetric.h"
#include "settings/prefbinding.h"
#include "settings/prefs.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QSettings store()
{
    return QSettings(QStringLiteral("VarnelUsage"), QStringLiteral("VarnelUsage"));
}

} // namespace

class TestPrefs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        Prefs::registerDefaults();
    }

    void init() { store().clear(); }

    void freshUserSeesDefault_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        const QList<std::pair<QString, QVariant>> defaults{
            {"barMetric", "plan5h"},  {"showPlanLimits", true},    {"showToday", true},
            {"showLast7Days", true},  {"showPerModel", false},     {"planInterval", 5.0},
            {"launchAtLogin", false}, {"colorBarNearLimit", true}, {"notifyLimits", true},
            {"notifyWarning", 80.0},  {"notifyCritical", 95.0}};
        for (const auto &[key, value] : defaults)
            QTest::addRow("%s", qPrintable(key)) << key << value;
    }

    void freshUserSeesDefault()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        Prefs::registerDefaults(); // once more: registering writes nothing
        if (value.typeId() == QMetaType::Bool)
            QCOMPARE(Prefs::boolValue(key), value.toBool());
        else if (value.typeId() == QMetaType::Double)
            QCOMPARE(Prefs::doubleValue(key), value.toDouble());
        else
            QCOMPARE(Prefs::stringValue(key), value.toString());
        QCOMPARE(PrefBinding(key).value(), value);
        QCOMPARE(store().allKeys(), QStringList());
    }

    void removalRestoresDefault()
    {
        const PrefBinding interval(Prefs::Key::planInterval);
        Prefs::setValue(Prefs::Key::planInterval, 2.5);
        // On disk at once, not only in this process's cache (which any QSettings would flush).
        QFile file(m_dir.filePath("VarnelUsage/VarnelUsage.conf"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("planInterval=2.5"));
        QCOMPARE(Prefs::doubleValue(Prefs::Key::planInterval), 2.5);
        QCOMPARE(interval.doubleValue(), 2.5);

        store().remove(Prefs::Key::planInterval);
        QCOMPARE(Prefs::doubleValue(Prefs::Key::planInterval), 5.0);
        QCOMPARE(interval.doubleValue(), 5.0);
    }

    void thresholds_data()
    {
        QTest::addColumn<QVariant>("warning"); // invalid: unset
        QTest::addColumn<QVariant>("critical");
        QTest::addColumn<double>("effectiveWarning");
        QTest::addColumn<double>("effectiveCritical");

        QTest::addRow("unset") << QVariant() << QVariant() << 80.0 << 95.0;
        QTest::addRow("zero") << QVariant(0.0) << QVariant(0.0) << 80.0 << 95.0;
        QTest::addRow("negative") << QVariant(-5.0) << QVariant(-0.1) << 80.0 << 95.0;
        QTest::addRow("not a number") << QVariant(qQNaN()) << QVariant(qQNaN()) << 80.0 << 95.0;
        QTest::addRow("text") << QVariant("high") << QVariant("") << 80.0 << 95.0;
        QTest::addRow("small positive") << QVariant(0.5) << QVariant(1.0) << 0.5 << 1.0;
        QTest::addRow("warning above critical") << QVariant(90.0) << QVariant(60.0) << 90.0 << 60.0;
    }

    void thresholds()
    {
        QFETCH(QVariant, warning);
        QFETCH(QVariant, critical);
        QFETCH(double, effectiveWarning);
        QFETCH(double, effectiveCritical);
        if (warning.isValid())
            Prefs::setValue(Prefs::Key::notifyWarning, warning);
        if (critical.isValid())
            Prefs::setValue(Prefs::Key::notifyCritical, critical);
        QCOMPARE(Prefs::effectiveWarning(), effectiveWarning);
        QCOMPARE(Prefs::effectiveCritical(), effectiveCritical);
    }

    void barMetric_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<BarMetric>("shown");

        // The raw values the settings file keeps.
        QTest::addRow("plan5h") << "plan5h" << BarMetric::plan5h;
        QTest::addRow("planWeek") << "planWeek" << BarMetric::planWeek;
        QTest::addRow("costToday") << "costToday" << BarMetric::costToday;
        QTest::addRow("tokensToday") << "tokensToday" << BarMetric::tokensToday;
        QTest::addRow("other letter case") << "PlanWeek" << BarMetric::plan5h;
        QTest::addRow("empty") << "" << BarMetric::plan5h;
        QTest::addRow("trailing space") << "costToday " << BarMetric::plan5h;
        QTest::addRow("unknown") << "sparkline" << BarMetric::plan5h;
    }

    void barMetric()
    {
        QFETCH(QString, stored);
        QFETCH(BarMetric, shown);
        Prefs::setValue(Prefs::Key::barMetric, stored);
        QCOMPARE(Prefs::barMetric(), shown);
        // Shown as the fallback, never rewritten.
        QCOMPARE(store().value(Prefs::Key::barMetric).toString(), stored);
    }

    void bindingsOfOneKeyAllHear()
    {
        PrefBinding first(Prefs::Key::showToday);
        auto second = std::make_unique<PrefBinding>(Prefs::Key::showToday);
        PrefBinding third(Prefs::Key::showToday);
        PrefBinding other(Prefs::Key::showPerModel);
        QSignalSpy firstSpy(&first, &PrefBinding::valueChanged);
        QSignalSpy secondSpy(second.get(), &PrefBinding::valueChanged);
        QSignalSpy thirdSpy(&third, &PrefBinding::valueChanged);
        QSignalSpy otherSpy(&other, &PrefBinding::valueChanged);

        QVERIFY(third.boolValue());
        first.setValue(false);
        QCOMPARE(firstSpy.size(), 1);
        QCOMPARE(secondSpy.size(), 1);
        QCOMPARE(thirdSpy.size(), 1);
        QCOMPARE(third.boolValue(), false);

        // A view that goes away while the change is being announced is skipped, not touched.
        for (PrefBinding *peer : {&first, &third})
            connect(peer, &PrefBinding::valueChanged, this, [&second] { second.reset(); });
        third.setValue(true);
        QVERIFY(!second);
        QCOMPARE(thirdSpy.size(), 2);
        QCOMPARE(otherSpy.size(), 0);
        QCOMPARE(first.boolValue(), true);
    }
};

QTEST_GUILESS_MAIN(TestPrefs)
#include "tst_prefs.moc"
