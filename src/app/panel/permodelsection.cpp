#include "panel/permodelsection.h"

#include "format/format.h"
#include "format/paneltext.h"
#include "panel/metricrow.h"
#include "panel/sectiontitle.h"

#include <QVBoxLayout>

PerModelSection::PerModelSection(QWidget *parent) : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(new SectionTitle(tr("By model (all time)"), PanelIcons::Symbol::cpu, this));
    for (MetricRow *&row : m_rows) {
        row = new MetricRow(this);
        column->addWidget(row);
    }
    setValues({});
}

void PerModelSection::setValues(const std::vector<ModelUsage> &perModel)
{
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        m_rows[i]->setVisible(i < perModel.size());
        if (i >= perModel.size())
            continue;
        const ModelUsage &m = perModel[i];
        m_rows[i]->setValues(PanelText::shortModel(QString::fromStdString(m.model)),
                             QString::fromStdString(Format::cost(m.bucket.cost)) +
                                 QStringLiteral("  \u00b7  ") +
                                 QString::fromStdString(Format::tokens(m.bucket.tokens)));
    }
}
