#include "ViewModelFixture.h"
#include "model/SeenState.h"
#include "model/StateFolder.h"
#include "workflow/Credentials.h"
#include "workflow/LibrarySync.h"
#include "workflow/ListingCache.h"
#include "workflow/SheetExporter.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace clipferry;

namespace {
constexpr int slow = 20000;
const auto exec = QStringLiteral("/macros/s/stand-in/exec");
} // namespace

class TestLibrarySync : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The pagings and failures are the client's (tst_muxclient); this is the view
    // model's side: a listing lands whole or not at all.
    void listingOutcomes_data() {
        QTest::addColumn<StandInService::Fault>("fault");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("lastLine"); // its start
        QTest::addColumn<QString>("notice");   // what the library says of its rows
        QTest::newRow("every page")
            << StandInService::Fault{} << 250 << "Loaded 250 total assets from MUX." << QString();
        QTest::newRow("later page malformed")
            << StandInService::Fault{.path = "/video/v1/assets", .skip = 1, .malformedJson = true}
            << 0 << "Failed to fetch MUX assets: "
            << "The library could not be listed.";
        QTest::newRow("network down")
            << StandInService::Fault{.path = "/video/v1/assets", .dropBeforeReply = true} << 0
            << "Failed to fetch MUX assets: "
            << "Mux cannot be reached.";
    }

    void listingOutcomes() {
        QFETCH(StandInService::Fault, fault);
        QFETCH(int, listed);
        QFETCH(QString, lastLine);
        QFETCH(QString, notice);
        StandInFixture f;
        QVERIFY(f.service.seedGeneratedAssets(250, "1714564800"));
        if (!fault.path.isEmpty())
            QVERIFY(f.service.addFault(fault));
        QSignalSpy refreshing(f.viewModel.get(), &UploadViewModel::isRefreshingChanged);

        QCoro::waitFor(f.viewModel->refreshLibrary());
        f.settle();
        QCOMPARE(f.viewModel->existingAssets().size(), listed);
        QCOMPARE(bool(f.viewModel->lastCompleteListing()), listed > 0);
        if (listed > 0)
            QCOMPARE(f.viewModel->existingAssets().last().id, "seeded0250");
        QCOMPARE(refreshing.count(), 2);
        QVERIFY(!f.viewModel->isRefreshing());
        QVERIFY2(f.messages().constLast().startsWith(lastLine),
                 qPrintable(f.messages().constLast()));
        QCOMPARE(f.viewModel->listingNotice(), notice);
        if (listed == 0)
            QVERIFY(!QFile::exists(f.home.stateFolder() + QStringLiteral("/MuxState.json")));

        // The button's export lists for itself, not what is on view, and posts only a whole
        // listing.
        QVERIFY(f.service.seedGeneratedAssets(1, {}, {}, QStringLiteral("colleague")));
        QCoro::waitFor(f.viewModel->updateGoogleSheets());
        f.settle();
        QCOMPARE(f.service.sheetPosts().size(), listed > 0 ? 1 : 0);
        QCOMPARE(f.service.sheetPosts().value(0).body.contains("\n251,colleague0001.mov,"),
                 listed > 0);
        QVERIFY(f.messages().constLast().startsWith(
            listed > 0 ? QStringLiteral("Google Sheets updated successfully")
                       : QStringLiteral("Failed to update Google Sheets: the service library "
                                        "could not be listed: ")));
    }

    // The start-up listing runs before a first user has entered any tokens.
    void enteringTokensListsWhatWasNeverListed() {
        StandInFixture f;
        QVERIFY(f.service.seedGeneratedAssets(3));
        f.viewModel->setTokenID(QString());
        QCoro::waitFor(f.viewModel->refreshLibrary());
        QVERIFY(!f.viewModel->lastCompleteListing());
        // Without keys nothing is asked: the service's refusal is never logged.
        f.settle();
        QCOMPARE(f.service.countRequests("GET", "/video/v1/assets"), 0);
        QVERIFY(f.messages().filter("HTTP 401").isEmpty());

        f.viewModel->setTokenID(f.service.tokenID());
        f.viewModel->refreshIfNeverListed();
        QTRY_COMPARE_WITH_TIMEOUT(f.viewModel->existingAssets().size(), 3, 20000);
        QTRY_VERIFY(!f.viewModel->isRefreshing());
        const int listings = f.service.countRequests("GET", "/video/v1/assets");
        f.viewModel->refreshIfNeverListed();
        QVERIFY(!f.viewModel->isRefreshing());
        QCOMPARE(f.service.countRequests("GET", "/video/v1/assets"), listings);
    }

    // A new asset is flagged after the listed line. The next start shows the kept listing at
    // once, whole, and for showing only.
    void keptListingShowsAtStartUntilRefreshed() {
        StandInFixture f;
        // Newer than the state made at start-up, so it counts as new; the others are older.
        QJsonObject rich = ViewModelFixture::assetJson("rich", "r.mov", true, true);
        rich.insert("tracks",
                    QJsonArray{QJsonObject{
                        {"type", "video"}, {"max_width", 1920}, {"max_frame_rate", 29.97}}});
        rich.insert(QStringLiteral("max_stored_frame_rate"), 25);
        QVERIFY(f.service.seedAssets({rich}));
        QVERIFY(f.service.seedGeneratedAssets(2, "2024-05-01T12:00:00Z"));
        QCoro::waitFor(f.viewModel->refreshLibrary());
        QTRY_COMPARE(f.viewModel->changedMuxAssets(), QSet<QString>{"rich"});
        // The log lines are posted; the last one may land after the change set.
        f.settle();
        const auto log = f.messages();
        QVERIFY(log.indexOf("Loaded 3 total assets from MUX.") <
                log.indexOf("Found 1 new/updated MUX assets."));
        const auto saved = readWholeFile(f.home.stateFolder() + QStringLiteral("/MuxState.json"))
                               .and_then(decodeMuxState);
        QVERIFY(saved);
        QVERIFY(saved->lastLaunchedAt >= f.viewModel->savedMuxState()->lastLaunchedAt - 0.001);

        ViewModelFixture next(f.service);
        // Read off the event loop's thread when asked, then shown in one step.
        next.viewModel->library().loadKeptListing();
        QTRY_VERIFY(next.viewModel->showsCachedListing());
        QVERIFY(next.viewModel->existingAssets().isEmpty());
        QCOMPARE(encodeListing(next.viewModel->shownAssets()),
                 encodeListing(f.viewModel->existingAssets()));
        next.viewModel->markAllSeen();
        QVERIFY(next.viewModel->savedMuxState()->seenAssetTimes.isEmpty());

        QSignalSpy replaced(next.viewModel.get(), &UploadViewModel::showsCachedListingChanged);
        QCoro::waitFor(next.viewModel->refreshLibrary());
        QVERIFY(!next.viewModel->showsCachedListing());
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(next.viewModel->shownAssets().size(), 3);

        // The network goes: the rows stay, as kept ones, with when they were listed.
        QVERIFY(f.service.addFault({.path = "/video/v1/assets", .dropBeforeReply = true}));
        QCoro::waitFor(next.viewModel->refreshLibrary());
        QVERIFY(next.viewModel->showsCachedListing());
        QCOMPARE(next.viewModel->shownAssets().size(), 3);
        QVERIFY2(next.viewModel->listingNotice().startsWith(
                     "Mux cannot be reached. Showing the library as listed at "),
                 qPrintable(next.viewModel->listingNotice()));
    }

    // Nothing selected sends nothing; a refused delete keeps the selection and the listing
    // and neither lists nor exports; a delete that goes through lists anew, once, clears the
    // selection and posts that listing to the sheet.
    void deleteSelectedAsset() {
        StandInFixture f;
        QVERIFY(f.service.seedGeneratedAssets(3));
        QCoro::waitFor(f.viewModel->refreshLibrary());
        QVERIFY(f.service.clearRequests());
        QCoro::waitFor(f.viewModel->deleteSelectedAsset());
        f.settle();
        QCOMPARE(f.messages().constLast(), "No asset selected to delete.");
        QVERIFY(f.service.requests().isEmpty());

        f.viewModel->setSelectedAsset(f.viewModel->existingAssets().at(1));
        QVERIFY(f.service.addFault(
            {.method = "DELETE", .path = "/video/v1/assets/*", .times = 1, .status = 404}));
        QCoro::waitFor(f.viewModel->deleteSelectedAsset());
        f.settle();
        QCOMPARE(f.messages().mid(f.messages().size() - 2),
                 (QStringList{"Deleting asset: seeded0002.mov", "Delete failed: HTTP 404: "}));
        QVERIFY(f.viewModel->selectedAsset().has_value());
        QCOMPARE(f.viewModel->existingAssets().size(), 3);
        QCOMPARE(f.service.countRequests("GET", "/video/v1/assets"), 0);
        QVERIFY(f.service.sheetPosts().isEmpty());

        QCoro::waitFor(f.viewModel->deleteSelectedAsset());
        f.settle();
        QCOMPARE(f.service.countRequests("GET", "/video/v1/assets"), 1);
        const auto log = f.messages();
        QCOMPARE(log.mid(log.lastIndexOf(QStringLiteral("Deleting asset: seeded0002.mov")), 5),
                 (QStringList{"Deleting asset: seeded0002.mov", "Deleted asset.",
                              "Loaded 2 total assets from MUX.", "Updating Google Sheet\u2026",
                              "Google Sheet updated."}));
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
        f.viewModel->startUploadBatch({f.makeFile("new.mov")});
        QTRY_VERIFY_WITH_TIMEOUT(f.messages().contains("Google Sheet updated."), slow);
        QVERIFY(f.viewModel->existingAssets().isEmpty());
        const auto posts = f.service.sheetPosts();
        QCOMPARE(posts.size(), 1);
        QCOMPARE(posts[0].body.count('\n'), 4);
        QVERIFY(posts[0].body.contains(",new.mov,"));
    }

    void sheetPostOutcomes_data() {
        QTest::addColumn<StandInService::Fault>("fault");
        QTest::addColumn<int>("posts");
        QTest::addColumn<QString>("error"); // empty: the export succeeds
        QTest::addColumn<QString>("key");   // the stored sheet key; empty: none

        const QString echo = QStringLiteral("/macros/echo");
        const QByteArray signIn =
            "<!DOCTYPE html><html><head><title>Sign in</title>" + QByteArray(300, 'x') + "</html>";
        QTest::newRow("confirmed") << StandInService::Fault{} << 1 << QString() << QString();
        QTest::newRow("with a key") << StandInService::Fault{} << 1 << QString() << "k y&z";
        QTest::newRow("refused") << StandInService::Fault{.path = exec, .status = 404} << 1
                                 << "The operation couldn\u2019t be completed. (GoogleSheet error "
                                    "1.)"
                                 << QString();
        QTest::newRow("script failed")
            << StandInService::Fault{.path = echo,
                                     .status = 200,
                                     .body = "ERROR sheet busy, try again"}
            << 1 << "the web app answered: ERROR sheet busy, try again" << QString();
        QTest::newRow("sign-in page")
            << StandInService::Fault{.path = echo, .status = 200, .body = signIn} << 1
            << QStringLiteral("the web app answered: ") + QString::fromLatin1(signIn.left(200))
            << QString();
        QTest::newRow("busy, then confirmed")
            << StandInService::Fault{.path = exec, .times = 1, .status = 503} << 2 << QString()
            << QString();
        QTest::newRow("dropped, then confirmed")
            << StandInService::Fault{.path = exec, .times = 1, .dropBeforeReply = true} << 2
            << QString() << QString();
    }

    void sheetPostOutcomes() {
        QFETCH(StandInService::Fault, fault);
        QFETCH(int, posts);
        QFETCH(QString, error);
        QFETCH(QString, key);
        StandInFixture f;
        if (!fault.path.isEmpty())
            QVERIFY(f.service.addFault(fault));
        // The shared key rides in the address, encoded, only when one is stored.
        if (!key.isEmpty())
            QVERIFY(QCoro::waitFor(f.workspace->credentials().saveSheetKey(key)));
        const QString csv = QStringLiteral("index,filename,playback_url\n1,é.mov,\n");
        auto posted = QCoro::waitFor(f.viewModel->postSheetCSV(csv));
        QCOMPARE(posted ? QString() : posted.error().message, error);
        QCOMPARE(f.service.countRequests("POST", exec), posts);
        QCOMPARE(f.service.requests().constFirst().target,
                 key.isEmpty() ? exec : exec + "?key=k%20y%26z");
        if (error.isEmpty()) {
            const auto sent = f.service.sheetPosts().constLast();
            QCOMPARE(sent.body, csv.toUtf8());
            QCOMPARE(sent.contentType, "text/plain");
        }
    }

    void sheetPostTransportFailures() {
        TempHome home;
        // Without a stand-in the web app's address is a closed port, which refuses.
        ViewModelFixture closed;
        auto refused = QCoro::waitFor(closed.viewModel->postSheetCSV("x\n"));
        QVERIFY(!refused);
        QVERIFY(!refused.error().message.isEmpty());
        QVERIFY(refused.error().domain != QStringLiteral("GoogleSheet"));

        ViewModelFixture unset({}, [](auto& options) { options.sheetWebAppUrl = QUrl(); });
        auto missing = QCoro::waitFor(unset.viewModel->postSheetCSV("x\n"));
        QVERIFY(!missing);
        QVERIFY(
            missing.error().message.contains(QStringLiteral("No Google Sheet web app address")));
    }
};

QTEST_GUILESS_MAIN(TestLibrarySync)
#include "tst_library_sync.moc"
