#include "panel/ratelimitnotice.h"

#include "format/paneltext.h"
#include "panel/styledlabel.h"
#include "panel/symbollabel.h"

#include <QHBoxLayout>

RateLimitNotice::RateLimitNotice(QWidget *parent) : QWidget(parent)
{
    auto *icon =
        new SymbolLabel(PanelIcons::Symbol::clockAlert, PanelStyle::Ink::secondary, 0, this);
    m_text = new StyledLabel(PanelStyle::Text::caption2, PanelStyle::Ink::secondary, this);
    icon->setFixedSize(m_text->fontMetrics().height(), m_text->fontMetrics().height());
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    row->addWidget(icon);
    row->addWidget(m_text, 1);
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &RateLimitNotice::tick);
}

void RateLimitNotice::setClock(Clock clock)
{
    m_clock = std::move(clock);
    tick();
}

void RateLimitNotice::setRetryAt(std::optional<Instant> retryAt)
{
    m_retryAt = retryAt;
    tick();
    if (m_retryAt && isVisible() && !m_tick.isActive())
        m_tick.start();
}

QString RateLimitNotice::text() const
{
    return m_text->text();
}

void RateLimitNotice::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    tick();
    if (m_retryAt)
        m_tick.start();
}

void RateLimitNotice::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_tick.stop();
}

void RateLimitNotice::tick()
{
    m_text->setText(m_retryAt ? PanelText::rateLimitNotice(*m_retryAt, m_clock()) : QString());
}
