#include "panel/limitrow.h"

#include "format/format.h"
#include "format/paneltext.h"
#include "panel/levelbar.h"
#include "panel/sparkline.h"
#include "panel/styledlabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

LimitRow::LimitRow(const QString &title, QWidget *parent)
    : QWidget(parent),
      m_title(new StyledLabel(PanelStyle::Text::callout, PanelStyle::Ink::primary, this)),
      m_percent(new StyledLabel(PanelStyle::Text::callout, PanelStyle::Ink::primary, this)),
      m_bar(new LevelBar(this)),
      m_reset(new StyledLabel(PanelStyle::Text::caption2, PanelStyle::Ink::secondary, this)),
      m_sparkline(new Sparkline(this))
{
    m_title->setText(title);
    m_percent->setWeight(QFont::DemiBold);
    m_sparkline->setAccessibleName(tr("%1 trend").arg(title));

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto *head = new QHBoxLayout;
    head->addWidget(m_title);
    head->addStretch(1);
    head->addWidget(m_percent);
    column->addLayout(head);
    column->addWidget(m_bar);
    column->addWidget(m_reset);
    column->addWidget(m_sparkline);
}

void LimitRow::setValues(const std::optional<LimitWindow> &window, std::vector<SparkPoint> points,
                         const Thresholds &thresholds, Instant now)
{
    setVisible(window.has_value());
    if (!window)
        return;
    const double u = window->utilization;
    const QColor tint =
        PanelStyle::levelColor(usageLevel(u, thresholds.warning, thresholds.critical), palette());
    m_percent->setText(QString::fromStdString(Format::percent(u)));
    m_bar->setLevel(u, tint, m_title->text());

    m_reset->setVisible(window->resetsAt.has_value());
    if (window->resetsAt)
        m_reset->setText(tr("Resets %1").arg(PanelText::relative(*window->resetsAt, now)));

    const bool chart = points.size() >= minSparklinePoints;
    m_sparkline->setVisible(chart);
    m_sparkline->setPoints(chart ? std::move(points) : std::vector<SparkPoint>{}, tint);
}

QString LimitRow::percentText() const
{
    return m_percent->text();
}

QString LimitRow::resetText() const
{
    return m_reset->isVisibleTo(this) ? m_reset->text() : QString();
}
