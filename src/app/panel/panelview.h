#pragma once

#include "panel/panelvalues.h"

#include <QWidget>

class Last7DaysSection;
class PanelFooter;
class PanelHeader;
class PerModelSection;
class PerProjectSection;
class PlanLimitsSection;
class TodaySection;

// The panel's content, 320 pixels wide and as high as it needs: header, the sections the user
// chose, a divider and the footer. Shows values; does nothing itself.
class PanelView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelView)

public:
    static constexpr int width = 320;
    static constexpr int padding = 14;
    static constexpr int spacing = 14;

    explicit PanelView(QWidget *parent = nullptr);

    void setValues(const PanelValues &values);
    // The height the content needs at the panel's width.
    int fittedHeight() const;

    PanelHeader *header() const { return m_header; }
    PlanLimitsSection *planLimits() const { return m_plan; }
    TodaySection *today() const { return m_today; }
    Last7DaysSection *last7Days() const { return m_last7Days; }
    PerModelSection *perModel() const { return m_perModel; }
    PerProjectSection *perProject() const { return m_perProject; }
    PanelFooter *footer() const { return m_footer; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PanelHeader *m_header;
    PlanLimitsSection *m_plan;
    TodaySection *m_today;
    Last7DaysSection *m_last7Days;
    PerModelSection *m_perModel;
    PerProjectSection *m_perProject;
    QWidget *m_divider;
    PanelFooter *m_footer;
};
