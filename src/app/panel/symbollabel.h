#pragma once

#include "panel/panelicons.h"
#include "panel/panelstyle.h"

#include <QWidget>

// One of the panel's icons beside a text, in the text's foreground level.
class SymbolLabel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SymbolLabel)

public:
    SymbolLabel(PanelIcons::Symbol symbol, PanelStyle::Ink ink, int size,
                QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PanelIcons::Symbol m_symbol;
    PanelStyle::Ink m_ink;
};
