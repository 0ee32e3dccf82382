#include "linux/autostartentry.h"

#include "base/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <utility>

namespace {

// Far above any real entry; anything larger is not one.
constexpr qint64 maxEntrySize = 64 * 1024;

// Characters that oblige an Exec argument to be quoted.
const QString reservedInExec = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");

// The escapes of any string value applied.
QString stringValue(QString value)
{
    value.replace(u'\\', QStringLiteral("\\\\"));
    value.replace(u'\n', QStringLiteral("\\n"));
    value.replace(u'\t', QStringLiteral("\\t"));
    return value;
}

// Exec's program as the desktop entry format writes it: quoted when it must be, with the
// characters that stay special inside quotes escaped, a literal % doubled, and then the escapes
// of any string value applied.
QString execValue(const QString &program)
{
    QString argument = program;
    if (std::any_of(program.begin(), program.end(),
                    [](QChar c) { return reservedInExec.contains(c); })) {
        argument.clear();
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                argument += u'\\';
            argument += c;
        }
        argument = u'"' + argument + u'"';
    }
    argument.replace(u'%', QStringLiteral("%%"));
    return stringValue(argument);
}

// The escapes of a string value undone.
QString unescapeValue(QStringView value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (const QChar next = value[++i]; next.unicode()) {
        case u's':
            out += u' ';
            break;
        case u'n':
            out += u'\n';
            break;
        case u't':
            out += u'\t';
            break;
        case u'r':
            out += u'\r';
            break;
        default:
            out += next;
        }
    }
    return out;
}

// The first argument of an unescaped Exec value, quotes and %% undone.
QString execProgram(const QString &exec)
{
    const QString value = exec.trimmed();
    QString program;
    if (value.startsWith(u'"')) {
        for (qsizetype i = 1; i < value.size(); ++i) {
            if (value[i] == u'"')
                break;
            if (value[i] == u'\\' && i + 1 < value.size())
                ++i;
            program += value[i];
        }
    } else {
        const auto end =
            std::find_if(value.begin(), value.end(), [](QChar c) { return c.isSpace(); });
        program = QStringView(value.begin(), end).toString();
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

struct MainGroup
{
    bool present = false;
    QString type, exec, hidden, autostartEnabled;
};

// The keys this class looks at, from the group that must come first: [Desktop Entry].
MainGroup mainGroup(const QByteArray &data)
{
    MainGroup group;
    bool inGroup = false;
    for (const QByteArray &raw : data.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (inGroup || line != QLatin1String("[Desktop Entry]"))
                break;
            group.present = inGroup = true;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals < 0)
            continue;
        const QString key = line.first(equals).trimmed();
        const QString value = unescapeValue(QStringView(line).sliced(equals + 1).trimmed());
        const std::pair<const char *, QString *> fields[] = {
            {"Type", &group.type},
            {"Exec", &group.exec},
            {"Hidden", &group.hidden},
            {"X-GNOME-Autostart-enabled", &group.autostartEnabled},
        };
        for (const auto &[name, field] : fields) {
            // A key given twice is a broken entry; the first one counts.
            if (key == QLatin1String(name) && field->isNull())
                *field = value;
        }
    }
    return group;
}

} // namespace

AutostartEntry::AutostartEntry(QString program, QString directory)
    : m_program(std::move(program)), m_directory(std::move(directory))
{
}

QString AutostartEntry::defaultProgram()
{
    return QCoreApplication::applicationFilePath();
}

QString AutostartEntry::defaultDirectory()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1String("/autostart");
}

QByteArray AutostartEntry::entryText(const QString &program)
{
    const QString text = QLatin1String("[Desktop Entry]\n"
                                       "Type=Application\n"
                                       "Name=Varnel Usage\n"
                                       "Comment=Start Varnel Usage with the session\n"
                                       "TryExec=") +
                         stringValue(program) + QLatin1String("\nExec=") + execValue(program) +
                         QLatin1String("\n"
                                       "Icon=varnelusage\n"
                                       "Terminal=false\n"
                                       "X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

QString AutostartEntry::path() const
{
    return m_directory + QLatin1String("/varnelusage.desktop");
}

bool AutostartEntry::isRegistered() const
{
    const std::optional<QByteArray> data = readRegularFile(path(), maxEntrySize);
    if (!data)
        return false;
    const MainGroup group = mainGroup(*data);
    const auto isTrue = [](const QString &v) { return v == u"true" || v == u"1"; };
    const auto isFalse = [](const QString &v) { return v == u"false" || v == u"0"; };
    return group.present && group.type == QLatin1String("Application") &&
           execProgram(group.exec) == m_program && !isTrue(group.hidden) &&
           !isFalse(group.autostartEnabled);
}

std::optional<QString> AutostartEntry::setRegistered(bool registered)
{
    if (!registered) {
        QFile entry(path());
        if (!QFileInfo(entry).exists() && !QFileInfo(entry).isSymLink())
            return std::nullopt;
        if (!entry.remove())
            return entry.errorString();
        return std::nullopt;
    }
    // A directory that cannot be made shows as the reason the save fails.
    QDir().mkpath(m_directory);
    QSaveFile entry(path());
    if (!entry.open(QIODevice::WriteOnly))
        return entry.errorString();
    entry.write(entryText(m_program));
    if (!entry.commit())
        return entry.errorString();
    return std::nullopt;
}
