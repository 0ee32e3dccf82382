#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// A view's two-way binding to one preference. A write is stored at once and every binding of
// the same key in the process announces the change, so all views showing it re-render. Main
// thread only.
class PrefBinding final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PrefBinding)
    Q_PROPERTY(QVariant value READ value WRITE setValue NOTIFY valueChanged)

public:
    // The binding falls back to the default the preference table declares for `key`.
    explicit PrefBinding(const QString &key, QObject *parent = nullptr);
    ~PrefBinding() override;

    QString key() const { return m_key; }

    // The stored value, else the declared default.
    QVariant value() const;
    bool boolValue() const;
    double doubleValue() const;
    QString stringValue() const;

    void setValue(const QVariant &value);

signals:
    void valueChanged();

private:
    QString m_key;
    QVariant m_default;
};
