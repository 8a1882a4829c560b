#include "app/TestSeams.h"

namespace clipferry {

void applyTestSeams([[maybe_unused]] Workspace::Options& options,
                    [[maybe_unused]] QString& storeService, [[maybe_unused]] QUrl* imageBase) {
#ifdef CLIPFERRY_TEST_SEAMS
    const auto api = qEnvironmentVariable("CLIPFERRY_TEST_API_BASE");
    if (!api.isEmpty()) {
        options.apiBase = QUrl(api);
        options.client.apiBase = options.apiBase;
        options.sheetWebAppUrl = QUrl(qEnvironmentVariable("CLIPFERRY_TEST_SHEET_URL"));
        options.client.assetIdPollInterval = std::chrono::milliseconds(5);
        options.client.readyPollInterval = std::chrono::milliseconds(5);
        options.client.postRequestsPerSecond = 0;
        options.client.otherRequestsPerSecond = 0;
        options.client.retryBaseDelay = std::chrono::milliseconds(1);
        if (imageBase)
            *imageBase = options.apiBase;
    }
    const auto store = qEnvironmentVariable("CLIPFERRY_TEST_KEYRING");
    if (!store.isEmpty())
        storeService = store;
#endif
}

void applyWatchTestSeams([[maybe_unused]] WatchDelivery::Options& options) {
#ifdef CLIPFERRY_TEST_SEAMS
    const auto waits = qEnvironmentVariable("CLIPFERRY_TEST_WATCH_MS").split(QLatin1Char(','));
    if (waits.size() != 4)
        return;
    options.watch.settle = std::chrono::milliseconds(waits[0].toInt());
    options.watch.pollInterval = std::chrono::milliseconds(waits[1].toInt());
    options.renewInterval = std::chrono::milliseconds(waits[2].toInt());
    options.staleAfter = std::chrono::milliseconds(waits[3].toInt());
#endif
}

} // namespace clipferry
