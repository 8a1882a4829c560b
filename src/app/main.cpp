#include "app/Application.h"
#include "app/SingleInstance.h"
#include "app/cli/Runner.h"
#include "model/DetachedTask.h"
#include "model/StateFolder.h"

#include <clipferry/Version.h>

#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <string_view>

namespace {

// A later launch only hands its request to the running instance, then ends.
QCoro::Task<> forwardAndQuit(clipferry::SingleInstance& instance, QStringList files) {
    const bool delivered = co_await instance.forward(std::move(files));
    if (!delivered)
        std::fputs("Clipferry is already running but did not answer.\n", stderr);
    // Queued: the forward may end before the event loop has started.
    QMetaObject::invokeMethod(
        qApp, [delivered] { QCoreApplication::exit(delivered ? 0 : 1); }, Qt::QueuedConnection);
}

// "Open with" passes the files as arguments, relative to this launch's folder, which the
// running instance does not share.
QStringList openedFiles() {
    QStringList files;
    const QStringList arguments = QApplication::arguments().mid(1);
    for (const QString& argument : arguments)
        files.append(QFileInfo(argument).absoluteFilePath());
    return files;
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before a display is opened, so it works on a machine without one.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("clipferry %s\n", clipferry::build::version);
        return 0;
    }
    if (clipferry::cli::wantsCommandLine(argc, argv))
        return clipferry::cli::runCommandLine(argc, argv);
    if (!clipferry::cli::hasDisplay())
        return clipferry::cli::refuseWindowWithoutDisplay();

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationDisplayName(QStringLiteral("Meridia Companion"));
    QApplication::setApplicationVersion(QString::fromLatin1(clipferry::build::version));
    QApplication::setDesktopFileName(QStringLiteral("clipferry"));

    const QStringList files = openedFiles();
    clipferry::SingleInstance instance(clipferry::stateFolderPath());
    if (!instance.claim()) {
        clipferry::runDetached(forwardAndQuit(instance, files));
        return QApplication::exec();
    }

    clipferry::Application application;
    QObject::connect(&instance, &clipferry::SingleInstance::activated, &app,
                     [&application](const QStringList& forwarded) {
                         application.bringToFront();
                         application.openFiles(forwarded);
                     });
    application.show();
    application.openFiles(files);
    return QApplication::exec();
}
