#pragma once

#include <QByteArray>
#include <QTemporaryFile>

// Redirects the process's standard output to a file while it lives; `text()` reads what
// was written so far.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    [[nodiscard]] QByteArray text();

private:
    QTemporaryFile m_file;
    int m_savedFd = -1;
};
