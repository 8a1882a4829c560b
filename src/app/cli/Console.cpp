#include "app/cli/Console.h"

#include <cstdio>

namespace clipferry::cli {

Console::Console(bool logToStderr, bool stderrIsTerminal)
    : m_logToStderr(logToStderr)
    , m_showProgress(stderrIsTerminal) {}

void Console::logLine(const QByteArray& line) {
    clearProgress();
    write(m_logToStderr, line);
    progress(QString::fromUtf8(m_progress));
}

void Console::out(const QString& text) {
    write(false, text.toUtf8());
}

void Console::error(const QString& text) {
    clearProgress();
    write(true, text.toUtf8() + '\n');
}

void Console::progress(const QString& line) {
    if (!m_showProgress)
        return;
    m_progress = line.toUtf8();
    // Carriage return and "erase line": the next text starts at the left on a clean line.
    if (!m_progress.isEmpty())
        write(true, "\r\x1b[K" + m_progress);
}

void Console::clearProgress() {
    if (m_showProgress && !m_progress.isEmpty())
        write(true, "\r\x1b[K");
}

void Console::write(bool toStderr, const QByteArray& bytes) {
    auto* stream = toStderr ? stderr : stdout;
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace clipferry::cli
