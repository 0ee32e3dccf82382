#pragma once

#include "transcripts/aggregates.h"

#include <QLocale>
#include <QWidget>

#include <array>
#include <vector>

class DayBar;
class StyledLabel;

// "Last 7 days": one row per day, oldest first — weekday, a bar scaled to the week's most
// expensive day, and the cost.
class Last7DaysSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Last7DaysSection)

public:
    static constexpr int days = 7;

    struct Row
    {
        QWidget *row = nullptr;
        StyledLabel *weekday = nullptr;
        DayBar *bar = nullptr;
        StyledLabel *cost = nullptr;
    };

    explicit Last7DaysSection(QWidget *parent = nullptr);

    void setValues(const std::vector<DayUsage> &last7Days, const QLocale &locale = QLocale());
    const std::array<Row, days> &rows() const { return m_rows; }

private:
    std::array<Row, days> m_rows;
};
