#include "panel/panelview.h"

#include "panel/last7dayssection.h"
#include "panel/panelfooter.h"
#include "panel/panelheader.h"
#include "panel/panelstyle.h"
#include "panel/permodelsection.h"
#include "panel/perprojectsection.h"
#include "panel/planlimitssection.h"
#include "panel/todaysection.h"

#include <QPainter>
#include <QVBoxLayout>

namespace {

// A hairline in the faintest text level.
class Divider final : public QWidget
{
public:
    explicit Divider(QWidget *parent) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), PanelStyle::ink(PanelStyle::Ink::quaternary, palette()));
    }
};

} // namespace

PanelView::PanelView(QWidget *parent)
    : QWidget(parent), m_header(new PanelHeader(this)), m_plan(new PlanLimitsSection(this)),
      m_today(new TodaySection(this)), m_last7Days(new Last7DaysSection(this)),
      m_perModel(new PerModelSection(this)), m_perProject(new PerProjectSection(this)),
      m_divider(new Divider(this)), m_footer(new PanelFooter(this))
{
    setFixedWidth(width);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);
    for (QWidget *w : std::initializer_list<QWidget *>{
             m_header, m_plan, m_today, m_last7Days, m_perModel, m_perProject, m_divider, m_footer})
        column->addWidget(w);
    m_perModel->hide();
    m_perProject->hide();
}

void PanelView::setValues(const PanelValues &values)
{
    m_header->setLoading(values.loading);
    m_plan->setVisible(values.showPlanLimits);
    if (values.showPlanLimits)
        m_plan->setValues(values.plan, values.now);
    m_today->setVisible(values.showToday);
    m_today->setValues(values.today, values.month);
    m_last7Days->setVisible(values.showLast7Days);
    m_last7Days->setValues(values.last7Days);
    m_perModel->setVisible(values.showPerModel);
    m_perModel->setValues(values.perModel);
    m_perProject->setVisible(values.showPerProject);
    if (values.showPerProject)
        m_perProject->setValues(values.perProject);
    m_footer->setValues(values.loading, values.lastUpdated);
}

int PanelView::fittedHeight() const
{
    return hasHeightForWidth() ? heightForWidth(width) : sizeHint().height();
}

void PanelView::paintEvent(QPaintEvent *)
{
    // A hairline border, so the frameless panel stands apart from a window of the same colour.
    QPainter p(this);
    p.setPen(PanelStyle::ink(PanelStyle::Ink::quaternary, palette()));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
