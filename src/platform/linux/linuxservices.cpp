#include "linux/linuxservices.h"

#include "linux/filewatcher.h"

namespace LinuxServices {

UsageStoreServices usageStore()
{
    UsageStoreServices services;
    services.watcher = [](const std::string &root, double latency,
                          std::function<void(TreeChanges)> onChange) {
        return std::make_unique<FileWatcher>(root, latency, std::move(onChange));
    };
    return services;
}

} // namespace LinuxServices
