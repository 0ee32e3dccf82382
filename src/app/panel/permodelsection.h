#pragma once

#include "transcripts/aggregates.h"

#include <QWidget>

#include <array>
#include <vector>

class MetricRow;

// "By model (all time)": the five most expensive models, cost and tokens.
class PerModelSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PerModelSection)

public:
    static constexpr std::size_t maxRows = 5;

    explicit PerModelSection(QWidget *parent = nullptr);

    // Highest cost first, as the aggregates hold them; rows past the fifth are left out.
    void setValues(const std::vector<ModelUsage> &perModel);
    const std::array<MetricRow *, maxRows> &rows() const { return m_rows; }

private:
    std::array<MetricRow *, maxRows> m_rows{};
};
