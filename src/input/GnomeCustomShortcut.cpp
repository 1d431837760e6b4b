#include "input/GnomeCustomShortcut.h"

#include "input/ModifierFlags.h"
#include "input/VirtualKeyMap.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <array>
#include <memory>

namespace {

const char *const listSchema = "org.gnome.settings-daemon.plugins.media-keys";
const char *const listKey = "custom-keybindings";
const char *const entrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const char *const entryKeys[] = {"name", "command", "binding"};

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Settings = std::unique_ptr<GSettings, ObjectUnref>;

struct SchemaUnref {
    void operator()(GSettingsSchema *schema) const { g_settings_schema_unref(schema); }
};

template <typename Keys> bool hasKeys(const char *id, const Keys &keys)
{
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    const std::unique_ptr<GSettingsSchema, SchemaUnref> schema(
        source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr);
    if (!schema)
        return false;
    for (const char *key : keys)
        if (!g_settings_schema_has_key(schema.get(), key))
            return false;
    return true;
}

// GSettings aborts on a malformed path; the list is the user's and may hold one.
bool isValidPath(const QString &path)
{
    return path.startsWith(u'/') && path.endsWith(u'/') && !path.contains(u"//");
}

Settings list()
{
    return Settings(g_settings_new(listSchema));
}

Settings entry(const QString &path)
{
    return Settings(g_settings_new_with_path(entrySchema, path.toUtf8().constData()));
}

QStringList paths(GSettings *settings)
{
    gchar **values = g_settings_get_strv(settings, listKey);
    QStringList result;
    for (gchar **value = values; *value; ++value)
        result << QString::fromUtf8(*value);
    g_strfreev(values);
    return result;
}

QString text(GSettings *settings, const char *key)
{
    gchar *value = g_settings_get_string(settings, key);
    const QString result = QString::fromUtf8(value);
    g_free(value);
    return result;
}

bool setPaths(GSettings *settings, const QStringList &values)
{
    QList<QByteArray> utf8;
    for (const QString &value : values)
        utf8 << value.toUtf8();
    std::vector<const gchar *> pointers;
    for (const QByteArray &value : utf8)
        pointers.push_back(value.constData());
    pointers.push_back(nullptr);
    return g_settings_set_strv(settings, listKey, pointers.data());
}

QString lockedProblem()
{
    return QCoreApplication::translate("GnomeCustomShortcut",
                                       "GNOME's keyboard settings cannot be changed here (they may be locked by "
                                       "your administrator). Add the shortcut in GNOME's keyboard settings.");
}

} // namespace

const QString GnomeCustomShortcut::path =
    QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/glint/");

bool GnomeCustomShortcut::isOffered()
{
    if (!hasKeys(listSchema, std::array{listKey}) || !hasKeys(entrySchema, entryKeys))
        return false;
    // Without dconf, GIO keeps settings in memory only: nothing would reach the desktop.
    GSettingsBackend *backend = g_settings_backend_get_default();
    const bool stored = qstrcmp(G_OBJECT_TYPE_NAME(backend), "GMemorySettingsBackend") != 0;
    g_object_unref(backend);
    return stored;
}

QString GnomeCustomShortcut::accelerator(Combination combination)
{
    const QString key = VirtualKeyMap::keyName(combination.keyCode);
    if (key.isEmpty())
        return {};
    return ModifierFlags::spelled(combination.modifiers, {"<Control>", "<Alt>", "<Shift>", "<Super>"}).join(QString()) +
           key;
}

std::optional<GnomeCustomShortcut::Combination> GnomeCustomShortcut::combination(const QString &accelerator)
{
    static const std::pair<const char *, quint64> modifiers[] = {
        {"control", ModifierFlags::control}, {"primary", ModifierFlags::control}, {"ctrl", ModifierFlags::control},
        {"ctl", ModifierFlags::control},     {"alt", ModifierFlags::option},      {"mod1", ModifierFlags::option},
        {"shift", ModifierFlags::shift},     {"shft", ModifierFlags::shift},      {"super", ModifierFlags::command},
        {"mod4", ModifierFlags::command},
    };
    Combination result;
    QString rest = accelerator.trimmed();
    while (rest.startsWith(u'<')) {
        const qsizetype end = rest.indexOf(u'>');
        const QString name = rest.mid(1, end - 1).toLower();
        const auto known = std::find_if(std::begin(modifiers), std::end(modifiers),
                                        [&](const auto &modifier) { return name == QLatin1String(modifier.first); });
        if (end < 0 || known == std::end(modifiers))
            return std::nullopt;
        result.modifiers |= known->second;
        rest = rest.mid(end + 1);
    }
    const std::optional<quint16> key = VirtualKeyMap::fromKeyName(rest);
    if (!key)
        return std::nullopt;
    result.keyCode = *key;
    return result;
}

bool GnomeCustomShortcut::runsAnnotate(const QString &command)
{
    gint argc = 0;
    gchar **argv = nullptr;
    if (!g_shell_parse_argv(command.toUtf8().constData(), &argc, &argv, nullptr))
        return false;
    const bool annotate =
        argc == 2 && QFileInfo(QString::fromUtf8(argv[0])).fileName() == u"glint" && qstrcmp(argv[1], "annotate") == 0;
    g_strfreev(argv);
    return annotate;
}

QString GnomeCustomShortcut::annotateCommand(const QString &program)
{
    gchar *quoted = g_shell_quote(program.toUtf8().constData());
    // Quoted only where needed: the command shows in GNOME's keyboard settings.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    const QString result = plain.match(program).hasMatch() ? program : QString::fromUtf8(quoted);
    g_free(quoted);
    return result + u" annotate";
}

QList<GnomeCustomShortcut::Binding> GnomeCustomShortcut::bindings()
{
    QList<Binding> result;
    for (const QString &entryPath : paths(list().get())) {
        if (!isValidPath(entryPath))
            continue;
        const Settings settings = entry(entryPath);
        result.append({entryPath, text(settings.get(), "name"), text(settings.get(), "command"),
                       text(settings.get(), "binding")});
    }
    return result;
}

std::optional<GnomeCustomShortcut::Binding> GnomeCustomShortcut::ours()
{
    for (const Binding &binding : bindings())
        if (binding.path == path)
            return binding;
    return std::nullopt;
}

QString GnomeCustomShortcut::install(const QString &name, const QString &command, Combination keys)
{
    for (const Binding &other : bindings()) {
        if (other.path != path && combination(other.accelerator) == keys)
            return QCoreApplication::translate("GnomeCustomShortcut",
                                               "Your GNOME shortcut \"%1\" already uses this combination. Choose "
                                               "another hotkey, or change that shortcut in GNOME's keyboard "
                                               "settings.")
                .arg(other.name);
    }
    // The entry first: the settings daemon reads it as soon as its path appears in the list.
    const Settings settings = entry(path);
    const std::pair<const char *, QString> values[] = {
        {"name", name}, {"command", command}, {"binding", accelerator(keys)}};
    for (const auto &[key, value] : values)
        if (!g_settings_set_string(settings.get(), key, value.toUtf8().constData()))
            return lockedProblem();
    const Settings listSettings = list();
    const QStringList listed = paths(listSettings.get());
    if (!listed.contains(path) && !setPaths(listSettings.get(), listed + QStringList{path}))
        return lockedProblem();
    g_settings_sync();
    return {};
}

QString GnomeCustomShortcut::remove()
{
    const Settings listSettings = list();
    QStringList listed = paths(listSettings.get());
    if (listed.removeAll(path) > 0 && !setPaths(listSettings.get(), listed))
        return lockedProblem();
    const Settings settings = entry(path);
    for (const char *key : entryKeys)
        g_settings_reset(settings.get(), key);
    g_settings_sync();
    return {};
}
