#include "barmetric.h"
#include "prefbinding.h"
#include "prefs.h"

#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

QSettings store()
{
    return QSettings(QStringLiteral("VarnelUsage"), QStringLiteral("VarnelUsage"));
}

} // namespace

class TestPrefs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void freshUserSeesDefaults();
    void registrationWritesNothing();
    void storedValueWinsAndRemovalRestoresDefault();
    void unregisteredKeys();
    void thresholds_data();
    void thresholds();
    void barMetric_data();
    void barMetric();
    void barMetricCases();
    void bindingsOfOneKeyAllHear();
    void bindingFallsBackToDeclaredDefault();

private:
    QTemporaryDir m_dir;
};

void TestPrefs::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    Prefs::registerDefaults();
}

void TestPrefs::init()
{
    QSettings s(QStringLiteral("VarnelUsage"), QStringLiteral("VarnelUsage"));
    s.clear();
    s.sync();
}

void TestPrefs::freshUserSeesDefaults()
{
    const QStringList order{"barMetric",    "showPlanLimits", "showToday",     "showLast7Days",
                            "showPerModel", "planInterval",   "launchAtLogin", "colorBarNearLimit",
                            "notifyLimits", "notifyWarning",  "notifyCritical"};
    QStringList registered;
    for (const Prefs::Entry &entry : Prefs::entries())
        registered << entry.key;
    QCOMPARE(registered, order);

    QCOMPARE(Prefs::stringValue(Prefs::Key::barMetric), QStringLiteral("plan5h"));
    QCOMPARE(Prefs::barMetric(), BarMetric::plan5h);
    QCOMPARE(Prefs::boolValue(Prefs::Key::showPlanLimits), true);
    QCOMPARE(Prefs::boolValue(Prefs::Key::showToday), true);
    QCOMPARE(Prefs::boolValue(Prefs::Key::showLast7Days), true);
    QCOMPARE(Prefs::boolValue(Prefs::Key::showPerModel), false);
    QCOMPARE(Prefs::doubleValue(Prefs::Key::planInterval), 5.0);
    QCOMPARE(Prefs::boolValue(Prefs::Key::launchAtLogin), false);
    QCOMPARE(Prefs::boolValue(Prefs::Key::colorBarNearLimit), true);
    QCOMPARE(Prefs::boolValue(Prefs::Key::notifyLimits), true);
    QCOMPARE(Prefs::doubleValue(Prefs::Key::notifyWarning), 80.0);
    QCOMPARE(Prefs::doubleValue(Prefs::Key::notifyCritical), 95.0);
    QCOMPARE(Prefs::effectiveWarning(), 80.0);
    QCOMPARE(Prefs::effectiveCritical(), 95.0);
}

void TestPrefs::registrationWritesNothing()
{
    Prefs::registerDefaults();
    for (const Prefs::Entry &entry : Prefs::entries())
        Prefs::stringValue(entry.key);
    QVERIFY(store().allKeys().isEmpty());
    QFile file(store().fileName());
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll();
        for (const Prefs::Entry &entry : Prefs::entries())
            QVERIFY2(!text.contains(entry.key.toUtf8()), qPrintable(entry.key));
    }
}

void TestPrefs::storedValueWinsAndRemovalRestoresDefault()
{
    Prefs::setValue(Prefs::Key::showToday, false);
    Prefs::setValue(Prefs::Key::planInterval, 2.5);
    Prefs::setValue(Prefs::Key::barMetric, QStringLiteral("costToday"));
    QCOMPARE(Prefs::boolValue(Prefs::Key::showToday), false);
    QCOMPARE(Prefs::doubleValue(Prefs::Key::planInterval), 2.5);
    QCOMPARE(Prefs::barMetric(), BarMetric::costToday);

    // On disk at once, not only in this process's cache.
    QFile file(store().fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("showToday=false"));
    QVERIFY(text.contains("planInterval=2.5"));
    QVERIFY(text.contains("barMetric=costToday"));

    store().remove(Prefs::Key::showToday);
    store().remove(Prefs::Key::planInterval);
    store().remove(Prefs::Key::barMetric);
    QCOMPARE(Prefs::boolValue(Prefs::Key::showToday), true);
    QCOMPARE(Prefs::doubleValue(Prefs::Key::planInterval), 5.0);
    QCOMPARE(Prefs::barMetric(), BarMetric::plan5h);
}

void TestPrefs::unregisteredKeys()
{
    const QString key = QStringLiteral("neverRegistered");
    QCOMPARE(Prefs::boolValue(key), false);
    QCOMPARE(Prefs::doubleValue(key), 0.0);
    QCOMPARE(Prefs::stringValue(key), QString());

    // What comes back from the text file, whichever way it was written.
    const QList<std::tuple<QVariant, bool, double>> cases{
        {true, true, 1.0},
        {false, false, 0.0},
        {QStringLiteral("YES"), true, 0.0},
        {QStringLiteral("no"), false, 0.0},
        {QStringLiteral("abc"), false, 0.0},
        {2.5, true, 2.5},
        {QStringLiteral("0"), false, 0.0},
        {QStringLiteral(" 7 "), true, 7.0},
    };
    for (const auto &[stored, asBool, asDouble] : cases) {
        Prefs::setValue(key, stored);
        QCOMPARE(Prefs::boolValue(key), asBool);
        QCOMPARE(Prefs::doubleValue(key), asDouble);
    }
}

void TestPrefs::thresholds_data()
{
    QTest::addColumn<QVariant>("warning");
    QTest::addColumn<QVariant>("critical");
    QTest::addColumn<double>("effectiveWarning");
    QTest::addColumn<double>("effectiveCritical");

    QTest::addRow("unset") << QVariant() << QVariant() << 80.0 << 95.0;
    QTest::addRow("zero") << QVariant(0.0) << QVariant(0.0) << 80.0 << 95.0;
    QTest::addRow("negative") << QVariant(-5.0) << QVariant(-0.1) << 80.0 << 95.0;
    QTest::addRow("not a number") << QVariant(qQNaN()) << QVariant(qQNaN()) << 80.0 << 95.0;
    QTest::addRow("text") << QVariant(QStringLiteral("high")) << QVariant(QStringLiteral(""))
                          << 80.0 << 95.0;
    QTest::addRow("small positive") << QVariant(0.5) << QVariant(1.0) << 0.5 << 1.0;
    QTest::addRow("user's own") << QVariant(70.0) << QVariant(99.0) << 70.0 << 99.0;
    QTest::addRow("warning above critical") << QVariant(90.0) << QVariant(60.0) << 90.0 << 60.0;
}

void TestPrefs::thresholds()
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

void TestPrefs::barMetric_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<BarMetric>("shown");

    QTest::addRow("planWeek") << "planWeek" << BarMetric::planWeek;
    QTest::addRow("tokensToday") << "tokensToday" << BarMetric::tokensToday;
    QTest::addRow("other letter case") << "PlanWeek" << BarMetric::plan5h;
    QTest::addRow("empty") << "" << BarMetric::plan5h;
    QTest::addRow("trailing space") << "costToday " << BarMetric::plan5h;
    QTest::addRow("unknown") << "sparkline" << BarMetric::plan5h;
}

void TestPrefs::barMetric()
{
    QFETCH(QString, stored);
    QFETCH(BarMetric, shown);
    Prefs::setValue(Prefs::Key::barMetric, stored);
    QCOMPARE(Prefs::barMetric(), shown);
    // Shown as the fallback, never rewritten.
    QCOMPARE(store().value(Prefs::Key::barMetric).toString(), stored);
}

void TestPrefs::barMetricCases()
{
    QStringList raws;
    QStringList labels;
    for (const BarMetric metric : allBarMetrics) {
        raws << rawValue(metric);
        labels << label(metric);
        QCOMPARE(barMetricFromRaw(rawValue(metric)), std::optional(metric));
    }
    QCOMPARE(raws, (QStringList{"plan5h", "planWeek", "costToday", "tokensToday"}));
    QCOMPARE(labels, (QStringList{QString::fromUtf8("Plan used \xe2\x80\x94 5h window (%)"),
                                  QString::fromUtf8("Plan used \xe2\x80\x94 weekly (%)"),
                                  "Cost today ($, estimate)", "Tokens today"}));
    QCOMPARE(barMetricFromRaw(u"PLAN5H"), std::nullopt);
}

void TestPrefs::bindingsOfOneKeyAllHear()
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
    QCOMPARE(otherSpy.size(), 0);
    QCOMPARE(third.boolValue(), false);
    QCOMPARE(Prefs::boolValue(Prefs::Key::showToday), false);

    // A view that goes away while the change is being announced is skipped, not touched.
    connect(&first, &PrefBinding::valueChanged, this, [&second] { second.reset(); });
    third.setValue(true);
    QVERIFY(!second);
    QCOMPARE(thirdSpy.size(), 2);
    QCOMPARE(otherSpy.size(), 0);
    QCOMPARE(first.boolValue(), true);
}

void TestPrefs::bindingFallsBackToDeclaredDefault()
{
    PrefBinding critical(Prefs::Key::notifyCritical);
    PrefBinding metric(Prefs::Key::barMetric);
    QCOMPARE(critical.doubleValue(), 95.0);
    QCOMPARE(metric.stringValue(), QStringLiteral("plan5h"));
    critical.setValue(90.0);
    QCOMPARE(critical.doubleValue(), 90.0);
    QCOMPARE(Prefs::effectiveCritical(), 90.0);
    store().remove(Prefs::Key::notifyCritical);
    QCOMPARE(critical.doubleValue(), 95.0);
}

QTEST_GUILESS_MAIN(TestPrefs)
#include "tst_prefs.moc"
