// Uploads one file of random bytes to the stand-in with MuxClient::uploadFile and with
// `curl -T`, and prints both throughputs, their ratio and this process's peak RSS; then
// once more with the connection cut halfway, and the bytes the stand-in received.
//
//     clipferry-upload-bench [size in MiB, default 2048] [folder for the file, default /tmp]

#include "StandInService.h"
#include "TestFiles.h"
#include "service/MuxClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

namespace {

QByteArray peakRss() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return "unknown";
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).simplified();
    return "unknown";
}

// Writes the file's dirty pages back now, so that neither transfer shares the machine
// with the write-back of gigabytes.
bool writeBack(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && ::fsync(file.handle()) == 0;
}

QUrl newUploadLocation(clipferry::MuxClient& client) {
    auto created =
        QCoro::waitFor(client.createUpload(QStringLiteral("bench.bin"), QStringLiteral("2160p")));
    return created ? created->url : QUrl();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 mebibytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 2048;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp");
    const qint64 size = mebibytes * 1024 * 1024;

    StandInService service;
    if (!service.isRunning()) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    QTemporaryDir dir(folder + QStringLiteral("/clipferry-bench-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("random.bin"));
    std::printf("writing %lld MiB of random bytes to %s\n", mebibytes, qPrintable(path));
    if (!writeRandomFile(path, size) || !writeBack(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const QByteArray rssBefore = peakRss();

    QNetworkAccessManager network;
    network.setTransferTimeout(60000);
    clipferry::MuxClient::Options options;
    options.apiBase = service.baseUrl();
    clipferry::MuxClient client(network, options);
    client.setCredentials(service.tokenID(), service.tokenSecret());

    // MuxClient::uploadFile
    const QUrl clientLocation = newUploadLocation(client);
    QElapsedTimer timer;
    timer.start();
    const auto uploaded = QCoro::waitFor(client.uploadFile(path, clientLocation));
    const double clientSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (!uploaded) {
        std::fprintf(stderr, "uploadFile failed: %s\n", qPrintable(uploaded.error().message));
        return 1;
    }

    // curl -T, the same file to a fresh upload location
    const QUrl curlLocation = newUploadLocation(client);
    timer.restart();
    const int curlExit =
        QProcess::execute(QStringLiteral("curl"),
                          {QStringLiteral("-sS"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                           QStringLiteral("-T"), path, curlLocation.toString()});
    const double curlSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (curlExit != 0) {
        std::fprintf(stderr, "curl failed with %d\n", curlExit);
        return 1;
    }

    // uploadFile again, the connection cut once halfway: the transfer resumes from what
    // the session holds.
    StandInService::Fault cut;
    cut.method = QStringLiteral("PUT");
    cut.path = QStringLiteral("/_upload/*");
    cut.times = 1;
    cut.dropAfterBytes = size / 2;
    const QUrl cutLocation = newUploadLocation(client);
    if (!service.addFault(cut))
        return 1;
    timer.restart();
    const auto resumed = QCoro::waitFor(client.uploadFile(path, cutLocation));
    const double cutSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (!resumed) {
        std::fprintf(stderr, "uploadFile with a cut failed: %s\n",
                     qPrintable(resumed.error().message));
        return 1;
    }
    const QJsonObject cutUpload = service.uploads().last().toObject();
    const qint64 received = cutUpload.value(QLatin1StringView("bytes_received")).toInteger();

    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);
    const double clientRate = mib / clientSeconds;
    const double curlRate = mib / curlSeconds;
    std::printf("file size               %lld MiB\n", mebibytes);
    std::printf("MuxClient::uploadFile   %.2f s  %.1f MiB/s\n", clientSeconds, clientRate);
    std::printf("curl -T                 %.2f s  %.1f MiB/s\n", curlSeconds, curlRate);
    std::printf("ratio client/curl      %.2f\n", clientRate / curlRate);
    std::printf("cut at 50 %%, resumed    %.2f s, %lld bytes received (size + %lld)\n", cutSeconds,
                received, received - size);
    std::printf("peak RSS before upload  %s\n", rssBefore.constData());
    std::printf("peak RSS after upload   %s\n", peakRss().constData());
    return 0;
}
