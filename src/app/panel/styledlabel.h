#pragma once

#include "panel/panelstyle.h"

#include <QLabel>

#include <optional>

// A label in one of the panel's text styles and foreground levels, always plain text. It takes
// its colour from its parent's palette afresh whenever that changes, so a switch between light
// and dark follows.
class StyledLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StyledLabel)

public:
    explicit StyledLabel(PanelStyle::Text style, PanelStyle::Ink ink, QWidget *parent = nullptr);

    void setInk(PanelStyle::Ink ink);
    void setWeight(QFont::Weight weight);
    // Fixed-pitch figures, so columns of values line up.
    void setMonospaced(bool on);

protected:
    void changeEvent(QEvent *event) override;

private:
    void restyle();

    PanelStyle::Text m_style;
    PanelStyle::Ink m_ink;
    std::optional<QFont::Weight> m_weight;
    bool m_monospaced = false;
    bool m_restyling = false;
};
