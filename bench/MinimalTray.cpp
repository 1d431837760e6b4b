// The floor for starting a tray utility with Qt on this machine: an icon and a menu, nothing else.
// measure_start_to_tray measures it next to Glint so the two figures share the machine's conditions.
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::red);
    QSystemTrayIcon icon{QIcon(pixmap)};
    QMenu menu;
    menu.addAction(QStringLiteral("Quit"), &app, &QApplication::quit);
    icon.setContextMenu(&menu);
    icon.show();
    return QApplication::exec();
}
