#include "panel/last7dayssection.h"

#include "format/format.h"
#include "format/paneltext.h"
#include "panel/daybar.h"
#include "panel/sectiontitle.h"
#include "panel/styledlabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

Last7DaysSection::Last7DaysSection(QWidget *parent) : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(new SectionTitle(tr("Last 7 days"), PanelIcons::Symbol::calendar, this));
    for (Row &r : m_rows) {
        r.row = new QWidget(this);
        r.weekday = new StyledLabel(PanelStyle::Text::caption, PanelStyle::Ink::secondary, r.row);
        r.weekday->setMonospaced(true);
        r.weekday->setFixedWidth(32);
        r.bar = new DayBar(r.row);
        r.cost = new StyledLabel(PanelStyle::Text::caption, PanelStyle::Ink::primary, r.row);
        r.cost->setMonospaced(true);
        r.cost->setFixedWidth(52);
        r.cost->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto *line = new QHBoxLayout(r.row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(8);
        line->addWidget(r.weekday);
        line->addWidget(r.bar, 1, Qt::AlignVCenter);
        line->addWidget(r.cost);
        column->addWidget(r.row);
    }
    setValues({});
}

void Last7DaysSection::setValues(const std::vector<DayUsage> &last7Days, const QLocale &locale)
{
    double maxCost = 0.01;
    for (const DayUsage &day : last7Days)
        maxCost = std::max(maxCost, day.bucket.cost);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const Row &r = m_rows[i];
        r.row->setVisible(i < last7Days.size());
        if (i >= last7Days.size())
            continue;
        const DayUsage &day = last7Days[i];
        r.weekday->setText(PanelText::weekday(day.date, locale));
        r.bar->setFraction(day.bucket.cost / maxCost);
        r.cost->setText(QString::fromStdString(Format::cost(day.bucket.cost)));
        r.row->setAccessibleName(r.weekday->text());
    }
}
