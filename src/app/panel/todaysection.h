#pragma once

#include "transcripts/aggregates.h"

#include <QWidget>

#include <array>
#include <optional>

class MetricRow;
class StyledLabel;

// "Today": cost, tokens and messages of the local calendar day, and under them the month so far
// with where the recent pace leads.
class TodaySection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TodaySection)

public:
    explicit TodaySection(QWidget *parent = nullptr);

    void setValues(const UsageBucket &today, const std::optional<MonthForecast> &month = {});
    const std::array<MetricRow *, 3> &rows() const { return m_rows; }

private:
    std::array<MetricRow *, 3> m_rows{};
    StyledLabel *m_month;
};
