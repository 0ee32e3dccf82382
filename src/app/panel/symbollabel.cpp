#include "panel/symbollabel.h"

#include <QPainter>

SymbolLabel::SymbolLabel(PanelIcons::Symbol symbol, PanelStyle::Ink ink, int size, QWidget *parent)
    : QWidget(parent), m_symbol(symbol), m_ink(ink)
{
    setFixedSize(size, size);
}

void SymbolLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    PanelIcons::draw(p, rect(), m_symbol, PanelStyle::ink(m_ink, palette()));
}
