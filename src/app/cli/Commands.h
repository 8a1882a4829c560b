#pragma once

#include "app/cli/CommandLine.h"

#include <QCoro/QCoroTask>

namespace clipferry::cli {

class Console;
class HeadlessSession;

// Exit statuses of every subcommand.
enum ExitStatus : int {
    exitDone = 0,
    exitFailed = 1,
    exitUsage = 2,
    // Every file is on the service, but the sheet could not be updated: running again
    // would upload nothing, only export.
    exitSheetFailed = 3,
};

// Whether the first operand of `name` (`sync`, `watch`) is a folder; when not, says so with
// the usage.
[[nodiscard]] bool operandIsFolder(Console& console, const Command& command, const char* name);

// Each runs one subcommand to its end and says how it ended; the session lives longer.
[[nodiscard]] QCoro::Task<int> runList(HeadlessSession& session, bool json);
[[nodiscard]] QCoro::Task<int> runExportSheet(HeadlessSession& session);
[[nodiscard]] QCoro::Task<int> runUpload(HeadlessSession& session, Command command);
[[nodiscard]] QCoro::Task<int> runSync(HeadlessSession& session, Command command);
// Runs until SIGTERM or SIGINT: uploads stop where they are, to go on at the next run.
[[nodiscard]] QCoro::Task<int> runWatch(HeadlessSession& session, Command command);

} // namespace clipferry::cli
