#pragma once

#include <QString>

// Whether Glint starts at login: the desktop's autostart entry $XDG_CONFIG_HOME/autostart/org.glint.Glint.desktop
// (the XDG autostart rule every desktop follows). The file is written whole or not at all.
class AutostartEntry {
public:
    static QString defaultFilePath();

    // `program` is what the entry starts; by default the running executable, so that any install
    // prefix works without relying on the login session's PATH.
    explicit AutostartEntry(QString filePath = defaultFilePath(), QString program = {});

    // The file exists and no desktop's session settings turned it off (Hidden, X-GNOME-Autostart-enabled).
    bool isEnabled() const;
    // Writes or removes the entry; false, with errorString(), when that failed.
    bool setEnabled(bool enabled);
    QString errorString() const { return error_; }
    QString filePath() const { return filePath_; }

    // `program` as the Exec key's value: quoted and escaped as desktop entries require.
    static QString execValue(const QString &program);

private:
    QString filePath_;
    QString program_;
    QString error_;
};
