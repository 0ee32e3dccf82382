#include "treemanifest.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

QString pathIn(const std::string &dir)
{
    return QString::fromStdString(dir) + '/' + TreeManifest::fileName;
}

} // namespace

bool TreeManifest::save(const std::string &dir) const
{
    QJsonObject models;
    for (const auto &[model, totals] : perModel) {
        models.insert(
            QString::fromStdString(model),
            QJsonObject{{"count", qint64(totals.count)}, {"tokens", qint64(totals.tokens)}});
    }
    const QJsonObject doc{{"seed", QString::number(seed)},
                          {"end", QString::fromStdString(end)},
                          {"files", qint64(files)},
                          {"bytes", qint64(bytes)},
                          {"userLines", qint64(userLines)},
                          {"assistantLines", qint64(assistantLines)},
                          {"otherLines", qint64(otherLines)},
                          {"entries", qint64(entries)},
                          {"perModel", models}};
    QSaveFile file(pathIn(dir));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(doc).toJson());
    return file.commit();
}

std::optional<TreeManifest> TreeManifest::load(const std::string &dir)
{
    QFile file(pathIn(dir));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument json = QJsonDocument::fromJson(file.readAll());
    if (!json.isObject())
        return std::nullopt;
    const QJsonObject doc = json.object();
    TreeManifest m;
    bool seedOk = false;
    m.seed = doc.value("seed").toString().toULongLong(&seedOk);
    m.end = doc.value("end").toString().toStdString();
    m.files = std::uint64_t(doc.value("files").toInteger(-1));
    m.bytes = std::uint64_t(doc.value("bytes").toInteger(-1));
    m.userLines = std::uint64_t(doc.value("userLines").toInteger());
    m.assistantLines = std::uint64_t(doc.value("assistantLines").toInteger());
    m.otherLines = std::uint64_t(doc.value("otherLines").toInteger());
    m.entries = doc.value("entries").toInteger(-1);
    if (!seedOk || m.end.empty() || m.entries < 0)
        return std::nullopt;
    const QJsonObject models = doc.value("perModel").toObject();
    for (auto it = models.begin(); it != models.end(); ++it) {
        const QJsonObject totals = it.value().toObject();
        m.perModel[it.key().toStdString()] = {totals.value("count").toInteger(),
                                              totals.value("tokens").toInteger()};
    }
    return m;
}
