#pragma once

#include "panel/panelicons.h"

#include <QWidget>

class StyledLabel;

// A section heading: its icon, then its text, in subheadline semibold, secondary.
class SectionTitle final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SectionTitle)

public:
    SectionTitle(const QString &text, PanelIcons::Symbol symbol, QWidget *parent = nullptr);

    QString text() const;

private:
    StyledLabel *m_text = nullptr;
};
