#pragma once

#include "panel/panelvalues.h"

#include <QWidget>

class LimitRow;
class ModelLimitRow;
class RateLimitNotice;
class StyledLabel;

// "Plan limits (official)": the five-hour and weekly rows with their charts, each with where its
// pace leads below it when there is enough history to say, the weekly rows per
// model tier and the rate-limit notice; or, without any document, the notice, the error text or
// "Loading…".
class PlanLimitsSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlanLimitsSection)

public:
    explicit PlanLimitsSection(QWidget *parent = nullptr);

    void setValues(const PlanLimitsValues &values, Instant now);

    PlanLimitsState state() const { return m_state; }
    LimitRow *fiveHour() const { return m_fiveHour; }
    LimitRow *weekly() const { return m_weekly; }
    // Where the pace leads the five-hour and the weekly window; empty while not shown.
    QString fivePaceText() const;
    QString weeklyPaceText() const;
    QWidget *byModel() const { return m_byModel; }
    ModelLimitRow *magnar() const { return m_magnar; }
    ModelLimitRow *corvel() const { return m_corvel; }
    RateLimitNotice *notice() const { return m_notice; }
    // The error text or "Loading…"; empty while neither shows.
    QString statusText() const;

private:
    PlanLimitsState m_state = PlanLimitsState::loading;
    LimitRow *m_fiveHour = nullptr;
    LimitRow *m_weekly = nullptr;
    StyledLabel *m_fivePace = nullptr;
    StyledLabel *m_weeklyPace = nullptr;
    QWidget *m_byModel = nullptr;
    ModelLimitRow *m_magnar = nullptr;
    ModelLimitRow *m_corvel = nullptr;
    RateLimitNotice *m_notice = nullptr;
    StyledLabel *m_status = nullptr;
};
