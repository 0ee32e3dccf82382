// Renders the settings window, as the application shows it, to PNG in a light and a dark palette:
//   varnelusage-render-settings OUTDIR [PROJECTS_ROOT]
// writes OUTDIR/settings-light.png and OUTDIR/settings-dark.png. Runs on the offscreen platform
// with preferences and history in a temporary directory, so the user's own are neither read nor
// touched. QT_SCALE_FACTOR=2 gives pictures for high-density screens.
#include "scratchruntime.h"
#include "settings/loginitem.h"
#include "settings/settings.h"
#include "settingswindow/settingswindow.h"
#include "store/usagestore.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Start at login as the pictures show it: on.
class ShownLoginItem final : public LoginItem
{
public:
    bool isRegistered() const override { return true; }
    std::optional<QString> setRegistered(bool) override { return std::nullopt; }
};

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2d, 0x31), base(0x3a, 0x3d, 0x43), text(0xe8, 0xea, 0xed);
    const QColor highlight(0x3d, 0x8b, 0xe0), button(0x35, 0x38, 0x3d);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x9a, 0xa0, 0xa6));
    p.setColor(QPalette::Light, button.lighter(140));
    p.setColor(QPalette::Midlight, button.lighter(120));
    p.setColor(QPalette::Mid, button.darker(120));
    p.setColor(QPalette::Dark, base.darker(130));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7f, 0x84, 0x8a));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7f, 0x84, 0x8a));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x7f, 0x84, 0x8a));
    return p;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        const bool help =
            argc == 2 && (qstrcmp(argv[1], "--help") == 0 || qstrcmp(argv[1], "-h") == 0);
        std::fprintf(help ? stdout : stderr,
                     "usage: varnelusage-render-settings OUTDIR [PROJECTS_ROOT]\n");
        return help ? 0 : 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath("config")));
    const ScratchRuntime runtime;
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString out = args.at(1);
    const QString root = args.value(2, QStringLiteral("/home/user/.varnel/projects"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.filePath("config"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Settings settings;
    UsageStore store(settings, root.toStdString());
    ShownLoginItem loginItem;
    const std::pair<const char *, QPalette> looks[] = {
        {"light", QApplication::style()->standardPalette()},
        {"dark", darkPalette()},
    };
    if (!QDir().mkpath(out))
        return 1;
    for (const auto &[name, palette] : looks) {
        QApplication::setPalette(palette);
        SettingsWindow window(store, settings, loginItem, {});
        window.show();
        QCoreApplication::processEvents();
        const QString file = QStringLiteral("%1/settings-%2.png").arg(out, QLatin1String(name));
        if (!window.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
