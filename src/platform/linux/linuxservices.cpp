#include "linux/linuxservices.h"

#include "linux/autostartentry.h"
#include "linux/desktopnotifications.h"
#include "linux/filewatcher.h"
#include "linux/secretservicesource.h"
#include "linux/secrettoolsource.h"
#include "linux/systemlog.h"
#include "plan/planclient.h"

#include <QDir>

namespace {

PlanEndpoint endpoint()
{
    PlanEndpoint endpoint = PlanEndpoint::builtIn();
#ifdef VARNELUSAGE_TEST_SEAMS
    const QByteArray url = qgetenv("VARNELUSAGE_TEST_PLAN_ENDPOINT");
    if (!url.isEmpty())
        endpoint.url = QUrl(QString::fromUtf8(url), QUrl::StrictMode);
    const QString caFile = qEnvironmentVariable("VARNELUSAGE_TEST_CA_FILE");
    if (!caFile.isEmpty())
        endpoint.extraCaCertificates = QSslCertificate::fromPath(caFile, QSsl::Pem);
#endif
    return endpoint;
}

} // namespace

namespace LinuxServices {

UsageStoreServices usageStore()
{
    UsageStoreServices services;
    services.watcher = [](const std::string &root, double latency,
                          std::function<void(TreeChanges)> onChange) {
        return std::make_unique<FileWatcher>(root, latency, std::move(onChange));
    };
    services.tokenSources = tokenSources();
    services.planFetcher = planFetcher();
    services.notifications = std::make_shared<DesktopNotifications>();
    return services;
}

TokenLookup::Sources tokenSources()
{
    return {QDir::homePath(), std::make_shared<SecretToolSource>(),
            std::make_shared<SecretServiceSource>()};
}

std::unique_ptr<PlanFetcher> planFetcher()
{
    return std::make_unique<PlanUsage::Client>(endpoint());
}

std::unique_ptr<LoginItem> loginItem()
{
    return std::make_unique<AutostartEntry>();
}

LaunchAtLogin::Log systemLog()
{
    return &SystemLog::write;
}

} // namespace LinuxServices
