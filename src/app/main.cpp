#include "Application.h"
#include "Runner.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    if (clipferry::cli::wantsCommandLine(argc, argv))
        return clipferry::cli::runCommandLine(argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationDisplayName(QStringLiteral("Meridia Companion"));
    QApplication::setDesktopFileName(QStringLiteral("clipferry"));

    clipferry::Application application;
    application.show();
    // What is left after Qt took its own options: the files of "Open with".
    application.openFiles(QApplication::arguments().mid(1));
    return QApplication::exec();
}
