#include "settings/prefbinding.h"

#include "settings/prefs.h"

#include <QList>
#include <QMultiHash>
#include <QPointer>

namespace {

// Every live binding by key: how one write reaches the other views of the same key.
QMultiHash<QString, PrefBinding *> &live()
{
    static QMultiHash<QString, PrefBinding *> bindings;
    return bindings;
}

} // namespace

PrefBinding::PrefBinding(const QString &key, QObject *parent)
    : QObject(parent), m_key(key), m_default(Prefs::declaredDefault(key))
{
    live().insert(m_key, this);
}

PrefBinding::~PrefBinding()
{
    live().remove(m_key, this);
}

QVariant PrefBinding::value() const
{
    const QVariant stored = Prefs::storedValue(m_key);
    return stored.isValid() ? stored : m_default;
}

bool PrefBinding::boolValue() const
{
    return Prefs::toBool(value());
}

double PrefBinding::doubleValue() const
{
    return Prefs::toDouble(value());
}

QString PrefBinding::stringValue() const
{
    return value().toString();
}

void PrefBinding::setValue(const QVariant &value)
{
    Prefs::setValue(m_key, value);
    // A view reacting to the signal may create or delete bindings: notify from a guarded copy.
    QList<QPointer<PrefBinding>> peers;
    for (PrefBinding *binding : live().values(m_key))
        peers.append(binding);
    for (const QPointer<PrefBinding> &peer : peers) {
        if (peer)
            emit peer->valueChanged();
    }
}
