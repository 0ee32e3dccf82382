#include "panel/modellimitrow.h"

#include "format/format.h"
#include "format/paneltext.h"
#include "panel/levelbar.h"
#include "panel/styledlabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

ModelLimitRow::ModelLimitRow(const QString &name, QWidget *parent)
    : QWidget(parent),
      m_name(new StyledLabel(PanelStyle::Text::caption, PanelStyle::Ink::secondary, this)),
      m_percent(new StyledLabel(PanelStyle::Text::caption, PanelStyle::Ink::primary, this)),
      m_reset(new StyledLabel(PanelStyle::Text::caption2, PanelStyle::Ink::tertiary, this)),
      m_bar(new LevelBar(this))
{
    m_name->setText(name);
    m_bar->setThin(true);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto *head = new QHBoxLayout;
    head->setSpacing(4);
    head->addWidget(m_name);
    head->addStretch(1);
    head->addWidget(m_percent);
    head->addWidget(m_reset);
    column->addLayout(head);
    column->addWidget(m_bar);
}

void ModelLimitRow::setValues(const std::optional<LimitWindow> &window,
                              const Thresholds &thresholds, Instant now)
{
    setVisible(window.has_value());
    if (!window)
        return;
    const double u = window->utilization;
    m_percent->setText(QString::fromStdString(Format::percent(u)));
    m_bar->setLevel(
        u,
        PanelStyle::levelColor(usageLevel(u, thresholds.warning, thresholds.critical), palette()),
        m_name->text());
    m_reset->setVisible(window->resetsAt.has_value());
    if (window->resetsAt)
        m_reset->setText(tr("· resets %1").arg(PanelText::relative(*window->resetsAt, now)));
}

QString ModelLimitRow::name() const
{
    return m_name->text();
}

QString ModelLimitRow::percentText() const
{
    return m_percent->text();
}

QString ModelLimitRow::resetText() const
{
    return m_reset->isVisibleTo(this) ? m_reset->text() : QString();
}
