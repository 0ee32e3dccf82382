#include "panel/panelheader.h"

#include "panel/busyindicator.h"
#include "panel/styledlabel.h"

#include <QHBoxLayout>

#include <algorithm>

PanelHeader::PanelHeader(QWidget *parent) : QWidget(parent)
{
    auto *title = new StyledLabel(PanelStyle::Text::headline, PanelStyle::Ink::primary, this);
    title->setText(tr("Varnel Usage"));
    m_spinner = new BusyIndicator(this);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(title);
    row->addStretch(1);
    row->addWidget(m_spinner);
    // The row keeps its height whether or not the spinner shows.
    setMinimumHeight(std::max(title->sizeHint().height(), m_spinner->height()));
    m_spinner->hide();
}

void PanelHeader::setLoading(bool loading)
{
    m_spinner->setVisible(loading);
}
