#include "panel/PanelSnapshots.h"

#include <QDir>
#include <QPixmap>
#include <QSaveFile>

PanelSnapshots::PanelSnapshots(QWidget *panel)
    : panel_(panel)
    , directory_(qEnvironmentVariable("GLINT_ARTIFACTS_DIR"))
{
}

void PanelSnapshots::save(const QString &label)
{
    if (!isEnabled() || !panel_)
        return;
    QDir().mkpath(directory_);
    const QString name = QStringLiteral("panel-%1-%2.png").arg(++count_, 2, 10, QLatin1Char('0')).arg(label);
    // Whole pictures only: whoever watches the folder never reads one half written.
    QSaveFile file(QDir(directory_).filePath(name));
    if (file.open(QIODevice::WriteOnly) && panel_->grab().save(&file, "PNG"))
        file.commit();
}
