#pragma once

#include "model/Records.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

namespace clipferry {

// The activity log every part writes to. A line goes out at once to whoever echoes it
// (standard output, the command line's console); the list the log view shows takes the
// entry from the event loop, after the current step, so a line written in the middle of
// a model change never re-enters a view.
class ActivityLog : public QObject {
    Q_OBJECT

public:
    explicit ActivityLog(QObject* parent = nullptr);

    void append(const QString& message);
    [[nodiscard]] const QList<LogEntry>& entries() const { return m_entries; }

    // Prints each line on standard output as it is written.
    void echoToStandardOutput();

Q_SIGNALS:
    // "[Clipferry] " + message + newline, at once.
    void lineWritten(const QByteArray& line);
    void appended(const clipferry::LogEntry& entry);

private:
    QList<LogEntry> m_entries;
};

} // namespace clipferry
