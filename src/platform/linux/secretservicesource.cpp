// GLib names struct members "signals"; Qt's keyword macros must not be defined before this.
#include <libsecret/secret.h>

#include "linux/secretservicesource.h"

#include "base/secret.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr const char *secretsBusName = "org.freedesktop.secrets";
constexpr std::chrono::milliseconds cancelGrace(300);

// Without an address GLib would try to autolaunch a bus; with none running there is no keychain.
bool sessionBusConfigured()
{
    const char *address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return std::strstr(address, "autolaunch:") == nullptr;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return false;
    struct stat st
    {
    };
    return stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool secretServiceRunning(GCancellable *cancellable, int timeoutMs)
{
    GError *error = nullptr;
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, cancellable, &error);
    if (!bus) {
        g_clear_error(&error);
        return false;
    }
    // A vanishing session bus must not terminate the process.
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    // NO_AUTO_START: an activated keyring daemon would only come up locked and could prompt.
    GVariant *reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", secretsBusName), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs, cancellable, &error);
    g_object_unref(bus);
    if (!reply) {
        g_clear_error(&error);
        return false;
    }
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

std::optional<std::string> search(const std::string &service, GCancellable *cancellable,
                                  int timeoutMs)
{
    if (!secretServiceRunning(cancellable, timeoutMs))
        return std::nullopt;

    GError *error = nullptr;
    SecretService *secrets = secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr,
                                                      SECRET_SERVICE_NONE, cancellable, &error);
    if (!secrets) {
        g_clear_error(&error);
        return std::nullopt;
    }
    g_dbus_proxy_set_default_timeout(G_DBUS_PROXY(secrets), timeoutMs);

    // Match on the attribute alone, not on a schema name, so items other tools stored are found.
    SecretSchema schema{};
    schema.name = "org.varnelusage.Credentials";
    schema.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
    schema.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};

    GHashTable *attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char *>("service"),
                        const_cast<char *>(service.c_str()));
    // No SECRET_SEARCH_UNLOCK: unlocking a locked keyring shows a password dialog and waits for
    // it. Secrets are loaded only for unlocked items.
    GList *items = secret_service_search_sync(secrets, &schema, attributes,
                                              SECRET_SEARCH_LOAD_SECRETS, cancellable, &error);
    g_hash_table_unref(attributes);
    g_clear_error(&error);

    std::optional<std::string> result;
    if (items) {
        auto *item = static_cast<SecretItem *>(items->data);
        if (!secret_item_get_locked(item)) {
            if (SecretValue *value = secret_item_get_secret(item)) {
                gsize length = 0;
                const gchar *bytes = secret_value_get(value, &length);
                if (bytes)
                    result.emplace(bytes, length);
                secret_value_unref(value);
            }
        }
        g_list_free_full(items, g_object_unref);
    }
    g_object_unref(secrets);
    return result;
}

// Shared between the caller and the worker, which may outlive the call if the service hangs.
struct Lookup
{
    std::mutex mutex;
    std::condition_variable_any finished;
    bool done = false;
    std::optional<std::string> secret;
    GCancellable *cancellable = g_cancellable_new();

    Lookup() = default;
    Lookup(const Lookup &) = delete;
    Lookup &operator=(const Lookup &) = delete;
    ~Lookup()
    {
        if (secret)
            Secret::wipe(*secret);
        g_object_unref(cancellable);
    }
};

} // namespace

std::optional<QByteArray> SecretServiceSource::secret(const QString &service,
                                                      std::chrono::milliseconds bound,
                                                      std::stop_token stop)
{
    if (!sessionBusConfigured())
        return std::nullopt;

    // libsecret's calls block for as long as the service takes. They run on a worker; the caller
    // waits at most `bound`, then cancels them.
    const auto shared = std::make_shared<Lookup>();
    const int timeoutMs = static_cast<int>(std::max<std::int64_t>(bound.count(), 1));
    std::thread worker([shared, service = service.toStdString(), timeoutMs] {
        std::optional<std::string> secret = search(service, shared->cancellable, timeoutMs);
        const std::lock_guard lock(shared->mutex);
        shared->secret = std::move(secret);
        shared->done = true;
        shared->finished.notify_all();
    });

    std::unique_lock lock(shared->mutex);
    const auto isDone = [&shared] { return shared->done; };
    if (shared->finished.wait_for(lock, stop, bound, isDone)) {
        std::optional<QByteArray> secret;
        if (shared->secret) {
            secret = QByteArray::fromStdString(*shared->secret);
            Secret::wipe(*shared->secret);
            shared->secret.reset();
        }
        lock.unlock();
        worker.join();
        return secret;
    }
    g_cancellable_cancel(shared->cancellable);
    if (shared->finished.wait_for(lock, cancelGrace, isDone)) {
        lock.unlock();
        worker.join();
    } else {
        // Cancellation did not reach it: leave it to finish on its own rather than wait.
        lock.unlock();
        worker.detach();
    }
    return std::nullopt;
}
