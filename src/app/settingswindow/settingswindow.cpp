#include "settingswindow/settingswindow.h"

#include "settings/loginitem.h"
#include "settingswindow/bringtofront.h"
#include "settingswindow/steppedslider.h"
#include "store/usagestore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int windowWidth = 420;
constexpr int windowHeight = 520;
constexpr int percentWidth = 40;
constexpr int minutesWidth = 48;

// The integer part of a stored value; what the sliders and value texts show.
int wholePart(double value)
{
    return std::isfinite(value) ? int(std::clamp(std::trunc(value), -1e6, 1e6)) : 0;
}

QColor secondaryColor(const QPalette &palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    const QColor back = palette.color(QPalette::Window);
    const auto mix = [](int a, int b) { return int(a * 0.62 + b * 0.38); };
    return QColor(mix(text.red(), back.red()), mix(text.green(), back.green()),
                  mix(text.blue(), back.blue()));
}

QFont scaled(QFont font, double factor)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else
        font.setPixelSize(std::max(1, int(std::lround(font.pixelSize() * factor))));
    return font;
}

// Every label of the window is plain text: the data source names a folder, and a folder's name
// must never be read as markup.
QLabel *plainLabel(const QString &text = {})
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

SettingsWindow::SettingsWindow(UsageStore &store, Settings &settings, LoginItem &loginItem,
                               LaunchAtLogin::Log log, QWidget *parent)
    : QWidget(parent, Qt::Window), m_store(store), m_settings(settings), m_loginItem(loginItem),
      m_log(std::move(log))
{
    setObjectName(QStringLiteral("SettingsWindow"));
    setWindowTitle(tr("Varnel Usage Settings"));
    setFixedSize(windowWidth, windowHeight);
    // A tray application has no main window: closing this one must not end it.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(16, 14, 16, 14);
    column->setSpacing(12);
    column->addWidget(generalSection());
    column->addWidget(menuBarSection());
    column->addWidget(dropdownSection());
    column->addWidget(refreshSection());
    column->addWidget(dataSourceSection());
    column->addStretch();

    // Larger fonts than the form was laid out for scroll instead of being cut off.
    auto *scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    styleCaptions();
    for (const auto &[key, box] : m_toggles)
        follow(key);
    for (const Settings::Key key :
         {Settings::Key::notifyLimits, Settings::Key::notifyWarning, Settings::Key::notifyCritical,
          Settings::Key::barMetric, Settings::Key::planInterval})
        follow(key);
    connect(&m_settings, &Settings::changed, this, &SettingsWindow::follow);
}

SettingsWindow::~SettingsWindow() = default;

QWidget *SettingsWindow::generalSection()
{
    auto *rows = new QVBoxLayout;

    QCheckBox *launch = toggle(tr("Launch at login"), Settings::Key::launchAtLogin);
    connect(launch, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.setLaunchAtLogin(LaunchAtLogin::set(m_loginItem, on, m_log));
    });
    rows->addWidget(launch);

    QCheckBox *notify = toggle(tr("Notify when nearing limits"), Settings::Key::notifyLimits);
    connect(notify, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.setNotifyLimits(on);
        if (on)
            m_store.notifier().requestAuthorization();
    });
    rows->addWidget(notify);

    // The threshold rows sit under the toggle they depend on, indented to its text.
    m_thresholds = new QWidget;
    m_thresholds->setObjectName(QStringLiteral("thresholds"));
    auto *grid = new QGridLayout(m_thresholds);
    const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                       style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    grid->setContentsMargins(indent, 0, 0, 0);
    const struct
    {
        QString label;
        Settings::Key key;
        int min, max;
        SteppedSlider **slider;
        QLabel **text;
    } thresholds[] = {
        {tr("Warning at"), Settings::Key::notifyWarning, 50, 95, &m_warning, &m_warningText},
        {tr("Critical at"), Settings::Key::notifyCritical, 55, 99, &m_critical, &m_criticalText},
    };
    int row = 0;
    for (const auto &t : thresholds) {
        auto *label = plainLabel(t.label);
        *t.slider = slider(t.label, t.key, t.min, t.max, 5);
        label->setBuddy(*t.slider);
        *t.text = valueText(t.key, percentWidth);
        grid->addWidget(label, row, 0);
        grid->addWidget(*t.slider, row, 1);
        grid->addWidget(*t.text, row, 2);
        ++row;
    }
    connect(m_warning, &QSlider::valueChanged, this, &SettingsWindow::warningMoved);
    connect(m_critical, &QSlider::valueChanged, this, &SettingsWindow::criticalMoved);
    grid->addWidget(
        caption(tr("Applies to the 5h and weekly windows, and the menu bar color cue.")), row, 0, 1,
        3);
    rows->addWidget(m_thresholds);
    return section(tr("General"), rows);
}

QWidget *SettingsWindow::menuBarSection()
{
    auto *rows = new QVBoxLayout;

    auto *choiceRow = new QHBoxLayout;
    auto *label = plainLabel(tr("Show in menu bar"));
    m_barMetric = new QComboBox;
    m_barMetric->setObjectName(QStringLiteral("barMetric"));
    m_barMetric->setAccessibleName(label->text());
    for (const BarMetric metric : allBarMetrics)
        m_barMetric->addItem(::label(metric), rawValue(metric));
    label->setBuddy(m_barMetric);
    connect(m_barMetric, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_settings.setBarMetricRaw(m_barMetric->itemData(index).toString());
    });
    choiceRow->addWidget(label);
    choiceRow->addWidget(m_barMetric, 1);
    rows->addLayout(choiceRow);

    QCheckBox *color =
        toggle(tr("Color text when nearing limit"), Settings::Key::colorBarNearLimit);
    connect(color, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.setColorBarNearLimit(on); });
    rows->addWidget(color);
    return section(tr("Menu bar"), rows);
}

QWidget *SettingsWindow::dropdownSection()
{
    auto *rows = new QVBoxLayout;
    const std::pair<QString, Settings::Key> toggles[] = {
        {tr("Plan limits (official)"), Settings::Key::showPlanLimits},
        {tr("Today"), Settings::Key::showToday},
        {tr("Last 7 days"), Settings::Key::showLast7Days},
        {tr("By model"), Settings::Key::showPerModel},
        {tr("By project"), Settings::Key::showPerProject},
    };
    for (const auto &[text, key] : toggles) {
        QCheckBox *box = toggle(text, key);
        connect(box, &QCheckBox::toggled, this,
                [this, key = key](bool on) { m_settings.setValue(key, on); });
        rows->addWidget(box);
    }
    return section(tr("Dropdown sections"), rows);
}

QWidget *SettingsWindow::refreshSection()
{
    auto *grid = new QGridLayout;
    const QString text = tr("Update plan usage every");
    auto *label = plainLabel(text);
    m_interval = slider(text, Settings::Key::planInterval, 2, 30, 1);
    label->setBuddy(m_interval);
    m_intervalText = valueText(Settings::Key::planInterval, minutesWidth);
    connect(m_interval, &QSlider::valueChanged, this, &SettingsWindow::intervalMoved);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_interval, 0, 1);
    grid->addWidget(m_intervalText, 0, 2);
    grid->addWidget(caption(tr("Local cost/token figures update instantly when transcripts "
                               "change. The official plan % is polled on this interval (and "
                               "whenever you open the menu) \u2014 keep it relaxed to avoid rate "
                               "limits.")),
                    1, 0, 1, 3);
    return section(tr("Refresh"), grid);
}

QWidget *SettingsWindow::dataSourceSection()
{
    auto *rows = new QVBoxLayout;
    QLabel *source =
        caption(tr("Data source: %1")
                    .arg(QDir::toNativeSeparators(QString::fromStdString(m_store.projectsRoot()))));
    source->setObjectName(QStringLiteral("dataSource"));
    source->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    rows->addWidget(source);
    return section(QString(), rows);
}

QWidget *SettingsWindow::section(const QString &title, QLayout *body)
{
    auto *box = new QWidget;
    box->setAccessibleName(title);
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    if (!title.isEmpty()) {
        auto *header = plainLabel(title);
        QFont bold; // only the weight is set: the rest follows the window's font
        bold.setBold(true);
        header->setFont(bold);
        column->addWidget(header);
    }
    body->setContentsMargins(12, 0, 0, 0);
    body->setSpacing(4);
    column->addLayout(body);
    return box;
}

QCheckBox *SettingsWindow::toggle(const QString &text, Settings::Key key)
{
    auto *box = new QCheckBox(text);
    box->setObjectName(Settings::name(key));
    m_toggles.emplace_back(key, box);
    return box;
}

QLabel *SettingsWindow::caption(const QString &text)
{
    auto *label = plainLabel(text);
    label->setWordWrap(true);
    m_captions.push_back(label);
    return label;
}

QLabel *SettingsWindow::valueText(Settings::Key key, int width)
{
    auto *text = plainLabel();
    text->setObjectName(Settings::name(key) + QLatin1String("Text"));
    text->setFixedWidth(width);
    text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return text;
}

SteppedSlider *SettingsWindow::slider(const QString &name, Settings::Key key, int min, int max,
                                      int step)
{
    auto *slider = new SteppedSlider(min, max, step);
    slider->setObjectName(Settings::name(key));
    slider->setAccessibleName(name);
    return slider;
}

void SettingsWindow::warningMoved(int warning)
{
    m_settings.setNotifyWarning(warning);
    if (m_settings.notifyCritical() <= warning)
        m_settings.setNotifyCritical(std::min(warning + 5, 99));
}

void SettingsWindow::criticalMoved(int critical)
{
    m_settings.setNotifyCritical(critical);
    if (critical <= m_settings.notifyWarning())
        m_settings.setNotifyWarning(std::max(critical - 5, 50));
}

void SettingsWindow::intervalMoved(int minutes)
{
    m_settings.setPlanInterval(minutes);
    m_store.schedulePlanTimer(minutes);
}

void SettingsWindow::present()
{
    // A window shown afresh reads the state in showEvent; an open one does it here.
    if (isVisible())
        readLoginState();
    bringToFront(this);
}

void SettingsWindow::showEvent(QShowEvent *event)
{
    // The user may have removed or disabled the entry outside the application meanwhile.
    readLoginState();
    QWidget::showEvent(event);
}

void SettingsWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::ApplicationPaletteChange ||
        event->type() == QEvent::ApplicationFontChange)
        styleCaptions();
    QWidget::changeEvent(event);
}

void SettingsWindow::readLoginState()
{
    m_settings.setLaunchAtLogin(m_loginItem.isRegistered());
}

void SettingsWindow::follow(Settings::Key key)
{
    for (const auto &[toggleKey, box] : m_toggles) {
        if (toggleKey == key) {
            const QSignalBlocker blocker(box);
            box->setChecked(m_settings.boolValue(key));
        }
    }
    const auto showValue = [this, key](SteppedSlider *slider, QLabel *text, const QString &unit) {
        const int value = wholePart(m_settings.doubleValue(key));
        const QSignalBlocker blocker(slider);
        slider->setValue(value);
        text->setText(QString::number(value) + unit);
    };
    switch (key) {
    case Settings::Key::notifyLimits:
        m_thresholds->setVisible(m_settings.notifyLimits());
        break;
    case Settings::Key::notifyWarning:
        showValue(m_warning, m_warningText, QStringLiteral("%"));
        break;
    case Settings::Key::notifyCritical:
        showValue(m_critical, m_criticalText, QStringLiteral("%"));
        break;
    case Settings::Key::planInterval:
        showValue(m_interval, m_intervalText, tr(" min"));
        break;
    case Settings::Key::barMetric: {
        const QSignalBlocker blocker(m_barMetric);
        m_barMetric->setCurrentIndex(m_barMetric->findData(rawValue(m_settings.barMetric())));
        break;
    }
    default:
        break;
    }
}

void SettingsWindow::styleCaptions()
{
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font().pointSizeF() > 0)
        digits.setPointSizeF(font().pointSizeF());
    for (QLabel *text : {m_warningText, m_criticalText, m_intervalText})
        text->setFont(digits);
    const QFont small = scaled(font(), 0.9);
    const QColor secondary = secondaryColor(palette());
    for (QLabel *label : m_captions) {
        label->setFont(small);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, secondary);
        label->setPalette(p);
    }
}
