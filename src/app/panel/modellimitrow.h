#pragma once

#include "base/instant.h"
#include "panel/panelvalues.h"

#include <QWidget>

class LevelBar;
class StyledLabel;

// A weekly window of one model tier: name, percent and "· resets …" in one line over a thin bar.
class ModelLimitRow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModelLimitRow)

public:
    explicit ModelLimitRow(const QString &name, QWidget *parent = nullptr);

    void setValues(const std::optional<LimitWindow> &window, const Thresholds &thresholds,
                   Instant now);

    QString name() const;
    QString percentText() const;
    QString resetText() const;

private:
    StyledLabel *m_name;
    StyledLabel *m_percent;
    StyledLabel *m_reset;
    LevelBar *m_bar;
};
