#pragma once

#include "base/instant.h"

#include <QWidget>

#include <optional>

class QPushButton;
class QToolButton;
class StyledLabel;

// The refresh button, "Updated …", "Settings…" and "Quit". Emits what was asked for; the owner
// decides what it does.
class PanelFooter final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelFooter)

public:
    explicit PanelFooter(QWidget *parent = nullptr);

    void setValues(bool loading, std::optional<Instant> lastUpdated);

    QToolButton *refreshButton() const { return m_refresh; }
    QPushButton *settingsButton() const { return m_settings; }
    QPushButton *quitButton() const { return m_quit; }
    QString updatedText() const;

signals:
    void refreshClicked();
    void settingsClicked();
    void quitClicked();

protected:
    void changeEvent(QEvent *event) override;

private:
    void updateIcon();

    QToolButton *m_refresh;
    StyledLabel *m_updated;
    QPushButton *m_settings;
    QPushButton *m_quit;
};
