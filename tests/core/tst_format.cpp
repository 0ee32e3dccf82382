#include "format.h"

#include <QTest>

#include <cmath>

class TestFormat : public QObject
{
    Q_OBJECT

private slots:
    void tokens_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("text");
        const std::pair<qint64, const char *> rows[] = {{0, "0"},
                                                        {999, "999"},
                                                        {1000, "1.00K"},
                                                        {1234, "1.23K"},
                                                        {9999, "10.00K"},
                                                        {12345, "12.3K"},
                                                        {99999, "100.0K"},
                                                        {123456, "123K"},
                                                        {999999, "1000K"},
                                                        {1000000, "1.00M"},
                                                        {2500000000, "2.50B"},
                                                        {-5000, "-5000"},
                                                        {INT64_MAX, "9223372037B"}};
        for (const auto &[count, text] : rows)
            QTest::addRow("%lld", count) << count << text;
    }

    void tokens()
    {
        QFETCH(qint64, count);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(Format::tokens(count)), text);
    }

    void countdown_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        const std::pair<double, const char *> rows[] = {
            {59.4, "59s"}, {59.5, "1m 0s"},      {60, "1m 0s"},     {0, "0s"},
            {-5, "0s"},    {125, "2m 5s"},       {3700, "61m 40s"}, {0.5, "1s"},
            {-0.5, "0s"},  {std::nan(""), "0s"}, {-INFINITY, "0s"}};
        for (const auto &[seconds, text] : rows)
            QTest::addRow("%g", seconds) << seconds << text;
    }

    void countdown()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(Format::countdown(seconds)), text);
    }

    void cost_data()
    {
        QTest::addColumn<double>("dollars");
        QTest::addColumn<QString>("text");
        const std::pair<double, const char *> rows[] = {
            {0, "$0.00"},    {12.5, "$12.50"}, {99.994, "$99.99"}, {99.996, "$100.00"},
            {100, "$100"},   {150.7, "$151"},  {1234, "$1234"},    {0.005, "$0.01"},
            {0.015, "$0.01"}}; // 0.015 is just below .015 in binary: rounds down like printf
        for (const auto &[dollars, text] : rows)
            QTest::addRow("%g", dollars) << dollars << text;
    }

    void cost()
    {
        QFETCH(double, dollars);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(Format::cost(dollars)), text);
    }

    void percent_data()
    {
        QTest::addColumn<double>("utilization");
        QTest::addColumn<QString>("text");
        const std::pair<double, const char *> rows[] = {
            {-3, "0%"},  {0.4, "0%"},     {99.6, "100%"},      {2500, "999%"},
            {42, "42%"}, {137.2, "137%"}, {std::nan(""), "0%"}};
        for (const auto &[u, text] : rows)
            QTest::addRow("%g", u) << u << text;
    }

    void percent()
    {
        QFETCH(double, utilization);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(Format::percent(utilization)), text);
    }
};

QTEST_APPLESS_MAIN(TestFormat)
#include "tst_format.moc"
