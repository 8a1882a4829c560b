// Sends files of random bytes to the stand-in at once under one bandwidth cap and
// prints the time taken against size / cap, and the highest rate the stand-in received
// in any one-second window (sampled every 100 ms), against the cap.
//
//     clipferry-rate-bench [size in MiB in all, default 100] [cap, default 5M] [transfers, default
//     2]

#include "StandInService.h"
#include "TestFiles.h"
#include "service/BandwidthLimiter.h"
#include "service/MuxClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <deque>

namespace {

QCoro::Task<bool> sendAll(clipferry::MuxClient& client, QList<QString> paths) {
    QList<QUrl> locations;
    for (const auto& path : paths) {
        auto created = co_await client.createUpload(path.section(QLatin1Char('/'), -1),
                                                    QStringLiteral("2160p"));
        if (!created)
            co_return false;
        locations.append(created->url);
    }
    std::vector<QCoro::Task<clipferry::Result<void>>> transfers;
    for (qsizetype i = 0; i < paths.size(); ++i)
        transfers.push_back(client.uploadFile(paths[i], locations[i]));
    bool ok = true;
    for (auto& transfer : transfers)
        ok = (co_await std::move(transfer)).has_value() && ok;
    co_return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    const auto cap =
        clipferry::parseByteRate(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("5M"));
    const int count = argc > 3 ? QByteArray(argv[3]).toInt() : 2;
    if (mebibytes <= 0 || !cap || count <= 0) {
        std::fprintf(stderr, "usage: clipferry-rate-bench [MiB] [cap] [transfers]\n");
        return 2;
    }
    StandInService service;
    if (!service.isRunning()) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    QTemporaryDir dir;
    QList<QString> paths;
    for (int i = 0; i < count; ++i) {
        paths.append(dir.filePath(QStringLiteral("random%1.bin").arg(i)));
        if (!writeRandomFile(paths.last(), mebibytes * 1024 * 1024 / count))
            return 1;
    }
    const qint64 size = mebibytes * 1024 * 1024 / count * count;

    QNetworkAccessManager network;
    auto options = service.clientOptions();
    options.bandwidth = std::make_shared<clipferry::BandwidthLimiter>(*cap);
    clipferry::MuxClient client(network, options);
    client.setCredentials(service.tokenID(), service.tokenSecret());

    // Received bytes every 100 ms; the window is the last second of them.
    std::deque<std::pair<qint64, qint64>> samples; // ms, bytes
    double peak = 0;
    QElapsedTimer timer;
    QTimer sampler;
    sampler.setInterval(100);
    QObject::connect(&sampler, &QTimer::timeout, &app, [&] {
        const qint64 now = timer.elapsed();
        samples.emplace_back(now, service.bodyBytesArrived());
        while (samples.size() > 1 && now - samples.front().first > 1000)
            samples.pop_front();
        const auto span = samples.back().first - samples.front().first;
        if (span >= 900)
            peak =
                std::max(peak, static_cast<double>(samples.back().second - samples.front().second) *
                                   1000.0 / static_cast<double>(span));
    });
    timer.start();
    sampler.start();
    const bool ok = QCoro::waitFor(sendAll(client, paths));
    const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    sampler.stop();
    if (!ok) {
        std::fprintf(stderr, "a transfer failed\n");
        return 1;
    }
    const double expected = static_cast<double>(size) / static_cast<double>(*cap);
    std::printf("sent                    %lld MiB in %d transfers at once\n", mebibytes, count);
    std::printf("cap                     %.2f MiB/s\n", static_cast<double>(*cap) / 1048576.0);
    std::printf("took                    %.2f s (size / cap %.2f s, %+.1f %%)\n", seconds, expected,
                (seconds / expected - 1.0) * 100.0);
    std::printf("highest 1-s window      %.2f MiB/s (%.1f %% of the cap)\n", peak / 1048576.0,
                peak / static_cast<double>(*cap) * 100.0);
    return 0;
}
