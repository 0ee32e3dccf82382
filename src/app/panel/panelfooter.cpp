#include "panel/panelfooter.h"

#include "format/paneltext.h"
#include "panel/panelicons.h"
#include "panel/styledlabel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QToolButton>

namespace {

QPushButton *smallButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFont(PanelStyle::font(PanelStyle::Text::caption));
    button->setAutoDefault(false);
    // Small controls: as wide as their text needs, not the style's usual minimum width.
    const QFontMetrics metrics(button->font());
    button->setFixedWidth(metrics.horizontalAdvance(text) + 2 * metrics.height());
    return button;
}

} // namespace

PanelFooter::PanelFooter(QWidget *parent)
    : QWidget(parent), m_refresh(new QToolButton(this)),
      m_updated(new StyledLabel(PanelStyle::Text::caption2, PanelStyle::Ink::secondary, this)),
      m_settings(smallButton(tr("Settings…"), this)), m_quit(smallButton(tr("Quit"), this))
{
    m_refresh->setAutoRaise(true);
    m_refresh->setToolTip(tr("Refresh now"));
    m_refresh->setAccessibleName(tr("Refresh now"));
    m_refresh->setIconSize(QSize(16, 16));
    updateIcon();

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(m_refresh);
    row->addWidget(m_updated);
    row->addStretch(1);
    row->addWidget(m_settings);
    row->addWidget(m_quit);

    connect(m_refresh, &QToolButton::clicked, this, &PanelFooter::refreshClicked);
    connect(m_settings, &QPushButton::clicked, this, &PanelFooter::settingsClicked);
    connect(m_quit, &QPushButton::clicked, this, &PanelFooter::quitClicked);
}

void PanelFooter::setValues(bool loading, std::optional<Instant> lastUpdated)
{
    m_refresh->setEnabled(!loading);
    m_updated->setVisible(lastUpdated.has_value());
    if (lastUpdated)
        m_updated->setText(tr("Updated %1").arg(PanelText::clockTime(*lastUpdated)));
}

QString PanelFooter::updatedText() const
{
    return m_updated->isVisibleTo(this) ? m_updated->text() : QString();
}

void PanelFooter::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateIcon();
}

void PanelFooter::updateIcon()
{
    m_refresh->setIcon(PanelIcons::icon(PanelIcons::Symbol::refresh,
                                        PanelStyle::ink(PanelStyle::Ink::primary, palette()), 16));
}
