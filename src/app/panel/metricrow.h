#pragma once

#include <QWidget>

class StyledLabel;

// A label on the left and its value on the right, in callout.
class MetricRow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricRow)

public:
    explicit MetricRow(QWidget *parent = nullptr);

    void setValues(const QString &label, const QString &value);
    QString label() const;
    QString value() const;

private:
    StyledLabel *m_label;
    StyledLabel *m_value;
};
