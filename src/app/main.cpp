#include "Application.h"

#include <clipferry/Version.h>

#include <QApplication>

#include <cstdio>
#include <string_view>

int main(int argc, char* argv[]) {
    // Answered before a display is opened, so it works on a machine without one.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("clipferry %s\n", clipferry::build::version);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationDisplayName(QStringLiteral("Meridia Companion"));
    QApplication::setApplicationVersion(QString::fromLatin1(clipferry::build::version));
    QApplication::setDesktopFileName(QStringLiteral("clipferry"));

    clipferry::Application application;
    application.show();
    return QApplication::exec();
}
