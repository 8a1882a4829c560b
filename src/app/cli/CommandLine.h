#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

// The words and options of `clipferry <subcommand> …`, checked before anything starts.
namespace clipferry::cli {

enum class Subcommand {
    upload,
    sync,
    list,
    exportSheet,
};

struct Command {
    Subcommand subcommand = Subcommand::list;
    QStringList operands; // upload: the files; sync: the folder
    bool recursive = false;
    bool replaceChanged = false;
    bool dryRun = false;
    bool json = false;
    // upload: a clip the service already holds by name is sent again, replacing the old
    // assets or beside them; otherwise it is passed over.
    bool replace = false;
    bool copies = false;
    // `--limit-rate RATE`: the transfers' total in bytes per second (curl's form, "5M").
    std::optional<qint64> limitRate;
};

// `--help`: the text goes to stdout and the program ends successfully.
struct HelpRequest {
    QString text;
};

// Wrong words or options: the message and the usage line go to stderr, exit status 2.
struct UsageError {
    QString message;
    QString usage;
};

using ParsedCommandLine = std::variant<Command, HelpRequest, UsageError>;

// The subcommand a first argument names, if any; anything else is a file for the window.
[[nodiscard]] std::optional<Subcommand> subcommandNamed(const QString& word);

// `arguments` start with the subcommand's name (the program's name left out).
[[nodiscard]] ParsedCommandLine parseCommandLine(const QStringList& arguments);

// The text with control characters written as escapes, so a file name cannot move the
// cursor or forge a line of its own on a terminal or in a script's input.
[[nodiscard]] QString printable(const QString& text);

// "Usage: clipferry sync FOLDER [--recursive] …"
[[nodiscard]] QString usageLine(Subcommand subcommand);
// Every subcommand's usage line, for `clipferry --help`.
[[nodiscard]] QString overviewText();

} // namespace clipferry::cli
