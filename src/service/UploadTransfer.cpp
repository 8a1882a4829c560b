#include "service/MuxClient.h"

#include "service/RequestPacer.h"
#include "service/ServiceError.h"
#include "service/ServiceRequests.h"
#include "service/ServiceTransport.h"

#include <QFile>
#include <QFileInfo>

// The file transfer to an upload session. The session keeps what it received in whole
// units and says how much on a status query, so a cut transfer goes on from there
// instead of from the start, and no second direct upload is made for the same file.
namespace clipferry {

namespace {

// The file as a request body that cannot be rewound once read from. After a lost
// connection Qt's HTTP layer would otherwise send the whole body again on its own,
// unseen, where the session only lacks what it does not hold. The read that reaches the
// end fails when the file is no longer the one the session began with, so the session
// never receives its last byte and never makes an asset of a changed file.
class ForwardOnlyFile final : public QFile {
public:
    ForwardOnlyFile(const QString& path, qint64 expectedSize, qint64 expectedModifiedMs)
        : QFile(path)
        , m_expectedSize(expectedSize)
        , m_expectedModifiedMs(expectedModifiedMs) {}

    bool seek(qint64 position) override {
        if (m_read && position != pos())
            return false;
        return QFile::seek(position);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        m_read = true;
        if (m_expectedSize > 0 && pos() + maxSize >= m_expectedSize) {
            const QFileInfo now(fileName());
            if (now.size() != m_expectedSize ||
                now.lastModified().toMSecsSinceEpoch() != m_expectedModifiedMs) {
                setErrorString(QStringLiteral("The file changed while it was being uploaded."));
                return -1;
            }
        }
        return QFile::readData(data, maxSize);
    }

private:
    qint64 m_expectedSize = 0;
    qint64 m_expectedModifiedMs = 0;
    bool m_read = false;
};

struct SessionAnswer {
    enum Kind { complete, partial, interrupted, expired, refused } kind;
    qint64 held = 0;
};

// A session's answer to a PUT: 200/201 complete, 308 with the held range (no Range:
// nothing held), 404/410 gone; a lost connection, a time-out, 408, 429 and 5xx are
// worth asking again.
SessionAnswer readSessionAnswer(const Result<HttpReply>& reply) {
    if (!reply || !reply->status)
        return {SessionAnswer::interrupted};
    const int status = *reply->status;
    if (status >= 200 && status <= 299)
        return {SessionAnswer::complete};
    if (status == 308) {
        const QByteArray range = reply->header("Range");
        const QByteArray prefix = QByteArrayLiteral("bytes=0-");
        bool ok = false;
        const qint64 last =
            range.startsWith(prefix) ? range.mid(prefix.size()).toLongLong(&ok) : -1;
        return {SessionAnswer::partial, ok ? last + 1 : 0};
    }
    if (status == 404 || status == 410)
        return {SessionAnswer::expired};
    if (status == 408 || status == 429 || status >= 500)
        return {SessionAnswer::interrupted};
    return {SessionAnswer::refused};
}

// A request of the session: a storage location that gets no credentials, and whose 308
// is an answer, not a redirect.
QNetworkRequest sessionRequest(const QUrl& location, qint64 length) {
    QNetworkRequest request(location);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentLengthHeader, length);
    return request;
}

} // namespace

QCoro::Task<Result<void>> MuxClient::uploadFile(QString filePath, QUrl uploadURL,
                                                ProgressCallback progress) {
    FileTransfer transfer;
    transfer.progress = std::move(progress);
    co_return co_await uploadFile(std::move(filePath), std::move(uploadURL), std::move(transfer));
}

QCoro::Task<Result<void>> MuxClient::uploadFile(QString filePath, QUrl uploadURL,
                                                FileTransfer transfer) {
    // Fail on an unreadable file before the request, with the file system's own text.
    if (QFile probe(filePath); !probe.open(QIODevice::ReadOnly))
        co_return fail(errorDomain::file, static_cast<int>(probe.error()), probe.errorString());
    const qint64 size = QFileInfo(filePath).size();
    const auto alive = m_sessionTransport->lifetime();
    const auto stop = transfer.stop;
    const auto progress = transfer.progress;
    const auto stopped = [&] {
        return alive.expired() || (stop && stop->isStopped());
    };

    qint64 held = 0;
    bool ask = transfer.resume;
    int failures = 0;
    for (;;) {
        Result<HttpReply> reply = tl::unexpected(ServiceTransport::cancelled());
        if (ask) {
            auto request = sessionRequest(uploadURL, 0);
            request.setRawHeader("Content-Range", "bytes */" + QByteArray::number(size));
            reply = co_await m_sessionTransport->send(QByteArrayLiteral("PUT"), request,
                                                      ServiceTransport::BodySource{}, {}, stop);
        } else {
            const qint64 offset = held;
            auto request = sessionRequest(uploadURL, size - offset);
            // A first transfer is the plain PUT of the whole file.
            if (offset > 0)
                request.setRawHeader("Content-Range", "bytes " + QByteArray::number(offset) + '-' +
                                                          QByteArray::number(size - 1) + '/' +
                                                          QByteArray::number(size));
            ServiceTransport::BodySource source =
                [filePath, offset, expectedSize = transfer.expectedSize,
                 expectedModified =
                     transfer.expectedModifiedMs]() -> Result<std::unique_ptr<QIODevice>> {
                auto file =
                    std::make_unique<ForwardOnlyFile>(filePath, expectedSize, expectedModified);
                if (!file->open(QIODevice::ReadOnly) || !file->seek(offset))
                    return fail(errorDomain::file, static_cast<int>(file->error()),
                                file->errorString());
                return std::unique_ptr<QIODevice>(std::move(file));
            };
            ServiceTransport::ProgressCallback sent;
            if (progress)
                sent = [progress, offset, size](qint64 bytes, qint64) {
                    progress(offset + bytes, size);
                };
            reply = co_await m_sessionTransport->send(QByteArrayLiteral("PUT"), request,
                                                      std::move(source), std::move(sent), stop);
        }
        if (stopped())
            co_return tl::unexpected(ServiceTransport::cancelled());
        if (!reply && reply.error().domain == QLatin1StringView("File"))
            co_return tl::unexpected(reply.error());

        const auto answer = readSessionAnswer(reply);
        switch (answer.kind) {
        case SessionAnswer::complete:
            if (progress)
                progress(size, size);
            co_return Result<void>{};
        case SessionAnswer::expired:
            co_return serviceError(uploadExpiredCode, QStringLiteral("Upload session expired"));
        case SessionAnswer::refused:
            co_return serviceError(uploadFailedCode, QStringLiteral("Upload failed"));
        case SessionAnswer::partial:
            // Progress since the last answer earns the transfer a fresh set of resumptions.
            if (answer.held > held)
                failures = 0;
            else if (!ask)
                ++failures;
            held = std::min(answer.held, size);
            if (transfer.resumedAt)
                transfer.resumedAt(held, size);
            ask = false;
            if (failures <= m_options.maxResumptions)
                continue;
            break;
        case SessionAnswer::interrupted:
            ask = true;
            if (++failures <= m_options.maxResumptions) {
                const auto delay = std::min(m_sessionTransport->backoffDelay(failures - 1),
                                            m_options.maxResumeDelay);
                auto& clock = m_pacer->clock();
                co_await clock.sleepUntil(clock.now() + delay);
                if (stopped())
                    co_return tl::unexpected(ServiceTransport::cancelled());
                continue;
            }
            break;
        }
        co_return serviceError(uploadFailedCode, QStringLiteral("Upload failed"));
    }
}

QCoro::Task<Result<void>> MuxClient::cancelUpload(QString uploadID) {
    auto location =
        apiLocation(QString::fromLatin1(service::uploadsPath) + QLatin1Char('/'), uploadID);
    if (!location)
        co_return tl::unexpected(location.error());
    const QUrl cancel = location->resolved(QUrl(uploadID + QStringLiteral("/cancel")));
    auto request = service::authorizedRequest(cancel, credentialHeader(), false);
    // Without a length a body-less PUT leaves the server waiting for a body.
    request.setHeader(QNetworkRequest::ContentLengthHeader, 0);
    auto reply = co_await m_transport->send(QByteArrayLiteral("PUT"), request);
    if (!reply)
        co_return tl::unexpected(reply.error());
    co_return checkHTTPStatus(reply->status, QByteArray());
}

} // namespace clipferry
