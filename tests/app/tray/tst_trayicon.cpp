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

// Of the opaque pixels, the share whose colour is close to `ink`; and the height of the rows
// that hold light ink, from the first to the last.
std::pair<double, int> inkOf(const QImage &image, const QColor &ink)
{
    int near = 0, opaque = 0, first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() >= 200 && c.lightness() > 170) {
                first = first < 0 ? y : first;
                last = y;
            }
            opaque += c.alpha() >= 250;
            near += c.alpha() >= 250 && colourDistance(c, ink) < 60;
        }
    }
    return {opaque ? double(near) / opaque : 0, first < 0 ? 0 : last - first + 1};
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

    // The figure in its tint's colour; at 16 pixels, on every kind of bar, digits at least 9
    // pixels tall and the icon's edge set off from the bar (on black, the dark plate alone would
    // vanish).
    void legibleOnEveryBar_data()
    {
        QTest::addColumn<QString>("figure");
        QTest::addColumn<QColor>("bar");
        QTest::addColumn<BarTint>("tint");
        const QColor bars[] = {Qt::white, QColor(0xd6, 0xd6, 0xd6), QColor(0x3a, 0x3a, 0x3c),
                               Qt::black, QColor(0x3a, 0x6e, 0xa5)};
        int row = 0;
        for (const char *figure : {"42", "100", "$12", "1.2M"}) {
            for (const QColor &bar : bars)
                QTest::addRow("%s on %s", figure, qPrintable(bar.name()))
                    << QString::fromUtf8(figure) << bar << BarTint(row++ % 3);
        }
    }

    void legibleOnEveryBar()
    {
        QFETCH(QString, figure);
        QFETCH(QColor, bar);
        QFETCH(BarTint, tint);
        const QColor inks[] = {QColor(0xf7, 0xf7, 0xf7), QColor(0xff, 0xa4, 0x1c),
                               QColor(0xff, 0x4d, 0x42)};
        // Opaque pixels are the figure and the gauge; the plate beneath is translucent.
        const QImage large = TrayIconPainter::paint(figure, tint, 44, 1.0).toImage();
        QVERIFY2(inkOf(large, inks[int(tint)]).first > 0.5, "the figure in the tint's colour");
        const QPixmap icon = TrayIconPainter::paint(figure, BarTint::none, 16, 1.0);
        QVERIFY2(inkOf(icon.toImage(), {}).second >= 9, "digits at least 9 pixels tall");
        QImage onBar(16, 16, QImage::Format_RGB32);
        onBar.fill(bar);
        QPainter(&onBar).drawPixmap(0, 0, icon);
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
        const std::tuple<const char *, BarTint, const char *, int> labels[] = {
            {"42", BarTint::none, "5h: 42%", 1},
            {"42", BarTint::none, "5h: 42% now", 1},
            {"42", BarTint::orange, "5h: 42%", 2},
            {"43", BarTint::orange, "5h: 43%", 3}};
        for (const auto &[figure, tint, toolTip, redraws] : labels) {
            icon.setLabel(figure, tint, figure, toolTip);
            QCOMPARE(icon.redrawCount(), initial + redraws);
            QCOMPARE(icon.toolTip(), toolTip);
        }
    }
};

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
