#include "app/cli/Runner.h"

#include "app/cli/Commands.h"
#include "app/cli/Console.h"
#include "app/cli/EnvironmentCredentials.h"
#include "app/cli/HeadlessSession.h"
#include "model/DetachedTask.h"
#include "service/BandwidthLimiter.h"
#include "service/MuxClient.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <unistd.h>

namespace clipferry::cli {
namespace {

bool isHelpWord(const QString& word) {
    return word == QLatin1String("--help") || word == QLatin1String("-h");
}

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void print(std::FILE* stream, const QString& text) {
    const auto bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QCoro::Task<int> execute(HeadlessSession& session, Command command) {
    if (command.limitRate)
        session.workspace().client().bandwidth().setRate(*command.limitRate);
    switch (command.subcommand) {
    case Subcommand::list:
        co_return co_await runList(session, command.json);
    case Subcommand::exportSheet:
        co_return co_await runExportSheet(session);
    case Subcommand::upload:
        co_return co_await runUpload(session, std::move(command));
    case Subcommand::sync:
        co_return co_await runSync(session, std::move(command));
    case Subcommand::watch:
        co_return co_await runWatch(session, std::move(command));
    }
    co_return exitUsage;
}

// The status reaches the event loop queued: the task may end before the loop runs.
QCoro::Task<> executeAndQuit(HeadlessSession& session, Command command) {
    const int status = co_await execute(session, std::move(command));
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [status] { QCoreApplication::exit(status); },
        Qt::QueuedConnection);
}

} // namespace

bool wantsCommandLine(int argc, char* argv[]) {
    if (argc < 2)
        return false;
    const auto first = QString::fromLocal8Bit(argv[1]);
    if (isHelpWord(first) || subcommandNamed(first).has_value())
        return true;
    // A bare word that names no file is a mistyped command ("lsit"), not a clip to open:
    // it gets the usage instead of a window.
    static const QRegularExpression word(QStringLiteral("^[A-Za-z][A-Za-z0-9-]*$"));
    return word.match(first).hasMatch() && !QFileInfo::exists(first);
}

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int refuseWindowWithoutDisplay() {
    print(stderr, QStringLiteral("clipferry: no display to open the window on; the commands "
                                 "below run without one.\n") +
                      overviewText());
    return exitUsage;
}

int runCommandLine(int argc, char* argv[]) {
    const auto arguments = argumentsOf(argc, argv);
    if (isHelpWord(arguments.value(0))) {
        print(stdout, overviewText());
        return exitDone;
    }
    const auto parsed = parseCommandLine(arguments);
    if (const auto* help = std::get_if<HelpRequest>(&parsed)) {
        print(stdout, help->text);
        return exitDone;
    }
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        print(stderr, error->message + QLatin1Char('\n') + error->usage + QLatin1Char('\n'));
        return exitUsage;
    }
    const auto& command = std::get<Command>(parsed);

    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Clipferry"));
    QCoreApplication::setApplicationName(QStringLiteral("Clipferry"));
    // A listing or a plan for a script, and a watcher's line per clip, keep stdout for their
    // data; the log goes to stderr.
    const bool printsData = command.subcommand == Subcommand::list ||
                            command.subcommand == Subcommand::watch ||
                            (command.subcommand == Subcommand::sync && command.dryRun);
    Console console(printsData, isatty(STDERR_FILENO) == 1);
    HeadlessSession session(console,
                            credentialsFromEnvironment(QProcessEnvironment::systemEnvironment()));
    runDetached(executeAndQuit(session, command));
    return QCoreApplication::exec();
}

} // namespace clipferry::cli
