#include "service/MuxClient.h"

#include "service/NetworkReachability.h"
#include "service/RequestPacer.h"
#include "service/ServiceError.h"
#include "service/ServiceRequests.h"
#include "service/ServiceTransport.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <algorithm>

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
    enum Kind { complete, partial, interrupted, expired, refused, broken } kind;
    qint64 held = 0;
    // Why a broken answer ends the transfer; for an interrupted one, the transport's reason.
    std::optional<Error> error{};
};

bool isFinalTransportError(const Error& error) {
    return error.domain == errorDomain::network && !isNetworkOutage(error);
}

QString answeredStatus(int status) {
    return QStringLiteral("the storage host answered HTTP %1.").arg(status);
}

SessionAnswer brokenAnswer(const QString& message) {
    return {SessionAnswer::broken, 0, Error{QString(), uploadFailedCode, message}};
}

// The bytes a 308's Range says the session holds ("bytes=0-<last>", none without one),
// checked against the file and against what it held before: a host that claims more
// than the file has, or takes bytes back, would have the transfer send nonsense forever.
SessionAnswer readHeldRange(const QByteArray& range, qint64 size, qint64 heldBefore) {
    if (range.isEmpty())
        return heldBefore > 0 ? brokenAnswer(QStringLiteral(
                                    "The storage host now holds fewer bytes than it said before."))
                              : SessionAnswer{SessionAnswer::partial, 0};
    const QByteArray prefix = QByteArrayLiteral("bytes=0-");
    const QByteArray digits = range.mid(prefix.size());
    bool ok =
        range.startsWith(prefix) && !digits.isEmpty() && digits.size() <= 18 &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    const qint64 held = ok ? digits.toLongLong(&ok) + 1 : 0;
    if (!ok)
        return brokenAnswer(QStringLiteral("The storage host sent a malformed Range header."));
    if (held > size)
        return brokenAnswer(
            QStringLiteral("The storage host claimed more bytes than the file has."));
    if (held < heldBefore)
        return brokenAnswer(
            QStringLiteral("The storage host now holds fewer bytes than it said before."));
    return {SessionAnswer::partial, held};
}

// A session's answer to a PUT: 200/201 complete, 308 with the held range, 404/410 gone;
// a lost connection, a time-out, 408, 429 and 5xx are worth asking again.
SessionAnswer readSessionAnswer(const Result<HttpReply>& reply, qint64 size, qint64 heldBefore) {
    if (!reply)
        return {isFinalTransportError(reply.error()) ? SessionAnswer::broken
                                                     : SessionAnswer::interrupted,
                0, reply.error()};
    if (!reply->status)
        return {SessionAnswer::interrupted, 0,
                Error{QString(), uploadFailedCode, QStringLiteral("the reply was no HTTP reply.")}};
    const int status = *reply->status;
    if (status >= 200 && status <= 299)
        return {SessionAnswer::complete};
    if (status == 308)
        return readHeldRange(reply->header("Range"), size, heldBefore);
    if (status == 404 || status == 410)
        return {SessionAnswer::expired};
    const Error why{QString(), uploadFailedCode, answeredStatus(status)};
    if (status == 408 || status == 429 || status >= 500)
        return {SessionAnswer::interrupted, 0, why};
    return {SessionAnswer::refused, 0, why};
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
    int requests = 0;
    // Waits for the network to come back, and the reason of the last interruption.
    bool unreachable = false;
    int probes = 0;
    QString lastReason;
    const auto reachable = [&] {
        if (!unreachable)
            return;
        unreachable = false;
        probes = 0;
        if (transfer.unreachable)
            transfer.unreachable(false);
    };
    for (;;) {
        // Bounded even when every answer shows a little progress.
        if (requests++ >= m_options.maxTransferRequests)
            break;
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

        if (reply && reply->status)
            reachable();
        const auto answer = readSessionAnswer(reply, size, held);
        switch (answer.kind) {
        case SessionAnswer::complete:
            if (progress)
                progress(size, size);
            co_return Result<void>{};
        case SessionAnswer::expired:
            co_return serviceError(uploadExpiredCode, QStringLiteral("Upload session expired"));
        case SessionAnswer::refused:
            co_return serviceError(uploadFailedCode,
                                   QStringLiteral("Upload failed: ") + answer.error->message);
        case SessionAnswer::broken:
            co_return tl::unexpected(*answer.error);
        case SessionAnswer::partial:
            // Progress since the last answer earns the transfer a fresh set of resumptions.
            // A session that holds the whole file yet goes on is asked again, not sent an
            // empty range.
            if (answer.held > held)
                failures = 0;
            else if (!ask || answer.held == size)
                ++failures;
            held = answer.held;
            if (transfer.resumedAt)
                transfer.resumedAt(held, size);
            ask = held == size;
            if (failures <= m_options.maxResumptions)
                continue;
            break;
        case SessionAnswer::interrupted: {
            lastReason = answer.error ? answer.error->message : QString();
            // A question about the held bytes that reaches nothing: the network is down.
            // It is asked again, less and less often, for as long as that lasts; the wait
            // costs no resumption, since nothing was tried.
            int step = 0;
            if (ask && answer.error && isNetworkOutage(*answer.error)) {
                --requests;
                if (!unreachable) {
                    unreachable = true;
                    if (transfer.unreachable)
                        transfer.unreachable(true);
                }
                step = probes++;
            } else {
                ask = true;
                if (++failures > m_options.maxResumptions)
                    break;
                step = failures - 1;
            }
            const auto delay =
                std::min(m_sessionTransport->backoffDelay(step), m_options.maxResumeDelay);
            auto& clock = m_pacer->clock();
            const auto wait =
                transfer.reachability ? transfer.reachability->stopOrOnline(stop) : stop;
            auto sleep = clock.sleepUntil(clock.now() + delay, wait);
            co_await std::move(sleep);
            if (stopped())
                co_return tl::unexpected(ServiceTransport::cancelled());
            continue;
        }
        }
        break;
    }
    co_return serviceError(uploadFailedCode, lastReason.isEmpty()
                                                 ? QStringLiteral("Upload failed")
                                                 : QStringLiteral("Upload failed: ") + lastReason);
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
