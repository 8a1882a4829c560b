#include "WorkflowFixture.h"

#include <QCoro/QCoroTask>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QUuid>

using namespace clipferry;

WorkflowFixture::WorkflowFixture(int maxConcurrentUploads, const Tweak& tweak)
    : store(QStringLiteral("ClipferryTest-") + QUuid::createUuid().toString(),
            std::chrono::seconds(5)) {
    auto options = UploadViewModel::defaultOptions();
    options.apiBase = service.baseUrl();
    options.client.apiBase = service.baseUrl();
    options.streamBase = QUrl(QStringLiteral("https://stream.test"));
    options.sheetWebAppUrl = service.sheetWebAppUrl();
    options.client.assetIdPollInterval = std::chrono::milliseconds(5);
    options.client.readyPollInterval = std::chrono::milliseconds(5);
    options.client.postRequestsPerSecond = 0;
    options.client.otherRequestsPerSecond = 0;
    options.client.retryBaseDelay = std::chrono::milliseconds(1);
    options.maxConcurrentUploads = maxConcurrentUploads;
    if (tweak)
        tweak(options);
    viewModel = std::make_unique<UploadViewModel>(PlatformConfig{}, network, store, options);
    QCoro::waitFor(viewModel->waitUntilReady());
    viewModel->setTokenID(service.tokenID());
    viewModel->setTokenSecret(service.tokenSecret());
    settle();
}

QStringList WorkflowFixture::messages() const {
    QStringList result;
    for (const auto& entry : viewModel->log())
        result.append(entry.message);
    return result;
}

int WorkflowFixture::countMessages(const QString& message) const {
    return int(messages().count(message));
}

QUrl WorkflowFixture::makeFile(const QString& name, qint64 size) const {
    const QString path = home.path() + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        QByteArray chunk(64 * 1024, Qt::Uninitialized);
        for (qint64 written = 0; written < size; written += chunk.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()),
                                                  chunk.size() / 4);
            file.write(chunk.constData(), std::min<qint64>(chunk.size(), size - written));
        }
    }
    return QUrl::fromLocalFile(path);
}

void WorkflowFixture::settle() const {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}
