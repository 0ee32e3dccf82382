// varnelusage-render-panel: draws the panel with sample figures, in a light and a dark palette, and
// the tray icon in its three tints, to PNG files. For looking at the views without a desktop
// and for the documentation's screenshots.
//
//   varnelusage-render-panel --out DIR [--scale 2] [--locale en_US]
#include "panel/panelvalues.h"
#include "panel/panelview.h"
#include "scratchruntime.h"
#include "tray/trayiconpainter.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>

#include <cstdio>

namespace {

constexpr std::int64_t hour = 3600;
constexpr std::int64_t day = 86400;

Instant at(Instant t, std::int64_t seconds)
{
    return Instant{t.micros + seconds * 1'000'000};
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x26, 0x27, 0x29), text(0xec, 0xec, 0xec), base(0x1d, 0x1e, 0x20);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x36, 0x37, 0x3a));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Light, QColor(0x48, 0x49, 0x4c));
    p.setColor(QPalette::Midlight, QColor(0x3c, 0x3d, 0x40));
    p.setColor(QPalette::Mid, QColor(0x2e, 0x2f, 0x31));
    p.setColor(QPalette::Dark, QColor(0x17, 0x18, 0x19));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return p;
}

// Everything at once: limits with charts and the model rows, the rate-limit notice below them,
// today with the month so far, seven days and the models.
PanelValues sample(Instant now)
{
    PanelValues v;
    v.now = now;
    v.showPerModel = true;
    PlanUsage plan;
    plan.fiveHour = LimitWindow{42.4, at(now, 2 * hour + 13 * 60)};
    plan.sevenDay = LimitWindow{81.2, at(now, 3 * day + 5 * hour)};
    plan.sevenDayMagnar = LimitWindow{96.0, at(now, 3 * day + 5 * hour)};
    plan.sevenDayCorvel = LimitWindow{12.0, std::nullopt};
    v.plan.plan = plan;
    v.plan.retryAt = at(now, 65);
    UsageHistory history;
    for (int i = 0; i <= 40; ++i) {
        const double f = i / 40.0;
        history.push_back({at(now, -(40 - i) * 7 * 60), 8 + 34 * f * f + (i % 5) * 0.6,
                           std::optional<double>(62 + 19 * f)});
    }
    UsageHistory older;
    for (int i = 0; i < 24; ++i)
        older.push_back({at(now, -(4 * day) + i * 3 * hour), std::nullopt, 30 + i * 1.2});
    history.insert(history.begin(), older.begin(), older.end());
    v.plan.fivePoints =
        SparklineGeometry::timedSeries(history, &UsageSample::five, plan.fiveHour, 18000);
    v.plan.sevenPoints =
        SparklineGeometry::timedSeries(history, &UsageSample::seven, plan.sevenDay, 604800);
    v.today = {1'234'567, 12.34, 87};
    const double costs[] = {3.1, 0, 18.75, 7.2, 24.9, 1.05, 12.34};
    const Instant today = Calendar::current().startOfDay(now);
    for (int i = 0; i < 7; ++i)
        v.last7Days.push_back({at(today, -(6 - i) * day), {int(costs[i] * 90000), costs[i], 10}});
    v.month =
        MonthForecast::compute(v.last7Days, v.last7Days.front().date, now, Calendar::current());
    v.perModel = {{"varnel-magnar-4-1", {48'200'000, 312.40, 900}},
                  {"varnel-corvel-4-5", {91'000'000, 88.12, 2000}},
                  {"varnel-tindle-3", {2'100'000, 1.37, 40}},
                  {"synthetic-local-7b", {350'000, 0, 12}},
                  {"other-model", {1200, 0, 2}},
                  {"sixth-model", {10, 0, 1}}};
    v.lastUpdated = now;
    return v;
}

bool save(const QPixmap &pixmap, const QString &path)
{
    const bool ok = pixmap.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

bool renderPanel(const PanelValues &values, const QPalette &palette, const QString &path)
{
    QApplication::setPalette(palette);
    PanelView view;
    view.setValues(values);
    view.resize(PanelView::width, view.fittedHeight());
    view.show();
    QApplication::processEvents();
    view.resize(PanelView::width, view.fittedHeight());
    return save(view.grab(), path);
}

// The icon as the tray shows it, on a light, a dark and a coloured panel, at 22 pixels and at
// 44 (a tray at twice the scale); and the same sheet four times enlarged, pixel for pixel.
bool renderIconSheet(const QString &path)
{
    const BarTint tints[] = {BarTint::none, BarTint::orange, BarTint::red};
    const QString figures[] = {QStringLiteral("42"), QStringLiteral("100"),
                               QStringLiteral("\u2014"), QStringLiteral("$12"),
                               QStringLiteral("1.2M")};
    // White, light grey, dark grey, black (GNOME's top bar) and a coloured bar; on each, the
    // pixel sizes hosts draw: 16, 22, 24, 32 (16 at twice the scale) and 48.
    const QColor panels[] = {QColor(0xff, 0xff, 0xff), QColor(0xd6, 0xd6, 0xd6),
                             QColor(0x3a, 0x3a, 0x3c), QColor(0x00, 0x00, 0x00),
                             QColor(0x3a, 0x6e, 0xa5)};
    const std::pair<int, qreal> sizes[] = {{16, 1}, {22, 1}, {24, 1}, {16, 2}, {48, 1}};
    const int cell = 52;
    QImage sheet(int(std::size(figures) * std::size(tints)) * cell,
                 int(std::size(panels) * std::size(sizes)) * cell, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    int y = 0;
    for (const QColor &panel : panels) {
        for (const auto &[size, ratio] : sizes) {
            p.fillRect(0, y, sheet.width(), cell, panel);
            int x = 0;
            for (const BarTint tint : tints) {
                for (const QString &figure : figures) {
                    QPixmap icon = TrayIconPainter::paint(figure, tint, size, ratio);
                    icon.setDevicePixelRatio(1);
                    p.drawPixmap(x + 2, y + 2, icon);
                    x += cell;
                }
            }
            y += cell;
        }
    }
    p.end();
    bool ok = save(QPixmap::fromImage(sheet), path + QStringLiteral("/icons-on-panels.png"));
    ok &= save(QPixmap::fromImage(
                   sheet.scaled(sheet.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)),
               path + QStringLiteral("/icons-on-panels-x4.png"));
    return ok;
}

bool renderIcons(const QString &dir)
{
    const std::pair<BarTint, const char *> tints[] = {
        {BarTint::none, "plain"}, {BarTint::orange, "orange"}, {BarTint::red, "red"}};
    bool ok = true;
    for (const auto &[tint, name] : tints) {
        for (const int size : {16, 22, 44}) {
            ok &= save(TrayIconPainter::paint(QStringLiteral("42"), tint, size, 1),
                       QStringLiteral("%1/icon-%2-%3.png").arg(dir, QLatin1String(name)).arg(size));
        }
    }
    return ok && renderIconSheet(dir);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QString out = QStringLiteral(".");
    QByteArray scale;
    const char *usage = "usage: varnelusage-render-panel --out DIR [--scale 2] [--locale en_US]\n";
    for (int i = 1; i < argc; i += 2) {
        if (qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (i + 1 == argc) {
            std::fputs(usage, stderr);
            return 2;
        }
        if (qstrcmp(argv[i], "--out") == 0)
            out = QString::fromLocal8Bit(argv[i + 1]);
        else if (qstrcmp(argv[i], "--scale") == 0)
            scale = argv[i + 1];
        else if (qstrcmp(argv[i], "--locale") == 0)
            QLocale::setDefault(QLocale(QString::fromLocal8Bit(argv[i + 1])));
        else {
            std::fputs(usage, stderr);
            return 2;
        }
    }
    if (!scale.isEmpty())
        qputenv("QT_SCALE_FACTOR", scale);
    const ScratchRuntime runtime;
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QDir().mkpath(out);

    const Instant now = Instant::now();
    const PanelValues full = sample(now);
    PanelValues loading = full;
    loading.plan = {};
    loading.loading = true;
    loading.showPerModel = false;
    PanelValues error = loading;
    error.loading = false;
    error.plan.error = QStringLiteral("Sign in with Varnel Code");
    PanelValues limited = error;
    limited.plan.retryAt = at(now, 65);

    const QPalette light = QApplication::style()->standardPalette();
    const QPalette dark = darkPalette();
    bool ok = renderPanel(full, light, out + QStringLiteral("/panel-light.png"));
    ok &= renderPanel(full, dark, out + QStringLiteral("/panel-dark.png"));
    ok &= renderPanel(loading, light, out + QStringLiteral("/panel-loading-light.png"));
    ok &= renderPanel(error, dark, out + QStringLiteral("/panel-error-dark.png"));
    ok &= renderPanel(limited, light, out + QStringLiteral("/panel-ratelimited-light.png"));
    ok &= renderIcons(out);
    return ok ? 0 : 1;
}
