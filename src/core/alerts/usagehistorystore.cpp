#include "alerts/usagehistorystore.h"

#include "base/isodate.h"
#include "base/regularfile.h"
#include "format/timetext.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

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
    // A temporary file beside the history, renamed over it: the rename replaces whatever the
    // name holds, a symbolic link included, where a save in place would write through the link
    // into its target (or nowhere, for a dangling one).
    const QString path = filePath();
    QTemporaryFile file(path + QLatin1String(".XXXXXX"));
    if (!file.open())
        return;
    const QByteArray data = encode(history);
    // A short write (a full disk, a file size limit), which may show only when the buffer is
    // flushed, must not become the file: the temporary one is dropped and the old file stays,
    // which is all that can be done.
    if (file.write(data) != data.size() || !file.flush() || ::fsync(file.handle()) != 0)
        return;
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(path).constData()) == 0)
        file.setAutoRemove(false); // it is the history now
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
