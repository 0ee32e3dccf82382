#pragma once

#include <QColor>
#include <QProgressBar>

// A linear bar of a share of a limit, as a capsule filled in the row's colour. A progress bar
// underneath, so screen readers announce its value.
class LevelBar final : public QProgressBar
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LevelBar)

public:
    static constexpr int normalHeight = 6;

    explicit LevelBar(QWidget *parent = nullptr);

    // The share in percent, shown up to 100; `name` is what screen readers call the bar.
    void setLevel(double utilization, const QColor &tint, const QString &name);
    // Drawn at 70 % of the normal height, centred, taking the same room.
    void setThin(bool thin);
    QColor tint() const { return m_tint; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_fraction = 0;
    QColor m_tint;
    bool m_thin = false;
};
