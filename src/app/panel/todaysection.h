#pragma once

#include "transcripts/aggregates.h"

#include <QWidget>

#include <array>

class MetricRow;

// "Today": cost, tokens and messages of the local calendar day.
class TodaySection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TodaySection)

public:
    explicit TodaySection(QWidget *parent = nullptr);

    void setValues(const UsageBucket &today);
    const std::array<MetricRow *, 3> &rows() const { return m_rows; }

private:
    std::array<MetricRow *, 3> m_rows{};
};
