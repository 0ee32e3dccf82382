#include "panel/perprojectsection.h"

#include "base/bytepath.h"
#include "format/format.h"
#include "format/projectname.h"
#include "panel/metricrow.h"
#include "panel/sectiontitle.h"

#include <QVBoxLayout>

PerProjectSection::PerProjectSection(QWidget *parent) : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(
        new SectionTitle(tr("By project (7 days)"), PanelIcons::Symbol::folder, this));
    for (MetricRow *&row : m_rows) {
        row = new MetricRow(this);
        column->addWidget(row);
    }
    setValues({}, {});
}

void PerProjectSection::setValues(const std::vector<ProjectUsage> &perProject)
{
    setValues(perProject, BytePath::home());
}

void PerProjectSection::setValues(const std::vector<ProjectUsage> &perProject,
                                  const std::string &home)
{
    std::size_t shown = 0;
    for (const ProjectUsage &p : perProject) {
        if (shown == m_rows.size())
            break;
        if (p.last7Days.count == 0)
            continue; // used before this week only
        m_rows[shown++]->setValues(QString::fromStdString(ProjectName::display(p.project, home)),
                                   QString::fromStdString(Format::cost(p.last7Days.cost)) +
                                       QStringLiteral("  \u00b7  ") +
                                       QString::fromStdString(Format::tokens(p.last7Days.tokens)));
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_rows[i]->setVisible(i < shown);
}
