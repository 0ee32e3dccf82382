#include "datarows.h"
#include "linux/autostartentry.h"
#include "linux/linuxservices.h"
#include "settings/launchatlogin.h"
#include "testfile.h"

#include <QtTest>

using EditedRow = std::pair<QByteArray, bool>;
Q_DECLARE_METATYPE(EditedRow)

class TestAutostartEntry : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_config;
    QString m_autostart;
    const QString m_program = QStringLiteral("/opt/varnel usage/bin/varnelusage");
    QStringList m_log;

    bool set(AutostartEntry &entry, bool enabled)
    {
        return LaunchAtLogin::set(entry, enabled, [this](const QString &l) { m_log << l; });
    }

private slots:
    void init()
    {
        m_config = std::make_unique<QTemporaryDir>();
        QVERIFY(m_config->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
        m_autostart = m_config->filePath(QStringLiteral("autostart"));
        m_log.clear();
    }

    // A change the desktop refuses leaves the state as it was, and the log says why. A program
    // path with a space must survive the quoting of Exec.
    void registerAndUnregister()
    {
        AutostartEntry entry(m_program);
        QCOMPARE(entry.path(), m_autostart + "/varnelusage.desktop");
        writeFile(m_autostart, "not a directory");
        QVERIFY(!set(entry, true));
        const QString prefix = QStringLiteral("LaunchAtLogin: failed to set true: ");
        QVERIFY2(m_log.size() == 1 && m_log[0].startsWith(prefix) &&
                     m_log[0].size() > prefix.size(),
                 qPrintable(m_log.join('\n')));
        QVERIFY(QFile::remove(m_autostart));
        QVERIFY(set(entry, true));
        QVERIFY(QFile::exists(entry.path()));

        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {entry.path()});
        QVERIFY2(validate.waitForFinished(), "desktop-file-validate (scripts/setup-deps)");
        QCOMPARE(validate.readAll() + validate.readAllStandardError(), QByteArray());
        QCOMPARE(validate.exitCode(), 0);
        QVERIFY(!set(entry, false));
        QVERIFY(!QFile::exists(entry.path()));
        // The application's own item names the running executable.
        const std::unique_ptr<LoginItem> item = LinuxServices::loginItem();
        QVERIFY(LaunchAtLogin::set(*item, true, LinuxServices::systemLog()));
        QVERIFY(AutostartEntry(QCoreApplication::applicationFilePath()).isRegistered());
    }

    void handEdited_data()
    {
        const QByteArray head = "# by hand\n\n[Desktop Entry]\nType=Application\nName=V\n";
        const QByteArray ours = head + "Exec=\"/opt/varnel usage/bin/varnelusage\" --quiet\n";
        addRows<EditedRow>(
            {{"ours, quoted with arguments", {ours, true}},
             {"hidden", {ours + "Hidden=true\n", false}},
             {"disabled", {ours + "X-GNOME-Autostart-enabled=false\n", false}},
             {"enabled", {ours + "X-GNOME-Autostart-enabled=true\n", true}},
             {"hidden in a later group", {ours + "[Desktop Action quit]\nHidden=true\n", true}},
             {"another program", {head + "Exec=/usr/bin/varnelusage\n", false}},
             {"unquoted space", {head + "Exec=/opt/varnel usage/bin/varnelusage\n", false}},
             {"not an application", {QByteArray(ours).replace("Application", "Link"), false}},
             {"another group first", {"[Settings]\nx=1\n" + ours, false}},
             {"empty", {{}, false}}});
    }

    // Whatever the user left there, asking for the state it is in touches nothing, and asking for
    // the other one brings it about.
    void handEdited()
    {
        QFETCH(EditedRow, row);
        const auto &[text, registered] = row;
        AutostartEntry entry(m_program);
        writeFile(entry.path(), text);
        QCOMPARE(entry.isRegistered(), registered);
        QCOMPARE(set(entry, registered), registered);
        QFile file(entry.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), text);
        QCOMPARE(set(entry, !registered), !registered);
        QCOMPARE(QFile::exists(entry.path()), !registered);
        QCOMPARE(m_log, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "tst_autostartentry.moc"
