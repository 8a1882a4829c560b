#include "app/SingleInstance.h"

#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTimer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace clipferry {
namespace {

const QByteArray confirmation = "ok\n";
// A request larger than this is not a launch's file list; the connection is dropped.
constexpr qint64 maxRequestBytes = 4 * 1024 * 1024;

} // namespace

SingleInstance::SingleInstance(QString dataFolder, Options options, QObject* parent)
    : QObject(parent)
    , m_dataFolder(std::move(dataFolder))
    , m_options(options)
    , m_lock(m_dataFolder + QStringLiteral("/instance.lock")) {
    // An instance may run for weeks: only a dead owner makes the lock stale, never its age.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName() const {
    const QByteArray folder = QDir(m_dataFolder).absolutePath().toUtf8();
    const QByteArray digest = QCryptographicHash::hash(folder, QCryptographicHash::Sha256);
    // The runtime folder belongs to the user alone, so no one else can take the name first.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/clipferry-") + QString::fromLatin1(digest.toHex().left(16));
}

bool SingleInstance::claim() {
    (void)QDir().mkpath(m_dataFolder);
    if (!m_lock.tryLock(0)) {
        // A folder the lock cannot be written to must not keep the user from working.
        if (m_lock.error() != QLockFile::LockFailedError)
            qWarning("Could not take the instance lock: error %d", int(m_lock.error()));
        return m_lock.error() != QLockFile::LockFailedError;
    }
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = serverName();
    // Holding the lock, any socket left at the name is a crashed instance's.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        qWarning("Could not listen for other launches: %s", qPrintable(m_server->errorString()));
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    return true;
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        readRequest(socket);
    }
}

void SingleInstance::readRequest(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maxRequestBytes)
            socket->abort();
        return;
    }
    const auto files = decodeRequest(socket->readLine());
    if (!files) {
        socket->abort();
        return;
    }
    socket->write(confirmation);
    socket->disconnectFromServer();
    Q_EMIT activated(*files);
}

QCoro::Task<bool> SingleInstance::forward(QStringList files) {
    const QByteArray request = encodeRequest(files);
    const QString name = serverName();
    const auto timeout = m_options.forwardTimeout;
    const auto retryInterval = m_options.connectRetryInterval;
    QElapsedTimer elapsed;
    elapsed.start();
    const auto remaining = [&] {
        return std::max(std::chrono::milliseconds(1),
                        timeout - std::chrono::milliseconds(elapsed.elapsed()));
    };
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(name);
        if (socket.state() == QLocalSocket::ConnectingState) {
            const auto waitFor = remaining();
            (void)co_await qCoro(&socket, &QLocalSocket::stateChanged, waitFor);
        }
        if (socket.state() == QLocalSocket::ConnectedState)
            break;
        socket.abort();
        if (std::chrono::milliseconds(elapsed.elapsed()) >= timeout)
            co_return false;
        co_await QCoro::sleepFor(retryInterval);
    }
    socket.write(request);
    QByteArray reply;
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState &&
           std::chrono::milliseconds(elapsed.elapsed()) < timeout) {
        const auto waitFor = remaining();
        (void)co_await qCoro(&socket, &QLocalSocket::readyRead, waitFor);
    }
    co_return socket.canReadLine() && socket.readLine() == confirmation;
}

QByteArray SingleInstance::encodeRequest(const QStringList& files) {
    const QJsonObject request{{QStringLiteral("activate"), true},
                              {QStringLiteral("files"), QJsonArray::fromStringList(files)}};
    return QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QStringList> SingleInstance::decodeRequest(const QByteArray& line) {
    const QJsonDocument document = QJsonDocument::fromJson(line);
    const QJsonValue files = document.object().value(QStringLiteral("files"));
    if (!document.isObject() || !files.isArray())
        return std::nullopt;
    QStringList paths;
    for (const QJsonValue& file : files.toArray()) {
        if (!file.isString())
            return std::nullopt;
        paths.append(file.toString());
    }
    return paths;
}

} // namespace clipferry
