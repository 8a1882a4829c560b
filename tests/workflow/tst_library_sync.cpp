#include "SeenState.h"
#include "StateFolder.h"
#include "ViewModelFixture.h"

#include <QFile>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace clipferry;

namespace {
constexpr int slow = 20000;

MuxAsset findAsset(const QList<MuxAsset>& assets, const QString& id) {
    for (const auto& asset : assets) {
        if (asset.id == id)
            return asset;
    }
    return {};
}
} // namespace

class TestLibrarySync : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Both pagings are the client's (tst_assetlisting); this is the view model's side.
    void listingFollowsEveryPage() {
        StandInFixture f;
        QVERIFY(f.service.setPaging(StandInService::Paging::cursor, 100));
        QVERIFY(f.service.seedGeneratedAssets(250, QStringLiteral("1714564800")));
        QSignalSpy refreshing(f.viewModel.get(), &UploadViewModel::isRefreshingChanged);

        QCoro::waitFor(f.viewModel->refreshLibrary());
        QCOMPARE(f.viewModel->existingAssets().size(), 250);
        QCOMPARE(f.viewModel->existingAssets().first().id, QStringLiteral("seeded0001"));
        QCOMPARE(f.viewModel->existingAssets().last().id, QStringLiteral("seeded0250"));
        QCOMPARE(f.service.countRequests(QStringLiteral("GET"), QStringLiteral("/video/v1/assets")),
                 3);
        QCOMPARE(refreshing.count(), 2);
        QVERIFY(!f.viewModel->isRefreshing());
        f.settle();
        QCOMPARE(f.messages().constLast(), QStringLiteral("Loaded 250 total assets from MUX."));
        // The listing carries the view model's own tokens.
        const auto request = f.service.requests().constFirst();
        QCOMPARE(request.headers.value(QStringLiteral("authorization")),
                 QStringLiteral("Basic ") +
                     QString::fromLatin1(
                         (f.service.tokenID() + QLatin1Char(':') + f.service.tokenSecret())
                             .toUtf8()
                             .toBase64()));
    }

    void newAssetsAreFlaggedAfterTheListedLine() {
        StandInFixture f;
        // Newer than the state made at start-up, so both count as new.
        QVERIFY(f.service.seedGeneratedAssets(2, QStringLiteral("4102444800")));
        QCoro::waitFor(f.viewModel->refreshLibrary());
        QTRY_COMPARE(f.viewModel->changedMuxAssets().size(), 2);
        const auto log = f.messages();
        QVERIFY(log.indexOf(QStringLiteral("Loaded 2 total assets from MUX.")) <
                log.indexOf(QStringLiteral("Found 2 new/updated MUX assets.")));
        const auto saved = decodeMuxState(
            readWholeFile(f.home.stateFolder() + QStringLiteral("/MuxState.json")).value());
        QVERIFY(saved.has_value());
        QVERIFY(saved->lastLaunchedAt >= f.viewModel->savedMuxState()->lastLaunchedAt - 0.001);
    }

    void failingSecondPageLeavesNothing() {
        StandInFixture f;
        QVERIFY(f.service.seedGeneratedAssets(150));
        StandInService::Fault broken;
        broken.method = QStringLiteral("GET");
        broken.path = QStringLiteral("/video/v1/assets");
        broken.skip = 1;
        broken.malformedJson = true;
        QVERIFY(f.service.addFault(broken));

        QCoro::waitFor(f.viewModel->refreshLibrary());
        QVERIFY(f.viewModel->existingAssets().isEmpty());
        QVERIFY(!f.viewModel->lastCompleteListing());
        QVERIFY(!f.viewModel->isRefreshing());
        f.settle();
        QVERIFY(
            f.messages().constLast().startsWith(QStringLiteral("Failed to fetch MUX assets: ")));
        QVERIFY(!QFile::exists(f.home.stateFolder() + QStringLiteral("/MuxState.json")));
    }

    void refusedListingIsAFailure() {
        StandInFixture f;
        f.viewModel->setTokenSecret(QStringLiteral("wrong"));
        QCoro::waitFor(f.viewModel->refreshLibrary());
        f.settle();
        QVERIFY(
            f.messages().constLast().startsWith(QStringLiteral("Failed to fetch MUX assets: ")));
        // The button's export has no complete listing to send, so nothing is posted.
        QCoro::waitFor(f.viewModel->updateGoogleSheets());
        f.settle();
        QCOMPARE(f.messages().constLast(),
                 QStringLiteral(
                     "Failed to update Google Sheets: the service library could not be listed"));
        QVERIFY(f.service.sheetPosts().isEmpty());
    }

    // The start-up listing runs before a first user has entered any tokens.
    void enteringTokensListsWhatWasNeverListed() {
        StandInFixture f;
        QVERIFY(f.service.seedGeneratedAssets(3));
        f.viewModel->setTokenID(QString());
        QCoro::waitFor(f.viewModel->refreshLibrary());
        QVERIFY(!f.viewModel->lastCompleteListing());

        f.viewModel->setTokenID(f.service.tokenID());
        f.viewModel->refreshIfNeverListed();
        QTRY_COMPARE_WITH_TIMEOUT(f.viewModel->existingAssets().size(), 3, 20000);
        QTRY_VERIFY(!f.viewModel->isRefreshing());
        const int listings =
            f.service.countRequests(QStringLiteral("GET"), QStringLiteral("/video/v1/assets"));
        f.viewModel->refreshIfNeverListed();
        QTest::qWait(20);
        QCOMPARE(f.service.countRequests(QStringLiteral("GET"), QStringLiteral("/video/v1/assets")),
                 listings);
    }

    void deleteWithoutSelection() {
        StandInFixture f;
        QCoro::waitFor(f.viewModel->deleteSelectedAsset());
        f.settle();
        QCOMPARE(f.messages().constLast(), QStringLiteral("No asset selected to delete."));
        QVERIFY(f.service.requests().isEmpty());
    }

    void refusedDeleteKeepsEverything() {
        StandInFixture f;
        QVERIFY(f.service.seedGeneratedAssets(2));
        QCoro::waitFor(f.viewModel->refreshLibrary());
        f.viewModel->setSelectedAsset(f.viewModel->existingAssets().first());
        StandInService::Fault refused;
        refused.method = QStringLiteral("DELETE");
        refused.path = QStringLiteral("/video/v1/assets/*");
        refused.status = 404;
        QVERIFY(f.service.addFault(refused));
        QVERIFY(f.service.clearRequests());

        QCoro::waitFor(f.viewModel->deleteSelectedAsset());
        f.settle();
        const auto log = f.messages();
        QCOMPARE(log.at(log.size() - 2), QStringLiteral("Deleting asset: seeded0001.mov"));
        QCOMPARE(log.constLast(), QStringLiteral("Delete failed: HTTP 404: "));
        QVERIFY(f.viewModel->selectedAsset().has_value());
        QCOMPARE(f.viewModel->existingAssets().size(), 2);
        QCOMPARE(f.service.countRequests(QStringLiteral("GET"), QStringLiteral("/video/v1/assets")),
                 0);
        QVERIFY(f.service.sheetPosts().isEmpty());
    }

    void deleteRefreshesClearsAndPostsTheSheet() {
        StandInFixture f;
        QVERIFY(f.service.seedGeneratedAssets(3));
        QCoro::waitFor(f.viewModel->refreshLibrary());
        f.viewModel->setSelectedAsset(
            findAsset(f.viewModel->existingAssets(), QStringLiteral("seeded0002")));

        QCoro::waitFor(f.viewModel->deleteSelectedAsset());
        f.settle();
        const auto log = f.messages();
        const auto at = log.indexOf(QStringLiteral("Deleting asset: seeded0002.mov"));
        QVERIFY(at >= 0);
        QCOMPARE(log.mid(at, 5), (QStringList{QStringLiteral("Deleting asset: seeded0002.mov"),
                                              QStringLiteral("Deleted asset."),
                                              QStringLiteral("Loaded 2 total assets from MUX."),
                                              QStringLiteral("Updating Google Sheet\u2026"),
                                              QStringLiteral("Google Sheet updated.")}));
        QVERIFY(!f.viewModel->selectedAsset());
        QCOMPARE(f.viewModel->existingAssets().size(), 2);
        const auto posts = f.service.sheetPosts();
        QCOMPARE(posts.size(), 1);
        QVERIFY(posts[0].body.startsWith("index,filename,playback_url\n1,seeded0001.mov,"));
        QVERIFY(!posts[0].body.contains("seeded0002"));
    }

    // With a local folder on view the export still sends the whole service library.
    void localProviderExportListsTheServiceWithoutShowingIt() {
        StandInFixture f;
        QVERIFY(f.service.seedGeneratedAssets(2));
        f.viewModel->setLocalFolderURL(QUrl::fromLocalFile(f.home.path()));
        f.viewModel->setProvider(VideoProvider::localFolder);
        f.viewModel->startUploadBatch({f.makeFile(QStringLiteral("new.mov"))});
        QTRY_VERIFY_WITH_TIMEOUT(f.messages().contains(QStringLiteral("Google Sheet updated.")),
                                 slow);
        QVERIFY(f.viewModel->existingAssets().isEmpty());
        const auto posts = f.service.sheetPosts();
        QCOMPARE(posts.size(), 1);
        QCOMPARE(posts[0].body.count('\n'), 4);
        QVERIFY(posts[0].body.contains(",new.mov,"));
    }

    void sheetPostOutcomes() {
        StandInFixture f;
        const QString csv = QStringLiteral("index,filename,playback_url\n1,é.mov,\n");
        // Success goes through the web app's redirect, fetched with GET.
        auto posted = QCoro::waitFor(f.viewModel->postSheetCSV(csv));
        QVERIFY2(posted.has_value(), qPrintable(posted ? QString() : posted.error().message));
        const auto posts = f.service.sheetPosts();
        QCOMPARE(posts.size(), 1);
        QCOMPARE(posts[0].body, csv.toUtf8());
        QCOMPARE(posts[0].contentType, QStringLiteral("text/plain"));
        QCOMPARE(f.service.countRequests(QStringLiteral("GET"), QStringLiteral("/macros/echo")), 1);

        StandInService::Fault missing;
        missing.path = QStringLiteral("/macros/s/stand-in/exec");
        missing.status = 404;
        QVERIFY(f.service.addFault(missing));
        auto refused = QCoro::waitFor(f.viewModel->postSheetCSV(csv));
        QVERIFY(!refused);
        QCOMPARE(refused.error().domain, QStringLiteral("GoogleSheet"));
        QCOMPARE(refused.error().code, 1);
        QCOMPARE(
            refused.error().message,
            QStringLiteral("The operation couldn\u2019t be completed. (GoogleSheet error 1.)"));
    }

    void sheetPostTransportFailures() {
        // A port that was free a moment ago refuses the connection.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const auto port = probe.serverPort();
        probe.close();
        StandInFixture closed([port](UploadViewModel::Options& options) {
            options.sheetWebAppUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/exec").arg(port));
        });
        auto refused = QCoro::waitFor(closed.viewModel->postSheetCSV(QStringLiteral("x\n")));
        QVERIFY(!refused);
        QVERIFY(!refused.error().message.isEmpty());
        QVERIFY(refused.error().domain != QStringLiteral("GoogleSheet"));

        StandInFixture unset(
            [](UploadViewModel::Options& options) { options.sheetWebAppUrl = QUrl(); });
        auto missing = QCoro::waitFor(unset.viewModel->postSheetCSV(QStringLiteral("x\n")));
        QVERIFY(!missing);
        QVERIFY(missing.error().message.contains(QStringLiteral("CLIPFERRY_SHEET_WEBAPP_URL")));
    }
};

QTEST_GUILESS_MAIN(TestLibrarySync)
#include "tst_library_sync.moc"
