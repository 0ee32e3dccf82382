#include "alerts/usagehistorystore.h"

#include "base/isodate.h"
#include "base/regularfile.h"
#include "format/timetext.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

// Far above the five thousand samples seven days can hold.
constexpr qint64 maxFileSize = 16 << 20;

// Absent or null: no value. Anything but a number spoils the file.
bool readValue(const QJsonObject &sample, QLatin1String key, std::optional<double> &out)
{
    const QJsonValue value = sample.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isDouble())
        return false;
    out = value.toDouble();
    return true;
}

std::optional<UsageSample> decodeSample(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue t = object.value(QLatin1String("t"));
    if (!t.isString())
        return std::nullopt;
    const auto when = IsoDateParser::withoutFraction().parse(t.toString().toStdString());
    if (!when)
        return std::nullopt;
    UsageSample sample{*when, {}, {}};
    if (!readValue(object, QLatin1String("five"), sample.five) ||
        !readValue(object, QLatin1String("seven"), sample.seven))
        return std::nullopt;
    return sample;
}

} // namespace

namespace UsageHistoryStore {

QString filePath()
{
    const QString dir =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/VarnelUsage";
    QDir().mkpath(dir);
    return dir + "/plan-history.json";
}

UsageHistory load(Instant now)
{
    const std::optional<QByteArray> data = readRegularFile(filePath(), maxFileSize);
    if (!data)
        return {};
    UsageHistory history = decode(*data).value_or(UsageHistory());
    // A sample from a clock that was once far ahead would stop every append until its date.
    const Instant latest{now.micros + std::int64_t(maxAheadSeconds) * 1'000'000};
    std::erase_if(history, [latest](const UsageSample &s) { return s.t > latest; });
    return history;
}

void save(const UsageHistory &history)
{
    QSaveFile file(filePath());
    // Unbuffered, so that a short write shows here: a buffered one would only fail unnoticed
    // when the buffer is flushed on commit, and the torn file would take the old one's place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray data = encode(history);
    // A short write (a full disk, a file size limit) must not become the file: the temporary
    // one is dropped and the old file stays, which is all that can be done.
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        file.commit();
        return;
    }
    file.commit();
}

QByteArray encode(const UsageHistory &history)
{
    QJsonArray array;
    for (const UsageSample &sample : history) {
        QJsonObject object{
            {QLatin1String("t"),
             QDateTime::fromSecsSinceEpoch(sample.t.seconds(), Qt::UTC).toString(Qt::ISODate)}};
        if (sample.five)
            object.insert(QLatin1String("five"), *sample.five);
        if (sample.seven)
            object.insert(QLatin1String("seven"), *sample.seven);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<UsageHistory> decode(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    UsageHistory history;
    for (const QJsonValue &value : doc.array()) {
        std::optional<UsageSample> sample = decodeSample(value);
        if (!sample)
            return std::nullopt;
        history.push_back(*sample);
    }
    return history;
}

UsageHistory appending(const PlanUsage &usage, UsageHistory history, Instant now)
{
    if (!history.empty() && now.secondsSince(history.back().t) < minSpacingSeconds)
        return history;
    const auto utilization = [](const std::optional<LimitWindow> &w) {
        return w ? std::optional(w->utilization) : std::nullopt;
    };
    history.push_back({now, utilization(usage.fiveHour), utilization(usage.sevenDay)});
    const Instant cutoff{now.micros - std::int64_t(keptSeconds) * 1'000'000};
    std::erase_if(history, [cutoff](const UsageSample &s) { return s.t < cutoff; });
    return history;
}

} // namespace UsageHistoryStore
