#include "FakePermissionChecks.h"
#include "input/GnomeCustomShortcut.h"
#include "input/ModifierFlags.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gio/gio.h>
#include <gtest/gtest.h>

namespace {
namespace Flag = ModifierFlags;
using Combination = GnomeCustomShortcut::Combination;

const QString customPrefix = u"/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"_qs;

// GIO's file backend in place of dconf, in a directory of the test's own: whatever Glint writes can be
// read back from the file as the desktop would read it.
class GnomeShortcutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        qputenv("GSETTINGS_BACKEND", "keyfile");
        keyfile = config.filePath(u"glib-2.0/settings/keyfile"_qs);
    }

    void SetUp() override
    {
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        ASSERT_TRUE(GnomeCustomShortcut::isOffered()) << "the settings daemon's schemas are missing";
        const Settings list(g_settings_new("org.gnome.settings-daemon.plugins.media-keys"));
        g_settings_reset(list.get(), "custom-keybindings");
        for (const QString &path :
             QStringList{GnomeCustomShortcut::path, customPrefix + u"custom0/", customPrefix + u"custom1/"})
            for (const char *key : {"name", "command", "binding"})
                g_settings_reset(entry(path).get(), key);
        g_settings_sync();
    }

    struct ObjectUnref {
        void operator()(gpointer object) const { g_object_unref(object); }
    };
    using Settings = std::unique_ptr<GSettings, ObjectUnref>;

    static Settings entry(const QString &path)
    {
        return Settings(g_settings_new_with_path("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding",
                                                 path.toUtf8().constData()));
    }

    // What another program (GNOME's keyboard settings) put there: entries first, then the list.
    static void seed(const QList<GnomeCustomShortcut::Binding> &bindings, const QStringList &extraPaths = {})
    {
        QList<QByteArray> paths;
        for (const GnomeCustomShortcut::Binding &binding : bindings) {
            const Settings settings = entry(binding.path);
            g_settings_set_string(settings.get(), "name", binding.name.toUtf8().constData());
            g_settings_set_string(settings.get(), "command", binding.command.toUtf8().constData());
            g_settings_set_string(settings.get(), "binding", binding.accelerator.toUtf8().constData());
            paths << binding.path.toUtf8();
        }
        for (const QString &path : extraPaths)
            paths << path.toUtf8();
        std::vector<const char *> values;
        for (const QByteArray &path : paths)
            values.push_back(path.constData());
        values.push_back(nullptr);
        const Settings list(g_settings_new("org.gnome.settings-daemon.plugins.media-keys"));
        g_settings_set_strv(list.get(), "custom-keybindings", values.data());
        g_settings_sync();
    }

    // A value as the file holds it (GVariant text), without going through GSettings; empty when absent.
    static QString stored(const QString &group, const char *key)
    {
        GKeyFile *file = g_key_file_new();
        QString result;
        if (g_key_file_load_from_file(file, keyfile.toUtf8().constData(), G_KEY_FILE_NONE, nullptr)) {
            gchar *value = g_key_file_get_value(file, group.toUtf8().constData(), key, nullptr);
            result = QString::fromUtf8(value);
            g_free(value);
        }
        g_key_file_free(file);
        return result;
    }
    static QString storedList()
    {
        return stored(u"org/gnome/settings-daemon/plugins/media-keys"_qs, "custom-keybindings");
    }
    static QString storedOurs(const char *key) { return stored(GnomeCustomShortcut::path.mid(1).chopped(1), key); }

    static inline QString keyfile;
};

TEST_F(GnomeShortcutTest, CombinationsInGnomesNotation)
{
    const std::pair<Combination, QString> written[] = {
        {{49, Flag::control | Flag::option}, u"<Control><Alt>space"_qs},
        {{0, Flag::command | Flag::shift}, u"<Shift><Super>a"_qs},
        {{122, 0}, u"F1"_qs},
        {{0xffff, Flag::control}, QString()}, // no such key
    };
    for (const auto &[keys, accelerator] : written)
        EXPECT_EQ(GnomeCustomShortcut::accelerator(keys), accelerator) << keys.keyCode;

    const std::pair<QString, std::optional<Combination>> read[] = {
        {u"<Control><Alt>space"_qs, Combination{49, Flag::control | Flag::option}},
        {u"<Primary><Alt>space"_qs, Combination{49, Flag::control | Flag::option}},
        {u"<Ctrl><Mod1>space"_qs, Combination{49, Flag::control | Flag::option}},
        {u"<Shift><Super>A"_qs, Combination{0, Flag::command | Flag::shift}},
        {u"<Hyper>a"_qs, std::nullopt},             // no such modifier in the preferences
        {u"<Super>XF86AudioPlay"_qs, std::nullopt}, // nor such a key
        {u"<Control"_qs, std::nullopt},
        {QString(), std::nullopt},
    };
    for (const auto &[accelerator, keys] : read)
        EXPECT_EQ(GnomeCustomShortcut::combination(accelerator), keys) << accelerator.toStdString();

    const std::pair<QString, bool> commands[] = {
        {u"glint annotate"_qs, true},
        {u"/usr/bin/glint annotate"_qs, true},
        {GnomeCustomShortcut::annotateCommand(u"/opt/my apps/glint"_qs), true},
        {u"glint"_qs, false},
        {u"glint annotate --now"_qs, false},
        {u"notglint annotate"_qs, false},
        {u"sh -c 'glint annotate'"_qs, false},
        {u"'glint annotate"_qs, false},
    };
    for (const auto &[command, runs] : commands)
        EXPECT_EQ(GnomeCustomShortcut::runsAnnotate(command), runs) << command.toStdString();
}

// The Set Up Shortcut button, pressed once in each situation a user can be in: what the row says before and
// after, and what the desktop's settings hold then.
TEST_F(GnomeShortcutTest, SetUpAddsGlintsShortcutAndNeverTouchesTheUsersOwn)
{
    const GnomeCustomShortcut::Binding terminal{customPrefix + u"custom0/", u"Terminal"_qs, u"gnome-terminal"_qs,
                                                u"<Super>t"_qs};
    const GnomeCustomShortcut::Binding spaceTaken{customPrefix + u"custom0/", u"Terminal"_qs, u"gnome-terminal"_qs,
                                                  u"<Primary><Alt>space"_qs};
    const GnomeCustomShortcut::Binding ours{GnomeCustomShortcut::path, u"Glint"_qs, u"glint annotate"_qs,
                                            u"<Control><Alt>space"_qs};
    const GnomeCustomShortcut::Binding oursElsewhere{GnomeCustomShortcut::path, u"Glint"_qs, u"glint annotate"_qs,
                                                     u"<Super>a"_qs};
    const GnomeCustomShortcut::Binding theirs{customPrefix + u"custom1/", u"Mine"_qs,
                                              u"/opt/glint/bin/glint annotate"_qs, u"<Super>g"_qs};
    const QString terminalPath = u'\'' + terminal.path + u'\'';
    const QString ourPath = u'\'' + GnomeCustomShortcut::path + u'\'';
    const QString command =
        u'\'' + GnomeCustomShortcut::annotateCommand(QCoreApplication::applicationFilePath()) + u'\'';
    const struct {
        const char *name;
        QList<GnomeCustomShortcut::Binding> seeded;
        QString actionBefore;
        bool grantedAfter;
        QString actionAfter;
        QString list;        // afterwards
        QString ourBinding;  // afterwards; empty when none is stored
        QString problemPart; // of the row's text afterwards
    } cases[] = {
        {"set up beside the user's own, skipping a malformed entry",
         {terminal},
         u"Set Up Shortcut"_qs,
         true,
         u"Remove Shortcut"_qs,
         u'[' + terminalPath + u", '/bad//path/', " + ourPath + u']',
         u"'<Control><Alt>space'"_qs,
         u"GNOME runs Glint on Ctrl+Alt+Space"_qs},
        {"brought to the hotkey without a second entry",
         {terminal, oursElsewhere},
         u"Update Shortcut"_qs,
         true,
         u"Remove Shortcut"_qs,
         u'[' + terminalPath + u", " + ourPath + u", '/bad//path/']",
         u"'<Control><Alt>space'"_qs,
         u"GNOME runs Glint on Ctrl+Alt+Space"_qs},
        {"removed, leaving the user's",
         {terminal, ours},
         u"Remove Shortcut"_qs,
         false,
         u"Set Up Shortcut"_qs,
         u'[' + terminalPath + u", '/bad//path/']",
         QString(),
         u"Glint can add a shortcut"_qs},
        {"refused where the combination is the user's",
         {spaceTaken},
         u"Set Up Shortcut"_qs,
         false,
         u"Set Up Shortcut"_qs,
         u'[' + terminalPath + u", '/bad//path/']",
         QString(),
         u"\"Terminal\" already uses"_qs},
        {"the user's own binding of glint annotate is enough",
         {theirs},
         QString(),
         true,
         QString(),
         u"['" + theirs.path + u"', '/bad//path/']",
         QString(),
         u"\"Mine\" runs Glint on Super+G"_qs},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        seed(c.seeded, {u"/bad//path/"_qs});
        QHash<MissingPermission, FakePermissionCheck *> checks;
        const std::unique_ptr<PermissionChecker> checker = fakePermissionChecker(checks);
        PermissionChecker &permissions = *checker;
        HotkeyTriggers hotkey;
        hotkey.keyCode = 49;
        hotkey.keyModifiers = Flag::control | Flag::option;
        permissions.setGlobalShortcutsMissing(u"no-global-shortcuts"_qs, hotkey);
        EXPECT_EQ(permissions.status(MissingPermission::GlobalHotkey).action, c.actionBefore);
        EXPECT_EQ(permissions.checkRequired(), QList<MissingPermission>()) << "never blocks";

        permissions.act(MissingPermission::GlobalHotkey);
        const PermissionStatus after = permissions.status(MissingPermission::GlobalHotkey);
        EXPECT_EQ(after.granted, c.grantedAfter);
        EXPECT_EQ(after.action, c.actionAfter);
        EXPECT_TRUE(after.problem.contains(c.problemPart)) << after.problem.toStdString();
        EXPECT_EQ(storedList(), c.list);
        EXPECT_EQ(storedOurs("binding"), c.ourBinding);
        if (!c.ourBinding.isEmpty()) {
            EXPECT_EQ(storedOurs("name"), u"'Glint'");
            EXPECT_EQ(storedOurs("command"), command);
        }
        for (const GnomeCustomShortcut::Binding &binding : c.seeded)
            if (binding.path != GnomeCustomShortcut::path) {
                EXPECT_EQ(stored(binding.path.mid(1).chopped(1), "binding"), u'\'' + binding.accelerator + u'\'');
            }
    }
}

// Only GNOME gets the button, whatever kept the portal from binding (another desktop's backend answers
// there in vain); elsewhere the command to bind by hand.
TEST_F(GnomeShortcutTest, OfferedOnlyOnGnome)
{
    const struct {
        const char *desktop;
        QString reason;
        QString action;
    } cases[] = {
        {"GNOME", u"no-global-shortcuts"_qs, u"Set Up Shortcut"_qs},
        {"KDE", u"no-global-shortcuts"_qs, u"Copy Command"_qs},
        {"GNOME", u"global-shortcuts-refused"_qs, u"Set Up Shortcut"_qs},
    };
    for (const auto &c : cases) {
        qputenv("XDG_CURRENT_DESKTOP", c.desktop);
        QHash<MissingPermission, FakePermissionCheck *> checks;
        const std::unique_ptr<PermissionChecker> permissions = fakePermissionChecker(checks);
        permissions->setGlobalShortcutsMissing(c.reason);
        EXPECT_EQ(permissions->status(MissingPermission::GlobalHotkey).action, c.action) << c.desktop;
    }
}

} // namespace
