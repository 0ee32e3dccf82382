#include "panel/panelplacement.h"

#include "linux/swayipc.h"

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
        // Hosts that give only the point that was clicked, on bars that reserve no strut.
        QTest::addRow("host point on a top bar, clear of the bar")
            << PanelPlacement::aroundPoint({1900, 11}) << full << QPoint(1600, 27);
        QTest::addRow("host point on a bottom bar")
            << PanelPlacement::aroundPoint({1000, 1070}) << full << QPoint(839, 554);
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
        QTest::addRow("tray unknown, a bar with a strut")
            << PanelPlacement::unknownAnchor(full, QRect(0, 28, 1920, 1052))
            << QRect(0, 28, 1920, 1052) << QPoint(1600, 32);
        QTest::addRow("tray unknown, a bar without a strut, kept clear of it")
            << PanelPlacement::unknownAnchor(full, full) << full << QPoint(1600, 36);
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
        const QRect panel(at, QSize(320, 500));
        QVERIFY(available.contains(panel));
        // The panel's nearest edge stays within 48 pixels of an icon that is on the screen.
        if (QRect(0, 0, 1920, 1080).contains(anchor)) {
            const int dx =
                std::max({0, anchor.left() - panel.right(), panel.left() - anchor.right()});
            const int dy =
                std::max({0, anchor.top() - panel.bottom(), panel.top() - anchor.bottom()});
            QVERIFY2(std::hypot(dx, dy) <= 48, "the panel is next to the icon");
        }
    }

    // Which hosts' points are places on the screen.
    void isScreenPoint_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("onScreen");
        QTest::addRow("swaybar") << QPoint(1262, 14) << QStringLiteral("swaybar") << true;
        QTest::addRow("host not told") << QPoint(1262, 14) << QString() << true;
        QTest::addRow("waybar, inside its icon")
            << QPoint(10, 16) << QStringLiteral("waybar") << false;
        QTest::addRow("no point") << QPoint(0, 0) << QStringLiteral("gnome-shell") << false;
    }

    void isScreenPoint()
    {
        QFETCH(QPoint, point);
        QFETCH(QString, host);
        QFETCH(bool, onScreen);
        QCOMPARE(PanelPlacement::isScreenPoint(point, host), onScreen);
    }
    // What sway is told: this process's panel, matched by its whole title taken literally.
    void swayPlaceCommand_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QByteArray>("command");
        QTest::addRow("the panel")
            << QStringLiteral("Varnel Usage") << QPoint(960, 27)
            << QByteArray("[pid=42 title=\"^Varnel Usage$\"] floating enable, "
                          "border none, sticky enable, move absolute "
                          "position 960 27");
        QTest::addRow("a title with pattern characters and quotes, a screen on the left")
            << QStringLiteral("Usage (%1) \"a.b\"") << QPoint(-1600, 0)
            << QByteArray("[pid=42 title=\"^Usage \\(%1\\) .a\\.b.$\"] floating enable, "
                          "border none, sticky enable, move absolute position -1600 0");
    }

    void swayPlaceCommand()
    {
        QFETCH(QString, title);
        QFETCH(QPoint, at);
        QFETCH(QByteArray, command);
        QCOMPARE(SwayIpc::placeCommand(42, title, at), command);
    }

    // The usable area is the focused workspace's, wherever it stands in the reply.
    void swayWorkspace_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QRect>("area");
        QTest::addRow("second of two focused")
            << QByteArray(R"([{"focused":false,"rect":{"x":0,"y":0,"width":800,"height":600}},
                             {"focused":true,"rect":{"x":1280,"y":23,"width":1280,"height":777}}])")
            << QRect(1280, 23, 1280, 777);
        QTest::addRow("none focused")
            << QByteArray(R"([{"focused":false,"rect":{"x":0,"y":0,"width":800,"height":600}}])")
            << QRect();
        QTest::addRow("not a reply") << QByteArray("i3-ipc") << QRect();
    }

    void swayWorkspace()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QRect, area);
        QCOMPARE(SwayIpc::focusedWorkspace(reply).value_or(QRect()), area);
    }
};

QTEST_APPLESS_MAIN(TestPanelPlacement)
#include "tst_panelplacement.moc"
