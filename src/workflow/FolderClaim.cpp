#include "workflow/FolderClaim.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QUuid>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace clipferry {
namespace {

struct Holder {
    QString host;
    qint64 pid = 0;
    QString token;
};

Holder holderOf(const QByteArray& content) {
    const QJsonObject object = QJsonDocument::fromJson(content).object();
    return {object.value(QLatin1String("host")).toString(),
            object.value(QLatin1String("pid")).toInteger(),
            object.value(QLatin1String("token")).toString()};
}

QString describe(const Holder& holder) {
    if (holder.host.isEmpty())
        return QStringLiteral("another watcher");
    return QStringLiteral("%1 (process %2)").arg(holder.host).arg(holder.pid);
}

bool isDeadProcessOfThisHost(const Holder& holder) {
    return holder.host == QSysInfo::machineHostName() && holder.pid > 0 &&
           ::kill(static_cast<pid_t>(holder.pid), 0) != 0 && errno == ESRCH;
}

} // namespace

FolderClaim::FolderClaim(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_path(QDir(m_options.folder).filePath(QLatin1String(fileName)))
    , m_token(QUuid::createUuid().toString(QUuid::WithoutBraces)) {
    connect(&m_timer, &QTimer::timeout, this, &FolderClaim::tick);
}

FolderClaim::~FolderClaim() {
    QFile file(m_path);
    if (m_held && file.open(QIODevice::ReadOnly) && holderOf(file.readAll()).token == m_token) {
        file.close();
        file.remove();
    }
}

void FolderClaim::start() {
    m_timer.start(m_options.renewInterval);
    tick();
}

QByteArray FolderClaim::ownContent() const {
    return QJsonDocument(QJsonObject{
                             {QStringLiteral("host"), QSysInfo::machineHostName()},
                             {QStringLiteral("pid"), QCoreApplication::applicationPid()},
                             {QStringLiteral("time"),
                              QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                             {QStringLiteral("token"), m_token},
                         })
        .toJson(QJsonDocument::Compact);
}

// Written beside and renamed over, so a reader never sees half a claim.
bool FolderClaim::write() {
    const QString temporary = m_path + QLatin1Char('.') + m_token;
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray content = ownContent();
    const bool written = file.write(content) == content.size() && file.flush();
    file.close();
    if (written && std::rename(QFile::encodeName(temporary).constData(),
                               QFile::encodeName(m_path).constData()) == 0)
        return true;
    file.remove();
    return false;
}

void FolderClaim::setHeld(bool held) {
    if (held == m_held)
        return;
    m_held = held;
    if (held)
        m_holder.clear();
    Q_EMIT heldChanged(held);
}

void FolderClaim::tick() {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        QFile created(m_path);
        if (created.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QByteArray content = ownContent();
            created.write(content);
            created.close();
            m_confirming = false;
            setHeld(true);
        } else if (!QFileInfo::exists(m_path)) {
            // A folder this process may not write to: watching goes on unguarded.
            if (!m_warnedUnwritable)
                Q_EMIT logMessage(QStringLiteral("Cannot claim %1 (%2); delivering without a "
                                                 "claim, so another machine watching it could "
                                                 "deliver its clips too.")
                                      .arg(m_options.folder, created.errorString()));
            m_warnedUnwritable = true;
            setHeld(true);
        }
        return;
    }
    const QByteArray content = file.readAll();
    file.close();
    const Holder holder = holderOf(content);
    if (holder.token == m_token) {
        if (m_confirming) {
            m_confirming = false;
            setHeld(true);
        }
        if (m_held)
            (void)write();
        return;
    }
    m_confirming = false;
    if (m_held) {
        setHeld(false);
        m_othersContent.clear();
    }
    waitFor(content);
    if (m_othersUnchanged.elapsed() >= m_options.staleAfter.count() ||
        isDeadProcessOfThisHost(holder)) {
        Q_EMIT logMessage(QStringLiteral("Taking over %1 from %2, which stopped watching it.")
                              .arg(m_options.folder, describe(holder)));
        m_confirming = write();
        m_othersContent.clear();
    }
}

// The holder's own clock may differ from this one: only a change of its claim, seen here,
// counts as a renewal.
void FolderClaim::waitFor(const QByteArray& content) {
    if (content == m_othersContent)
        return;
    const bool newHolder = holderOf(content).token != holderOf(m_othersContent).token;
    m_othersContent = content;
    m_othersUnchanged.start();
    if (!newHolder)
        return;
    m_holder = describe(holderOf(content));
    Q_EMIT logMessage(QStringLiteral("%1 is watched by %2; waiting until it stops.")
                          .arg(m_options.folder, m_holder));
}

} // namespace clipferry
