#include "format/format.h"
#include "format/projectname.h"

#include <QTest>

#include <cmath>
#include <tuple>

class TestFormat : public QObject
{
    Q_OBJECT

private slots:
    void tokens_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("text");
        const std::pair<qint64, const char *> rows[] = {
            {999, "999"},       {1000, "1.00K"},   {1234, "1.23K"},           {9999, "10.00K"},
            {12345, "12.3K"},   {99999, "100.0K"}, {123456, "123K"},          {999999, "1000K"},
            {1000000, "1.00M"}, {-5000, "-5000"},  {INT64_MAX, "9223372037B"}};
        for (const auto &[count, text] : rows)
            QTest::addRow("%lld", count) << count << text;
    }

    void tokens()
    {
        QFETCH(qint64, count);
        QTEST(QString::fromStdString(Format::tokens(count)), "text");
    }

    // The rules that take a double: countdown, cost and percent.
    void fromDouble_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        const std::tuple<const char *, double, const char *> rows[] = {
            {"countdown", 59.4, "59s"},     {"countdown", 59.5, "1m 0s"},
            {"countdown", 60, "1m 0s"},     {"countdown", -5, "0s"},
            {"countdown", 125, "2m 5s"},    {"countdown", 3700, "61m 40s"},
            {"countdown", 0.5, "1s"},       {"countdown", std::nan(""), "0s"},
            {"countdown", -INFINITY, "0s"}, {"cost", 0, "$0.00"},
            {"cost", 12.5, "$12.50"},       {"cost", 99.994, "$99.99"},
            {"cost", 99.996, "$100.00"},    {"cost", 100, "$100"},
            {"cost", 150.7, "$151"},        {"cost", 0.005, "$0.01"},
            {"cost", 0.015, "$0.01"}, // just below .015 in binary
            {"percent", -3, "0%"},          {"percent", 0.4, "0%"},
            {"percent", 99.6, "100%"},      {"percent", 2500, "999%"},
            {"percent", std::nan(""), "0%"}};
        for (const auto &[rule, value, text] : rows)
            QTest::addRow("%s %g", rule, value) << rule << value << text;
    }

    void fromDouble()
    {
        QFETCH(QString, rule);
        QFETCH(double, value);
        const std::string got = rule == "countdown" ? Format::countdown(value)
                                : rule == "cost"    ? Format::cost(value)
                                                    : Format::percent(value);
        QTEST(QString::fromStdString(got), "text");
    }

    void projectName_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("shown");
        const std::tuple<const char *, const char *, const char *> rows[] = {
            {"under home", "-home-dev-src-api", "src-api"},
            {"home itself", "-home-dev", "~"},
            {"another home", "-home-devops-x", "-home-devops-x"},
            {"control character", "-home-dev-a\x1b[31m", "a\\x1b[31m"},
            {"top level", "", "(top level)"}};
        for (const auto &[name, directory, shown] : rows)
            QTest::addRow("%s", name) << directory << shown;
    }

    void projectName()
    {
        QFETCH(QString, directory);
        QTEST(QString::fromStdString(ProjectName::display(directory.toStdString(), "/home/dev/")),
              "shown");
    }
};

QTEST_APPLESS_MAIN(TestFormat)
#include "tst_format.moc"
