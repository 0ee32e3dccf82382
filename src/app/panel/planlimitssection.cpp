#include "panel/planlimitssection.h"

#include "format/paneltext.h"
#include "panel/limitrow.h"
#include "panel/modellimitrow.h"
#include "panel/ratelimitnotice.h"
#include "panel/sectiontitle.h"
#include "panel/styledlabel.h"

#include <QVBoxLayout>

PlanLimitsSection::PlanLimitsSection(QWidget *parent) : QWidget(parent)
{
    // Made in reading order: screen readers walk the children in the order they were made.
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(
        new SectionTitle(tr("Plan limits (official)"), PanelIcons::Symbol::gauge, this));
    m_fiveHour = new LimitRow(tr("5h window"), this);
    m_fivePace = new StyledLabel(PanelStyle::Text::caption2, PanelStyle::Ink::secondary, this);
    m_weekly = new LimitRow(tr("Weekly"), this);
    m_weeklyPace = new StyledLabel(PanelStyle::Text::caption2, PanelStyle::Ink::secondary, this);
    column->addWidget(m_fiveHour);
    column->addWidget(m_fivePace);
    column->addWidget(m_weekly);
    column->addWidget(m_weeklyPace);

    m_byModel = new QWidget(this);
    auto *models = new QVBoxLayout(m_byModel);
    models->setContentsMargins(10, 0, 0, 0);
    models->setSpacing(5);
    auto *modelsTitle =
        new StyledLabel(PanelStyle::Text::caption2, PanelStyle::Ink::tertiary, m_byModel);
    modelsTitle->setWeight(QFont::DemiBold);
    modelsTitle->setText(tr("Weekly by model"));
    m_magnar = new ModelLimitRow(QStringLiteral("Magnar"), m_byModel);
    m_corvel = new ModelLimitRow(QStringLiteral("Corvel"), m_byModel);
    models->addWidget(modelsTitle);
    models->addWidget(m_magnar);
    models->addWidget(m_corvel);
    column->addWidget(m_byModel);

    m_notice = new RateLimitNotice(this);
    m_status = new StyledLabel(PanelStyle::Text::callout, PanelStyle::Ink::secondary, this);
    m_status->setWordWrap(true);
    column->addWidget(m_notice);
    column->addWidget(m_status);
}

void PlanLimitsSection::setValues(const PlanLimitsValues &values, Instant now)
{
    m_state = planLimitsState(values, now);
    const bool limits = m_state == PlanLimitsState::limits;
    const Thresholds &t = values.thresholds;
    if (limits) {
        m_fiveHour->setValues(values.plan->fiveHour, values.fivePoints, t, now);
        m_weekly->setValues(values.plan->sevenDay, values.sevenPoints, t, now);
        m_magnar->setValues(values.plan->sevenDayMagnar, t, now);
        m_corvel->setValues(values.plan->sevenDayCorvel, t, now);
    }
    m_fiveHour->setVisible(limits && values.plan->fiveHour);
    m_weekly->setVisible(limits && values.plan->sevenDay);
    m_fivePace->setText(limits && values.plan->fiveHour ? PanelText::pace(values.pace.fiveHour, now)
                                                        : QString());
    m_weeklyPace->setText(
        limits && values.plan->sevenDay ? PanelText::pace(values.pace.sevenDay, now) : QString());
    m_fivePace->setVisible(!m_fivePace->text().isEmpty());
    m_weeklyPace->setVisible(!m_weeklyPace->text().isEmpty());
    m_byModel->setVisible(limits && (values.plan->sevenDayMagnar || values.plan->sevenDayCorvel));

    const bool notice = isRateLimited(values, now);
    m_notice->setRetryAt(notice ? values.retryAt : std::nullopt);
    m_notice->setVisible(notice);

    switch (m_state) {
    case PlanLimitsState::error:
        m_status->setText(*values.error);
        break;
    case PlanLimitsState::loading:
        m_status->setText(tr("Loading…"));
        break;
    case PlanLimitsState::limits:
    case PlanLimitsState::rateLimited:
        m_status->clear();
        break;
    }
    m_status->setVisible(!m_status->text().isEmpty());
}

QString PlanLimitsSection::statusText() const
{
    return m_status->isVisibleTo(this) ? m_status->text() : QString();
}

QString PlanLimitsSection::fivePaceText() const
{
    return m_fivePace->isVisibleTo(this) ? m_fivePace->text() : QString();
}

QString PlanLimitsSection::weeklyPaceText() const
{
    return m_weeklyPace->isVisibleTo(this) ? m_weeklyPace->text() : QString();
}
