#pragma once

#include "base/instant.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class StyledLabel;

// "Rate limited — retrying in 1m 5s", counted down once a second while it is on screen.
class RateLimitNotice final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RateLimitNotice)

public:
    using Clock = std::function<Instant()>;

    explicit RateLimitNotice(QWidget *parent = nullptr);

    void setClock(Clock clock);
    // The end of the back-off; the countdown stops at 0s once it has passed.
    void setRetryAt(std::optional<Instant> retryAt);

    QString text() const;
    bool isTicking() const { return m_tick.isActive(); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void tick();

    Clock m_clock = [] { return Instant::now(); };
    std::optional<Instant> m_retryAt;
    StyledLabel *m_text = nullptr;
    QTimer m_tick;
};
