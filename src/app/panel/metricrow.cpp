#include "panel/metricrow.h"

#include "panel/styledlabel.h"

#include <QHBoxLayout>

MetricRow::MetricRow(QWidget *parent)
    : QWidget(parent),
      m_label(new StyledLabel(PanelStyle::Text::callout, PanelStyle::Ink::secondary, this)),
      m_value(new StyledLabel(PanelStyle::Text::callout, PanelStyle::Ink::primary, this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_label);
    row->addStretch(1);
    row->addWidget(m_value);
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void MetricRow::setValues(const QString &label, const QString &value)
{
    m_label->setText(label);
    m_value->setText(value);
}

QString MetricRow::label() const
{
    return m_label->text();
}

QString MetricRow::value() const
{
    return m_value->text();
}
