#include "TestFiles.h"
#include "ViewModelFixture.h"
#include "model/SeenState.h"
#include "model/StateFolder.h"
#include "workflow/UploadQueue.h"

#include <QTest>

using namespace clipferry;

namespace {
constexpr int slow = 20000; // generous ceiling for loopback work under the sanitizers
} // namespace

// The flows the view model itself carries out over the workspace's peers: the end of a
// batch, the refresh, the delete, marking seen, and what a start takes over from the last.
class TestWorkspaceFlows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The batch's last item lists the library once and posts that listing to the sheet;
    // with the local folder on view the folder is read again, the export lists the service
    // for itself (the folder's delivery states listed it once already), and the service rows
    // stay unshown.
    void batchEndListsAndExports_data() {
        QTest::addColumn<bool>("folderShown");
        QTest::addColumn<QString>("listedLine");
        QTest::addColumn<int>("listings");
        QTest::newRow("service shown") << false << "Loaded 3 total assets from MUX." << 1;
        QTest::newRow("local folder shown") << true << "Loaded 1 videos from local folder." << 2;
    }
    void batchEndListsAndExports() {
        QFETCH(bool, folderShown);
        QFETCH(QString, listedLine);
        QFETCH(int, listings);
        StandInFixture f;
        QVERIFY(f.service.seedGeneratedAssets(2));
        if (folderShown) {
            f.viewModel->setLocalFolderURL(QUrl::fromLocalFile(f.home.path()));
            f.viewModel->setProvider(VideoProvider::localFolder);
        }
        f.viewModel->startUploadBatch({f.makeFile("new.mov")});
        QTRY_VERIFY_WITH_TIMEOUT(f.messages().contains("Google Sheet updated."), slow);
        const auto log = f.messages();
        QVERIFY(log.indexOf(listedLine) >
                log.indexOf("Upload batch completed. Updating Google Sheet\u2026"));
        QCOMPARE(f.viewModel->existingAssets().size(), folderShown ? 0 : 3);
        QCOMPARE(f.service.countRequests("GET", "/video/v1/assets"), listings);
        const auto posts = f.service.sheetPosts();
        QCOMPARE(posts.size(), 1);
        QCOMPARE(posts[0].contentType, "text/plain");
        QCOMPARE(posts[0].body.count('\n'), 4);
        QVERIFY(posts[0].body.contains(",new.mov,https://stream.example/"));
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
        QTRY_COMPARE_WITH_TIMEOUT(f.viewModel->existingAssets().size(), 3, slow);
        QTRY_VERIFY(!f.viewModel->isRefreshing());
        const int listings = f.service.countRequests("GET", "/video/v1/assets");
        f.viewModel->refreshIfNeverListed();
        QVERIFY(!f.viewModel->isRefreshing());
        QCOMPARE(f.service.countRequests("GET", "/video/v1/assets"), listings);
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

    // A sheet key saved from the settings goes to the secret store and rides on each post.
    void savedSheetKeyRidesOnThePost() {
        StandInFixture f;
        QCoro::waitFor(f.viewModel->saveSheetKey(QStringLiteral("k y&z")));
        QVERIFY(QCoro::waitFor(f.viewModel->postSheetCSV(QStringLiteral("x\n"))));
        QCOMPARE(f.service.requests().constFirst().target, "/macros/s/stand-in/exec?key=k%20y%26z");
    }

    // An uploaded asset is flagged new, with a line; "mark all seen" clears the flags of the
    // service and the folder and records both as seen.
    void markingNewAndAllSeen() {
        TempHome home;
        const QString folder = home.path() + QStringLiteral("/clips");
        for (const auto* name : {"a.mov", "b.MP4"})
            QVERIFY(writeFile(folder + QLatin1Char('/') + QLatin1StringView(name), name));
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;
        viewModel->setLocalFolderURL(QUrl::fromLocalFile(folder));
        QCoro::waitFor(viewModel->loadLocalVideos());
        QTRY_COMPARE(viewModel->changedLocalVideos().size(), 2); // first sight: all new
        viewModel->setFixtureLibrary({fixture.asset("a", {}), fixture.asset("b", {})}, {});
        viewModel->markUploadedAssetNew("a");
        viewModel->markUploadedAssetNew("b");
        QCOMPARE(viewModel->changedMuxAssets(), (QSet<QString>{"a", "b"}));
        QTRY_VERIFY(fixture.messages().contains("Marked uploaded asset as new: b"));
        const double before = currentTimeSeconds();

        viewModel->markAllSeen();
        QTRY_VERIFY(viewModel->changedMuxAssets().isEmpty());
        QTRY_VERIFY(viewModel->changedLocalVideos().isEmpty());
        QTRY_COMPARE(viewModel->log().constLast().message, "Marked all videos as seen");

        const auto saved =
            readWholeFile(home.stateFolder() + QStringLiteral("/LocalVideoState.json"))
                .and_then(decodeLocalVideoState);
        QVERIFY(saved);
        QCOMPARE(saved->fileTimes.size(), 2);
        // Recorded as they are: a new scan finds nothing new.
        QCoro::waitFor(viewModel->loadLocalVideos());
        QVERIFY(viewModel->changedLocalVideos().isEmpty());
        const auto seen = readWholeFile(stateFileURL(QString::fromLatin1(muxStateFileName)))
                              .and_then(decodeMuxState);
        QVERIFY(seen);
        QCOMPARE(seen->seenAssetTimes.size(), 2);
        QVERIFY(seen->seenAssetTimes.value(QStringLiteral("a")) >= before);
        QVERIFY(seen->seenAssetTimes.value(QStringLiteral("b")) >= before);
    }

    // The transfer settings, the source and the folder come back at the next start; the
    // uploads it finds unfinished come back once, when there are tokens to send them with.
    void restartKeepsSettingsAndResumesOnceSignedIn() {
        StandInFixture f([](auto& options) { options.maxConcurrentUploads = 1; });
        QVERIFY(f.service.addFault({.method = "PUT",
                                    .path = "/_upload/*",
                                    .times = 1,
                                    .hang = true,
                                    .dropAfterBytes = 600000}));
        f.viewModel->startUploadBatch({f.makeFile("p.mov", 2 * 1024 * 1024), f.makeFile("q.mov")});
        QTRY_VERIFY_WITH_TIMEOUT(!f.service.uploads().isEmpty() &&
                                     f.service.uploads()[0][u"bytes_held"].toInteger() > 0,
                                 slow);
        auto& queue = f.workspace->uploadQueue();
        queue.pauseAll();
        QVERIFY(f.service.releaseHangingReplies());
        QTRY_VERIFY_WITH_TIMEOUT(queue.canResume(0) && queue.canResume(1), slow);
        f.viewModel->setUploadsAtOnce(2);
        f.viewModel->setUploadLimitMBps(2.5);
        f.viewModel->setLocalFolderURL(QUrl::fromLocalFile(f.home.path()));
        f.viewModel->setProvider(VideoProvider::localFolder);
        f.viewModel.reset();
        f.workspace.reset();

        ViewModelFixture restarted(
            {}, [&f](auto& options) { options = TestWorkspace::options(&f.service); });
        QCOMPARE(restarted.viewModel->uploadsAtOnce(), 2);
        QCOMPARE(restarted.viewModel->uploadLimitMBps(), 2.5);
        QCOMPARE(restarted.viewModel->provider(), VideoProvider::localFolder);
        QCOMPARE(restarted.viewModel->localFolderURL(),
                 std::optional(QUrl::fromLocalFile(f.home.path())));
        QVERIFY(restarted.viewModel->uploads().isEmpty());
        restarted.signIn(f.service);
        QCOMPARE(restarted.viewModel->uploads().size(), 2);
        restarted.viewModel->setTokenID(QString());
        restarted.signIn(f.service);
        QCOMPARE(restarted.viewModel->uploads().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestWorkspaceFlows)
#include "tst_workspace_flows.moc"
