#include "app/cli/CommandLine.h"

#include "service/BandwidthLimiter.h"

#include <algorithm>
#include <array>
#include <vector>

namespace clipferry::cli {
namespace {

struct Flag {
    const char* name;
    bool Command::*field;
    const char* help;
};

// An option followed by a whole number of at least `minimum`.
struct NumberOption {
    const char* name;
    const char* valueName;
    int Command::*field;
    int minimum;
    const char* help;
};

struct Grammar {
    Subcommand subcommand;
    const char* name;
    const char* operand; // null: none taken
    bool manyOperands;
    std::vector<Flag> flags;
    const char* summary;
    // Takes `--limit-rate RATE`: the command sends files.
    bool limitsRate = false;
    std::vector<NumberOption> numbers = {};
};

constexpr auto limitRateOption = "--limit-rate";
constexpr auto limitRateHelp = "cap the uploads' total rate in bytes per second; k, M and G\n"
                               "                     suffixes as curl's (--limit-rate 5M)";

const std::array grammars{
    Grammar{Subcommand::upload,
            "upload",
            "FILE",
            true,
            {{"--replace", &Command::replace,
              "upload clips already on Mux again and delete their old assets"},
             {"--copies", &Command::copies, "upload clips already on Mux again beside them"}},
            "Uploads the files to Mux like a drop on the window (resumable, paced, retried),\n"
            "printing the log lines; then updates the Google Sheet. A clip already on Mux,\n"
            "or being uploaded, is passed over with a line saying so.",
            true},
    Grammar{Subcommand::sync,
            "sync",
            "FOLDER",
            false,
            {{"--recursive", &Command::recursive, "look into subfolders too"},
             {"--replace-changed", &Command::replaceChanged,
              "upload the clips changed since their upload again and delete the old assets"},
             {"--dry-run", &Command::dryRun, "only print what would be uploaded"}},
            "Uploads the clips of the folder that are not on Mux yet, then updates the\n"
            "Google Sheet once.",
            true},
    Grammar{Subcommand::list,
            "list",
            nullptr,
            false,
            {{"--json", &Command::json, "print a JSON array instead of lines"}},
            "Lists the Mux library: one line per asset with its file name, status and\n"
            "playback address, separated by tabs."},
    Grammar{Subcommand::exportSheet,
            "export-sheet",
            nullptr,
            false,
            {},
            "Sends the playback addresses of the whole library to the Google Sheet\n"
            "(the settings' \"Update Google Sheets\")."},
    Grammar{Subcommand::watch,
            "watch",
            "FOLDER",
            false,
            {{"--recursive", &Command::recursive, "watch subfolders too"},
             {"--replace-changed", &Command::replaceChanged,
              "upload a clip that changes after its delivery again and delete the old asset"}},
            "Delivers every clip that appears in the folder, once it has settled, and is not\n"
            "on Mux yet; runs until stopped (SIGTERM or SIGINT), printing one line per clip\n"
            "delivered or failed. One watcher delivers a folder at a time, on any machine:\n"
            "the others wait.",
            true,
            {{"--settle", "SECONDS", &Command::settleSeconds, 1,
              "how long a clip stays unchanged before it is sent (default 30)"}}},
};

const Grammar& grammarOf(Subcommand subcommand) {
    for (const auto& grammar : grammars)
        if (grammar.subcommand == subcommand)
            return grammar;
    Q_UNREACHABLE();
}

QString usageOf(const Grammar& grammar) {
    QString line = QStringLiteral("clipferry ") + QLatin1String(grammar.name);
    if (grammar.operand)
        line += QLatin1Char(' ') + QLatin1String(grammar.operand) +
                (grammar.manyOperands ? QStringLiteral("\u2026") : QString());
    for (const auto& flag : grammar.flags)
        line += QStringLiteral(" [") + QLatin1String(flag.name) + QLatin1Char(']');
    for (const auto& option : grammar.numbers)
        line += QStringLiteral(" [%1 %2]")
                    .arg(QLatin1String(option.name), QLatin1String(option.valueName));
    if (grammar.limitsRate)
        line += QStringLiteral(" [") + QLatin1String(limitRateOption) + QStringLiteral(" RATE]");
    return line;
}

const auto commonHelp = QStringLiteral(
    "\nThe API token comes from CLIPFERRY_TOKEN_ID and CLIPFERRY_TOKEN_SECRET when both are\n"
    "set, otherwise from the secret store where the app keeps it.\n"
    "The sheet web app's key comes from CLIPFERRY_SHEET_KEY when set, otherwise from the\n"
    "secret store when one was saved in the window.\n"
    "The sheet web app's address comes from CLIPFERRY_SHEET_URL when set, otherwise from\n"
    "the settings of the window.\n"
    "Exit status: 0 when everything was done, 1 when a file failed, 2 for a usage or\n"
    "configuration error or when another Clipferry is uploading a file given, 3 when every\n"
    "file was delivered but the Google Sheet could not be updated.\n");

QString helpOf(const Grammar& grammar) {
    QString text = QStringLiteral("Usage: ") + usageOf(grammar) + QStringLiteral("\n\n") +
                   QLatin1String(grammar.summary) + QLatin1Char('\n');
    if (!grammar.flags.empty() || !grammar.numbers.empty() || grammar.limitsRate) {
        text += QStringLiteral("\nOptions:\n");
        for (const auto& flag : grammar.flags)
            text += QStringLiteral("  %1  %2\n")
                        .arg(QLatin1String(flag.name), -17)
                        .arg(QLatin1String(flag.help));
        for (const auto& option : grammar.numbers)
            text += QStringLiteral("  %1  %2\n")
                        .arg(QLatin1String(option.name) + QLatin1Char(' ') +
                                 QLatin1String(option.valueName),
                             -17)
                        .arg(QLatin1String(option.help));
        if (grammar.limitsRate)
            text += QStringLiteral("  %1  %2\n")
                        .arg(QLatin1String(limitRateOption) + QStringLiteral(" RATE"), -17)
                        .arg(QLatin1String(limitRateHelp));
    }
    return text + commonHelp;
}

UsageError usageError(const Grammar& grammar, const QString& message) {
    return UsageError{QStringLiteral("clipferry ") + QLatin1String(grammar.name) +
                          QStringLiteral(": ") + message,
                      QStringLiteral("Usage: ") + usageOf(grammar)};
}

} // namespace

std::optional<Subcommand> subcommandNamed(const QString& word) {
    for (const auto& grammar : grammars)
        if (word == QLatin1String(grammar.name))
            return grammar.subcommand;
    return std::nullopt;
}

ParsedCommandLine parseCommandLine(const QStringList& arguments) {
    const auto subcommand = arguments.isEmpty() ? std::nullopt : subcommandNamed(arguments.first());
    if (!subcommand)
        return UsageError{QStringLiteral("clipferry: unknown command ") + arguments.value(0),
                          overviewText()};
    const auto& grammar = grammarOf(*subcommand);
    Command command;
    command.subcommand = *subcommand;
    bool optionsEnded = false;
    const QStringList words = arguments.mid(1);
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& argument = words[i];
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
                return HelpRequest{helpOf(grammar)};
            const auto number =
                std::find_if(grammar.numbers.begin(), grammar.numbers.end(),
                             [&](const NumberOption& o) { return argument == o.name; });
            if (number != grammar.numbers.end()) {
                bool whole = false;
                const int value = words.value(++i).toInt(&whole);
                if (!whole || value < number->minimum)
                    return usageError(grammar, argument + QStringLiteral(" needs a whole number "
                                                                         "of at least %1")
                                                              .arg(number->minimum));
                command.*(number->field) = value;
                continue;
            }
            const QString rateOption = QLatin1String(limitRateOption);
            if (grammar.limitsRate &&
                (argument == rateOption || argument.startsWith(rateOption + QLatin1Char('=')))) {
                QString value;
                if (argument.size() > rateOption.size())
                    value = argument.mid(rateOption.size() + 1);
                else if (i + 1 < words.size())
                    value = words[++i];
                command.limitRate = parseByteRate(value);
                if (!command.limitRate)
                    return usageError(grammar, QStringLiteral("--limit-rate wants a rate such as "
                                                              "5M, not \"") +
                                                   printable(value) + QLatin1Char('"'));
                continue;
            }
            const auto flag = std::find_if(grammar.flags.begin(), grammar.flags.end(),
                                           [&](const Flag& f) { return argument == f.name; });
            if (flag == grammar.flags.end())
                return usageError(grammar, QStringLiteral("unknown option ") + argument);
            command.*(flag->field) = true;
            continue;
        }
        command.operands.append(argument);
    }
    if (!grammar.operand && !command.operands.isEmpty())
        return usageError(grammar, QStringLiteral("unexpected argument ") + command.operands[0]);
    if (grammar.operand && command.operands.isEmpty())
        return usageError(grammar, QLatin1String(grammar.operand) + QStringLiteral(" missing"));
    if (command.replace && command.copies)
        return usageError(grammar, QStringLiteral("--replace and --copies exclude each other"));
    if (grammar.operand && !grammar.manyOperands && command.operands.size() > 1)
        return usageError(grammar, QStringLiteral("one ") + QLatin1String(grammar.operand) +
                                       QStringLiteral(" only"));
    return command;
}

QString printable(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            shown += QStringLiteral("\\\\");
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString usageLine(Subcommand subcommand) {
    return QStringLiteral("Usage: ") + usageOf(grammarOf(subcommand));
}

QString overviewText() {
    QString text = QStringLiteral("Usage: clipferry [FILE\u2026]   open the window (and upload the "
                                  "files, like a drop)\n");
    for (const auto& grammar : grammars)
        text += QStringLiteral("       ") + usageOf(grammar) + QLatin1Char('\n');
    return text + QStringLiteral("\n\"clipferry COMMAND --help\" describes a command.\n") +
           commonHelp;
}

} // namespace clipferry::cli
