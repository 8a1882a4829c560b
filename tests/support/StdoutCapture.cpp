#include "StdoutCapture.h"

#include <QFile>
#include <cstdio>
#include <unistd.h>

StdoutCapture::StdoutCapture() {
    m_file.open();
    std::fflush(stdout);
    m_savedFd = ::dup(STDOUT_FILENO);
    ::dup2(m_file.handle(), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() {
    std::fflush(stdout);
    ::dup2(m_savedFd, STDOUT_FILENO);
    ::close(m_savedFd);
}

QByteArray StdoutCapture::text() {
    std::fflush(stdout);
    QFile reader(m_file.fileName());
    reader.open(QIODevice::ReadOnly);
    return reader.readAll();
}
