#include "Application.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationDisplayName(QStringLiteral("Meridia Companion"));
    QApplication::setDesktopFileName(QStringLiteral("clipferry"));

    clipferry::Application application;
    application.show();
    return QApplication::exec();
}
