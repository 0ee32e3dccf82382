#include "panel/panelplacement.h"

#include <QTest>

class TestPanelPlacement : public QObject
{
    Q_OBJECT

private slots:
    // A 1920 × 1080 screen; a 320 × 500 panel.
    void place_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("topLeft");
        const QRect full(0, 0, 1920, 1080);
        QTest::addRow("tray at the top right, clamped to the right edge")
            << QRect(1890, 2, 24, 24) << QRect(0, 28, 1920, 1052) << QPoint(1600, 30);
        QTest::addRow("tray at the bottom, centred above the icon")
            << QRect(1000, 1054, 24, 24) << QRect(0, 0, 1920, 1052) << QPoint(851, 550);
        QTest::addRow("tray on the left edge")
            << QRect(2, 500, 24, 24) << QRect(28, 0, 1892, 1080) << QPoint(30, 261);
        QTest::addRow("tray on the right edge, near the bottom")
            << QRect(1894, 1040, 24, 24) << QRect(0, 0, 1892, 1080) << QPoint(1570, 580);
        QTest::addRow("pointer near the top, no strut")
            << QRect(1800, 10, 1, 1) << full << QPoint(1600, 15);
        QTest::addRow("pointer near the bottom left, no strut")
            << QRect(5, 1075, 1, 1) << full << QPoint(0, 571);
        QTest::addRow("anchor beyond the screen")
            << QRect(5000, -300, 24, 24) << full << QPoint(1600, 0);
    }

    void place()
    {
        QFETCH(QRect, anchor);
        QFETCH(QRect, available);
        const QPoint at =
            PanelPlacement::place(QSize(320, 500), anchor, QRect(0, 0, 1920, 1080), available);
        QFETCH(QPoint, topLeft);
        QCOMPARE(at, topLeft);
        QVERIFY(available.contains(QRect(at, QSize(320, 500))));
    }
};

QTEST_APPLESS_MAIN(TestPanelPlacement)
#include "tst_panelplacement.moc"
