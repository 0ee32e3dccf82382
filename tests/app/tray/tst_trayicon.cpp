#include "tray/trayicon.h"
#include "tray/trayiconpainter.h"
#include "tray/trayitem.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

Q_DECLARE_METATYPE(BarTint)

namespace {

int colourDistance(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

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
            if (colourDistance(c, color) < 60)
                ++near;
        }
    }
    return opaque ? double(near) / opaque : 0;
}

// The rows that hold the figure's light ink, from the first to the last.
int inkHeight(const QImage &image)
{
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() >= 200 && c.lightness() > 170) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return first < 0 ? 0 : last - first + 1;
}

// A tray item that no tray ever takes.
class NoTrayItem final : public TrayItem
{
public:
    bool start() override { return false; }
    bool isDocked() const override { return false; }
    bool watcherPresent() const override { return false; }
    bool systemTrayPresent() const override { return false; }
    void setIcon(const QList<QImage> &) override {}
    void setToolTip(const QString &) override {}
    void setNeedsAttention(bool) override {}
    void setLabel(const QString &, const QString &) override {}
    void setMenuEntries(const TrayMenuEntries &) override {}
};

} // namespace

class TestTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    // Drawn in device pixels: a 22-pixel icon at twice the scale has 44 pixels a side; the set
    // hosts pick from holds each size they draw at, and twice those.
    void paintsAtTheDevicePixelRatio()
    {
        const QPixmap p = TrayIconPainter::paint(QStringLiteral("42"), BarTint::none, 22, 2.0);
        QCOMPARE(p.size(), QSize(44, 44));
        QCOMPARE(p.devicePixelRatio(), 2.0);
        QList<int> sizes;
        for (const QImage &image : TrayIconPainter::images(QStringLiteral("42"), BarTint::none))
            sizes << image.width();
        std::sort(sizes.begin(), sizes.end());
        QCOMPARE(sizes, QList<int>({16, 22, 24, 32, 44, 48, 64, 96}));
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

    // At 16 pixels, on every kind of bar: digits at least 9 pixels tall, and the icon's edge
    // set off from the bar (on black, the dark plate alone would vanish).
    void legibleAt16OnEveryBar_data()
    {
        QTest::addColumn<QString>("figure");
        QTest::addColumn<QColor>("bar");
        const QColor bars[] = {Qt::white, QColor(0xd6, 0xd6, 0xd6), QColor(0x3a, 0x3a, 0x3c),
                               Qt::black, QColor(0x3a, 0x6e, 0xa5)};
        for (const char *figure : {"42", "100", "$12", "1.2M"}) {
            for (const QColor &bar : bars)
                QTest::addRow("%s on %s", figure, qPrintable(bar.name()))
                    << QString::fromUtf8(figure) << bar;
        }
    }

    void legibleAt16OnEveryBar()
    {
        QFETCH(QString, figure);
        QFETCH(QColor, bar);
        const QPixmap icon = TrayIconPainter::paint(figure, BarTint::none, 16, 1.0);
        QImage onBar(16, 16, QImage::Format_RGB32);
        onBar.fill(bar);
        QPainter(&onBar).drawPixmap(0, 0, icon);
        QVERIFY2(inkHeight(icon.toImage()) >= 9, "digits at least 9 pixels tall");
        // The rim or the plate, whichever the bar lets show, in the outer two pixels of each side.
        const auto edge = [&](QPoint a, QPoint b) {
            return std::max(colourDistance(onBar.pixelColor(a), bar),
                            colourDistance(onBar.pixelColor(b), bar));
        };
        QVERIFY2(edge({0, 8}, {1, 8}) >= 90, "the left edge shows on the bar");
        QVERIFY2(edge({8, 0}, {8, 1}) >= 90, "the top edge shows on the bar");
    }

    // Every store publication reaches the tray; only a new figure or tint draws anew.
    void redrawsOnlyOnChange()
    {
        TrayIcon icon(new NoTrayItem);
        const int initial = icon.redrawCount();
        icon.setLabel(QStringLiteral("42"), BarTint::none, QStringLiteral("42%"),
                      QStringLiteral("Plan used — 5h: 42%"));
        icon.setLabel(QStringLiteral("42"), BarTint::none, QStringLiteral("42%"),
                      QStringLiteral("Plan used — 5h: 42%"));
        QCOMPARE(icon.redrawCount(), initial + 1);
        icon.setLabel(QStringLiteral("42"), BarTint::orange, QStringLiteral("42%"),
                      QStringLiteral("x"));
        QCOMPARE(icon.redrawCount(), initial + 2);
        icon.setLabel(QStringLiteral("43"), BarTint::orange, QStringLiteral("43%"),
                      QStringLiteral("x"));
        QCOMPARE(icon.redrawCount(), initial + 3);
        QCOMPARE(icon.toolTip(), QStringLiteral("x"));
    }
};

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
