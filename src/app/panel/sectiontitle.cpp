#include "panel/sectiontitle.h"

#include "panel/styledlabel.h"
#include "panel/symbollabel.h"

#include <QHBoxLayout>

SectionTitle::SectionTitle(const QString &text, PanelIcons::Symbol symbol, QWidget *parent)
    : QWidget(parent)
{
    auto *icon = new SymbolLabel(symbol, PanelStyle::Ink::secondary, 0, this);
    m_text = new StyledLabel(PanelStyle::Text::subheadline, PanelStyle::Ink::secondary, this);
    m_text->setText(text);
    const int side = m_text->fontMetrics().height();
    icon->setFixedSize(side, side);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    row->addWidget(icon);
    row->addWidget(m_text, 1);
}

QString SectionTitle::text() const
{
    return m_text->text();
}
