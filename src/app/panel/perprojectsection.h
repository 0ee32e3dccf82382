#pragma once

#include "transcripts/aggregates.h"

#include <QWidget>

#include <array>
#include <string>
#include <vector>

class MetricRow;

// "By project (7 days)": the five projects that cost most in the last seven days, cost and tokens.
class PerProjectSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PerProjectSection)

public:
    static constexpr std::size_t maxRows = 5;

    explicit PerProjectSection(QWidget *parent = nullptr);

    // Most expensive this week first, as the aggregates hold them; projects without use this
    // week and rows past the fifth are left out. Names lose the encoded `home` at their front.
    void setValues(const std::vector<ProjectUsage> &perProject, const std::string &home);
    void setValues(const std::vector<ProjectUsage> &perProject);
    const std::array<MetricRow *, maxRows> &rows() const { return m_rows; }

private:
    std::array<MetricRow *, maxRows> m_rows{};
};
