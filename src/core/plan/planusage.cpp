#include "plan/planusage.h"

#include "base/isodate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

// A JSON boolean counts as a number here (true 1, false 0); a numeric string does not.
std::optional<double> number(const QJsonValue &v)
{
    if (v.isDouble())
        return v.toDouble();
    if (v.isBool())
        return v.toBool() ? 1.0 : 0.0;
    return std::nullopt;
}

} // namespace

std::optional<PlanUsage> PlanUsage::parse(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject top = doc.object();

    const auto window = [&top](const QString &key) -> std::optional<LimitWindow> {
        const QJsonValue member = top.value(key);
        if (!member.isObject())
            return std::nullopt;
        const QJsonObject w = member.toObject();
        const std::optional<double> utilization = number(w.value(QLatin1String("utilization")));
        if (!utilization)
            return std::nullopt;
        const QJsonValue resets = w.value(QLatin1String("resets_at"));
        return LimitWindow{*utilization,
                           parseDate(resets.isString() ? std::optional<QString>(resets.toString())
                                                       : std::nullopt)};
    };

    PlanUsage usage;
    usage.fiveHour = window(QStringLiteral("five_hour"));
    usage.sevenDay = window(QStringLiteral("seven_day"));
    if (!usage.fiveHour && !usage.sevenDay)
        return std::nullopt;
    usage.sevenDayMagnar = window(QStringLiteral("seven_day_magnar"));
    usage.sevenDayCorvel = window(QStringLiteral("seven_day_corvel"));
    return usage;
}

std::optional<Instant> PlanUsage::parseDate(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    // The markers looked for are ASCII, so working on the UTF-8 bytes finds the same places.
    const QByteArray utf8 = text->toUtf8();
    const std::string_view s(utf8.constData(), static_cast<std::size_t>(utf8.size()));

    if (const auto instant = IsoDateParser::withFraction().parse(s))
        return instant;

    // The fraction the first attempt refused is cut out and the rest read as whole seconds.
    // Only "+" and "Z" end the cut: a fraction followed by a "-" offset stays unreadable.
    const std::size_t dot = s.find('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    const std::size_t zone = s.find_first_of("+Z", dot);
    if (zone == std::string_view::npos)
        return std::nullopt;
    std::string whole(s.substr(0, dot));
    whole.append(s.substr(zone));
    return IsoDateParser::withoutFraction().parse(whole);
}
