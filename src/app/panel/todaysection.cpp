#include "panel/todaysection.h"

#include "format/format.h"
#include "format/monthtext.h"
#include "panel/metricrow.h"
#include "panel/sectiontitle.h"
#include "panel/styledlabel.h"

#include <QVBoxLayout>

TodaySection::TodaySection(QWidget *parent)
    : QWidget(parent),
      m_month(new StyledLabel(PanelStyle::Text::caption, PanelStyle::Ink::secondary, this))
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(new SectionTitle(tr("Today"), PanelIcons::Symbol::sun, this));
    for (MetricRow *&row : m_rows) {
        row = new MetricRow(this);
        column->addWidget(row);
    }
    m_month->setTextFormat(Qt::PlainText);
    m_month->setWordWrap(true);
    column->addWidget(m_month);
    setValues({});
}

void TodaySection::setValues(const UsageBucket &today, const std::optional<MonthForecast> &month)
{
    m_rows[0]->setValues(tr("Cost"), QString::fromStdString(Format::cost(today.cost)));
    m_rows[1]->setValues(tr("Tokens"), QString::fromStdString(Format::tokens(today.tokens)));
    m_rows[2]->setValues(tr("Messages"), QString::number(today.count));
    m_month->setVisible(month.has_value());
    if (month)
        m_month->setText(MonthText::line(*month));
}
