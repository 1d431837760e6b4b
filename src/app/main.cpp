#include "app/AppDelegate.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("glint"));
    QApplication::setOrganizationDomain(QStringLiteral("glint.org"));
    QApplication::setDesktopFileName(QStringLiteral("org.glint.Glint"));
    QApplication::setQuitOnLastWindowClosed(false); // a tray utility has no main window

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
