#pragma once

#include <QCoro/QCoroTask>
#include <QLockFile>
#include <QObject>
#include <QStringList>
#include <chrono>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace clipferry {

// One running instance per user and data folder. The first process holds a lock file in the
// data folder and listens on a local socket; a later one hands its request (the files it was
// asked to open, possibly none) to the first and ends.
//   SingleInstance instance(stateFolderPath());
//   if (!instance.claim()) co_return co_await instance.forward(files);
class SingleInstance : public QObject {
    Q_OBJECT

public:
    struct Options {
        // How long a later instance keeps trying to reach the first, which may still be
        // between taking the lock and listening.
        std::chrono::milliseconds forwardTimeout{5000};
        std::chrono::milliseconds connectRetryInterval{50};
    };

    explicit SingleInstance(QString dataFolder, Options options, QObject* parent = nullptr);
    explicit SingleInstance(QString dataFolder, QObject* parent = nullptr)
        : SingleInstance(std::move(dataFolder), Options{}, parent) {}
    ~SingleInstance() override;

    // Takes the lock and starts listening; false when another live process holds it.
    [[nodiscard]] bool claim();
    // Delivers a request to the instance that holds the lock; true once it confirmed it.
    [[nodiscard]] QCoro::Task<bool> forward(QStringList files);

    // The local socket's address: in the per-user runtime folder, named after the data folder.
    [[nodiscard]] QString serverName() const;

    // The wire form of a request: one JSON object on one line.
    [[nodiscard]] static QByteArray encodeRequest(const QStringList& files);
    [[nodiscard]] static std::optional<QStringList> decodeRequest(const QByteArray& line);

Q_SIGNALS:
    // Another launch asked this instance to come to the front and open these files.
    void activated(const QStringList& files);

private:
    void acceptConnection();
    void readRequest(QLocalSocket* socket);

    QString m_dataFolder;
    Options m_options;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace clipferry
