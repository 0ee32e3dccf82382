#include "shell/painttrace.h"

#include "base/instant.h"
#include "panel/panelview.h"
#include "panel/panelwindow.h"

#include <QEvent>
#include <QWidget>

#include <cinttypes>
#include <cstdio>

namespace {

class Filter final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            m_armed = true;
        if (event->type() == QEvent::Paint && m_armed) {
            m_armed = false;
            std::fprintf(stderr, "varnelusage: panel painted %" PRId64 "\n", Instant::now().micros);
            std::fflush(stderr);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_armed = false;
};

} // namespace

namespace PaintTrace {

void install(PanelWindow *panel)
{
    panel->view()->installEventFilter(new Filter(panel->view()));
    QObject::connect(panel, &PanelWindow::reopenGuardChanged, panel, [](bool on) {
        std::fprintf(stderr, "varnelusage: panel reopen guard %s\n", on ? "on" : "off");
        std::fflush(stderr);
    });
}

} // namespace PaintTrace
