#include "plan/credentials.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

std::optional<QString> tokenFromCredentialsJson(const QByteArray &data)
{
    // The keychain tools end their output with a line feed; only such trailing bytes are cut.
    qsizetype end = data.size();
    while (end > 0) {
        const char c = data.at(end - 1);
        if (c != '\n' && c != '\r' && c != ' ' && c != '\t')
            break;
        --end;
    }

    // A view instead of a copy, so no further buffer holds the secret.
    QJsonParseError error;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromRawData(data.constData(), end), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonValue session = doc.object().value(QLatin1String("varnelAiOauth"));
    if (!session.isObject())
        return std::nullopt;
    const QJsonValue token = session.toObject().value(QLatin1String("accessToken"));
    if (!token.isString())
        return std::nullopt;
    QString text = token.toString();
    if (text.isEmpty())
        return std::nullopt;
    // It goes into a header line as it stands: a control character, DEL or anything beyond ASCII
    // could end the line or add another, so such a token is taken for none.
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return std::nullopt;
    }
    return text;
}
