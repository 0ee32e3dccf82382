#include "tray/trayicon.h"
#include "tray/trayiconpainter.h"

#include <QApplication>
#include <QTest>

Q_DECLARE_METATYPE(BarTint)

namespace {

// The share of opaque pixels whose colour is close to `color`.
double shareNear(const QImage &image, const QColor &color)
{
    int near = 0;
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 250)
                continue;
            ++opaque;
            if (std::abs(c.red() - color.red()) + std::abs(c.green() - color.green()) +
                    std::abs(c.blue() - color.blue()) <
                60)
                ++near;
        }
    }
    return opaque ? double(near) / opaque : 0;
}

} // namespace

class TestTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    // Drawn in device pixels: a 22-pixel icon at twice the scale has 44 pixels a side.
    void paintsAtTheDevicePixelRatio()
    {
        const QPixmap p = TrayIconPainter::paint(QStringLiteral("42"), BarTint::none, 22, 2.0);
        QCOMPARE(p.size(), QSize(44, 44));
        QCOMPARE(p.devicePixelRatio(), 2.0);
        QCOMPARE(TrayIconPainter::icon(QStringLiteral("42"), BarTint::none)
                     .pixmap(QSize(22, 22), 2.0)
                     .size(),
                 QSize(44, 44));
    }

    void tintColoursTheFigure_data()
    {
        QTest::addColumn<BarTint>("tint");
        QTest::addColumn<QColor>("ink");
        QTest::addRow("plain") << BarTint::none << QColor(0xf7, 0xf7, 0xf7);
        QTest::addRow("orange") << BarTint::orange << QColor(0xff, 0xa4, 0x1c);
        QTest::addRow("red") << BarTint::red << QColor(0xff, 0x4d, 0x42);
    }

    void tintColoursTheFigure()
    {
        QFETCH(BarTint, tint);
        QFETCH(QColor, ink);
        const QImage image = TrayIconPainter::paint(QStringLiteral("88"), tint, 44, 1.0).toImage();
        // Opaque pixels are the figure and the gauge; the plate beneath is translucent.
        QVERIFY2(shareNear(image, ink) > 0.5, "the figure is drawn in the tint's colour");
    }

    // Every store publication reaches the tray; only a new figure or tint draws anew.
    void redrawsOnlyOnChange()
    {
        TrayIcon icon;
        const int initial = icon.redrawCount();
        icon.setLabel(QStringLiteral("42"), BarTint::none, QStringLiteral("Plan used — 5h: 42%"));
        icon.setLabel(QStringLiteral("42"), BarTint::none, QStringLiteral("Plan used — 5h: 42%"));
        QCOMPARE(icon.redrawCount(), initial + 1);
        icon.setLabel(QStringLiteral("42"), BarTint::orange, QStringLiteral("x"));
        QCOMPARE(icon.redrawCount(), initial + 2);
        icon.setLabel(QStringLiteral("43"), BarTint::orange, QStringLiteral("x"));
        QCOMPARE(icon.redrawCount(), initial + 3);
        QCOMPARE(icon.systemTrayIcon()->toolTip(), QStringLiteral("x"));
    }
};

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
