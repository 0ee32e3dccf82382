// Any body as the plan usage document, and any text as its reset time: never a crash, a parsed
// document always has a primary window, and a reset time never decides whether its window exists.
#include "base/isodate.h"
#include "plan/planusage.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    if (const auto usage = PlanUsage::parse(bytes)) {
        if (!usage->fiveHour && !usage->sevenDay)
            std::abort();
        for (const auto *w :
             {&usage->fiveHour, &usage->sevenDay, &usage->sevenDayMagnar, &usage->sevenDayCorvel}) {
            if (*w && !std::isfinite((*w)->utilization))
                std::abort();
        }
    }

    // The same bytes as the "resets_at" text of an otherwise valid window.
    const QString text = QString::fromUtf8(bytes);
    const QJsonObject window{{"utilization", 12.5}, {"resets_at", text}};
    const auto usage = PlanUsage::parse(QJsonDocument(QJsonObject{{"seven_day", window}}).toJson());
    if (!usage || !usage->sevenDay || usage->sevenDay->utilization != 12.5)
        std::abort();
    // Text the fractional form rejects is only rescued by cutting out a fraction after a ".".
    const QByteArray utf8 = text.toUtf8();
    const std::string_view view(utf8.constData(), std::size_t(utf8.size()));
    if (usage->sevenDay->resetsAt && !IsoDateParser::withFraction().parse(view) &&
        !utf8.contains('.'))
        std::abort();
    return 0;
}
