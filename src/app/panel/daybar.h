#pragma once

#include <QWidget>

// One day's cost as a capsule in the accent colour over a faint track, its length the share
// of the week's most expensive day.
class DayBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DayBar)

public:
    static constexpr int barHeight = 8;

    explicit DayBar(QWidget *parent = nullptr);

    // 0…1 of the full width.
    void setFraction(double fraction);
    double fraction() const { return m_fraction; }
    // The filled width for the bar's current width.
    double fillWidth() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_fraction = 0;
};
