#include "panel/styledlabel.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>

StyledLabel::StyledLabel(PanelStyle::Text style, PanelStyle::Ink ink, QWidget *parent)
    : QLabel(parent), m_style(style), m_ink(ink)
{
    // Names come from transcripts and folders: never let them be read as markup (an <img> tag
    // would make Qt load any file as a picture).
    setTextFormat(Qt::PlainText);
    restyle();
}

void StyledLabel::setInk(PanelStyle::Ink ink)
{
    m_ink = ink;
    restyle();
}

void StyledLabel::setWeight(QFont::Weight weight)
{
    m_weight = weight;
    restyle();
}

void StyledLabel::setMonospaced(bool on)
{
    m_monospaced = on;
    restyle();
}

void StyledLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::ParentChange:
    case QEvent::ApplicationFontChange:
        restyle();
        break;
    default:
        break;
    }
}

void StyledLabel::restyle()
{
    // Setting the palette sends a palette change of its own.
    if (m_restyling)
        return;
    m_restyling = true;
    QFont base = QApplication::font();
    if (m_monospaced)
        base.setFamily(QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    QFont f = PanelStyle::font(m_style, base);
    if (m_weight)
        f.setWeight(*m_weight);
    setFont(f);
    const QPalette from = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    QPalette own = palette();
    own.setColor(QPalette::WindowText, PanelStyle::ink(m_ink, from));
    setPalette(own);
    m_restyling = false;
}
