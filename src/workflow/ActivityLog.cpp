#include "workflow/ActivityLog.h"

#include <QUuid>
#include <cstdio>

namespace clipferry {

ActivityLog::ActivityLog(QObject* parent)
    : QObject(parent) {}

void ActivityLog::append(const QString& message) {
    Q_EMIT lineWritten("[Clipferry] " + message.toUtf8() + '\n');
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            m_entries.append(LogEntry{QUuid::createUuid(), message});
            Q_EMIT appended(m_entries.constLast());
        },
        Qt::QueuedConnection);
}

void ActivityLog::echoToStandardOutput() {
    connect(this, &ActivityLog::lineWritten, this, [](const QByteArray& line) {
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fflush(stdout);
    });
}

} // namespace clipferry
