#pragma once

#include <QByteArray>
#include <QString>

namespace clipferry::cli {

// The command line's two streams. Data and log lines go to stdout (the log to stderr when
// stdout carries data a script parses); messages go to stderr, and so does one progress
// line, redrawn in place, when stderr is a terminal. Every write is flushed at once so the
// lines of both streams keep their order on a terminal.
class Console {
public:
    Console(bool logToStderr, bool stderrIsTerminal);

    void logLine(const QByteArray& line);
    void out(const QString& text);
    void error(const QString& text);
    // Replaces the progress line; nothing when stderr is not a terminal.
    void progress(const QString& line);
    [[nodiscard]] bool showsProgress() const { return m_showProgress; }

private:
    void clearProgress();
    void write(bool toStderr, const QByteArray& bytes);

    bool m_logToStderr;
    bool m_showProgress;
    QByteArray m_progress;
};

} // namespace clipferry::cli
