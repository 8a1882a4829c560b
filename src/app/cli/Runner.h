#pragma once

// `clipferry <subcommand> …` and `clipferry --help`: the program without a window.
namespace clipferry::cli {

// True when the arguments ask for a subcommand or the overview rather than the window.
[[nodiscard]] bool wantsCommandLine(int argc, char* argv[]);

// Whether a window could open: without a display Qt would abort.
[[nodiscard]] bool hasDisplay();
// The message and the commands' overview on stderr; returns the usage error's status.
[[nodiscard]] int refuseWindowWithoutDisplay();

// Runs it on a QCoreApplication (no display needed) and returns the exit status.
[[nodiscard]] int runCommandLine(int argc, char* argv[]);

} // namespace clipferry::cli
