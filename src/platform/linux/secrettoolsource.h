#pragma once

#include "plan/keychainsource.h"

#include <QStringList>

// The keychain's command-line tool: `secret-tool lookup service NAME` prints the secret of the
// item whose "service" attribute is NAME. Its output counts only when it exits with status 0
// within the bound, having written at most 64 KiB; otherwise it is killed with its whole process
// group (a locked keyring makes it wait for a password dialog).
class SecretToolSource final : public KeychainSource
{
public:
    // `program` and `arguments` (the service name is appended) replace the tool in tests.
    explicit SecretToolSource(QString program = QStringLiteral("/usr/bin/secret-tool"),
                              QStringList arguments = {QStringLiteral("lookup"),
                                                       QStringLiteral("service")});

    std::optional<QByteArray> secret(const QString &service, std::chrono::milliseconds bound,
                                     std::stop_token stop) override;

private:
    QString m_program;
    QStringList m_arguments;
};
