// Lists a library of 10,000 assets (100 pages) from the stand-in with MuxClient and
// fetches the same pages with one curl run, under three budgets the stand-in announces:
// ample, none (the fixed rates of 5 GETs a second apply), and tight. Prints the times,
// the ratio to curl and the 429 replies. The fast rows also fetch the pages through Qt's
// network layer alone, one after another and undecoded: the floor any client on it has.
// On loopback a page costs curl half a millisecond, so the rows with a service's latency
// (every page answered 40 ms late, as a distant service answers) show what a user waits.
//
//     bench_listing [asset count, default 10000]

#include "StandInService.h"
#include "service/MuxClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <algorithm>
#include <cstdio>

namespace {

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

int count429(const StandInService& service) {
    int refused = 0;
    for (const auto& request : service.requests())
        refused += request.status == 429 ? 1 : 0;
    return refused;
}

// Every page in one curl run over one connection, as fast as curl goes.
double curlSeconds(const StandInService& service, int pages) {
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    const QString pageRange = QStringLiteral("%1/video/v1/assets?limit=100&page=[1-%2]")
                                  .arg(service.baseUrl().toString())
                                  .arg(pages);
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-sS"), QStringLiteral("-u"),
                service.tokenID() + QLatin1Char(':') + service.tokenSecret(), pageRange});
    curl.waitForFinished(-1);
    return seconds(timer);
}

double qtSeconds(QNetworkAccessManager& network, const StandInService& service, int pages) {
    const QByteArray credential =
        "Basic " +
        (service.tokenID() + QLatin1Char(':') + service.tokenSecret()).toUtf8().toBase64();
    QElapsedTimer timer;
    timer.start();
    for (int page = 1; page <= pages; ++page) {
        QNetworkRequest request(QUrl(QStringLiteral("%1/video/v1/assets?limit=100&page=%2")
                                         .arg(service.baseUrl().toString())
                                         .arg(page)));
        request.setRawHeader("Authorization", credential);
        const std::unique_ptr<QNetworkReply> reply(network.get(request));
        QEventLoop loop;
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->readAll();
    }
    return seconds(timer);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int pages = (count + 99) / 100;

    StandInService service;
    if (!service.isRunning() || !service.seedGeneratedAssets(count)) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    QNetworkAccessManager network;

    struct Budget {
        const char* name;
        int perMinute;
        bool paced = true;
        // Runs of about 0.1 s vary by half on a busy machine: the fast rows take the
        // median of several runs of each, alternating.
        int runs = 1;
        int latencyMs = 0;
    };
    // The unpaced row is the client's own cost, the bound of what pacing can reach.
    const Budget budgets[] = {{"ample (100000/min)", 100000, true, 15},
                              {"none", 0},
                              {"tight (300/min)", 300},
                              {"none, pacing off", 0, false, 15},
                              {"ample, 40 ms replies", 100000, true, 3, 40},
                              {"none, 40 ms replies", 0, true, 1, 40}};
    std::printf("%d assets, %d pages\n", count, pages);
    for (const auto& budget : budgets) {
        QList<double> curlTimes;
        QList<double> clientTimes;
        QList<double> qtTimes;
        int refused = 0;
        if (!service.clearFaults() ||
            (budget.latencyMs > 0 &&
             !service.addFault(
                 {.method = "GET", .path = "/video/v1/assets", .delayMs = budget.latencyMs})))
            return 1;
        for (int run = 0; run < budget.runs; ++run) {
            if (!service.setRateLimit(budget.perMinute) || !service.clearRequests())
                return 1;
            curlTimes.append(curlSeconds(service, pages));
            if (budget.runs > 1)
                qtTimes.append(qtSeconds(network, service, pages));

            if (!service.setRateLimit(budget.perMinute) || !service.clearRequests())
                return 1;
            clipferry::MuxClient::Options options;
            options.apiBase = service.baseUrl();
            if (!budget.paced)
                options.otherRequestsPerSecond = 0;
            clipferry::MuxClient client(network, options);
            QElapsedTimer timer;
            timer.start();
            const auto listed =
                QCoro::waitFor(client.listAllAssets(service.tokenID(), service.tokenSecret()));
            clientTimes.append(seconds(timer));
            if (!listed || listed->size() != count) {
                std::fprintf(stderr, "listing failed: %s\n",
                             listed ? "short list" : qPrintable(listed.error().message));
                return 1;
            }
            refused += count429(service);
        }
        const double listing = median(clientTimes);
        const double curl = median(curlTimes);
        std::printf("budget %-20s client %6.3f s  curl %6.3f s  ratio %5.2f  429s %d  (median of "
                    "%d)\n",
                    budget.name, listing, curl, listing / curl, refused, budget.runs);
        if (!qtTimes.isEmpty()) {
            const double qt = median(qtTimes);
            std::printf(
                "       %-20s Qt alone %6.3f s  ratio to curl %5.2f  client to Qt alone %5.2f\n",
                "", qt, qt / curl, listing / qt);
        }
    }
    std::printf("floor without a budget: %.1f s (5 GETs a second)\n", (pages - 1) / 5.0);
    return 0;
}
