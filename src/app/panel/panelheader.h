#pragma once

#include <QWidget>

class BusyIndicator;

// "Varnel Usage", with a spinner on the right while a scan runs.
class PanelHeader final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelHeader)

public:
    explicit PanelHeader(QWidget *parent = nullptr);

    void setLoading(bool loading);
    const BusyIndicator *spinner() const { return m_spinner; }

private:
    BusyIndicator *m_spinner = nullptr;
};
