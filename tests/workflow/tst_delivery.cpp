#include "WorkspaceFixture.h"
#include "workflow/Credentials.h"
#include "workflow/DeliveryTracker.h"
#include "workflow/LibrarySync.h"
#include "workflow/LocalFolder.h"
#include "workflow/UploadQueue.h"

#include <QSignalSpy>
#include <QTest>

using namespace clipferry;

namespace {

constexpr int slow = 20000; // generous ceiling for loopback work under the sanitizers

// "name@created" per asset; without "@" the asset has no creation time.
QList<MuxAsset> listing(const QStringList& entries) {
    QList<MuxAsset> assets;
    for (const QString& entry : entries) {
        auto asset = TestWorkspace::asset(QStringLiteral("a%1").arg(assets.size()),
                                          entry.section(QLatin1Char('@'), 0, 0));
        if (entry.contains(QLatin1Char('@')))
            asset.createdAt = entry.section(QLatin1Char('@'), 1);
        assets.append(asset);
    }
    return assets;
}

} // namespace

// Local clips against the service library: the state of each, and the batches that deliver.
class TestDelivery : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matching_data() {
        QTest::addColumn<QStringList>("assets"); // none: no listing yet
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("modified"); // < 0: unreadable
        QTest::addColumn<bool>("uploading");
        QTest::addColumn<QString>("shown"); // the tooltip

        const QString on = QStringLiteral("On Mux");
        const QString changed = QStringLiteral("Changed since upload");
        const QStringList one{QStringLiteral("a.mov@1000")};
        QTest::newRow("no listing") << QStringList() << "a.mov" << 1000.0 << false << "";
        QTest::newRow("in flight wins") << one << "a.mov" << 1000.0 << true << "Uploading";
        QTest::newRow("other extension") << one << "a.mp4" << 1000.0 << false << "Not on Mux";
        QTest::newRow("case differs") << one << "A.mov" << 1000.0 << false << "Not on Mux";
        QTest::newRow("a minute later") << one << "a.mov" << 1060.0 << false << on;
        QTest::newRow("past the minute") << one << "a.mov" << 1061.0 << false << changed;
        QTest::newRow("unreadable file") << one << "a.mov" << -1.0 << false << on;
        QTest::newRow("no creation time")
            << QStringList{"a.mov"} << "a.mov" << 9000.0 << false << on;
        // The newer one's creation time as a date-time: 5000 s.
        QTest::newRow("newest of two counts")
            << QStringList{"a.mov@1000", "b.mov@1", "a.mov@1970-01-01T01:23:20Z"} << "a.mov"
            << 2000.0 << false << on + "\n2 copies on Mux";
        QTest::newRow("changed after the newest")
            << QStringList{"a.mov@1000", "a.mov@5000", "a.mov"} << "a.mov" << 5100.0 << false
            << changed + "\n3 copies on Mux";
    }
    void matching() {
        QFETCH(QStringList, assets);
        QFETCH(QString, file);
        QFETCH(double, modified);
        QFETCH(bool, uploading);
        QFETCH(QString, shown);
        const DeliveryIndex index(listing(assets));
        const auto status =
            deliveryStatus(assets.isEmpty() ? nullptr : &index, file,
                           modified < 0 ? std::nullopt : std::optional(modified), uploading);
        QCOMPARE(deliveryToolTip(status), shown);
    }

    // "Upload N" over the folder: the missing and the changed clip go as one batch; a
    // replaced asset goes once its successor is Done, and before the batch ends.
    void uploadShown_data() {
        QTest::addColumn<bool>("replace");
        QTest::addColumn<bool>("newFails");
        QTest::addColumn<int>("oldCopies");
        QTest::newRow("replace") << true << false << 1;
        QTest::newRow("keep both") << false << false << 2;
        QTest::newRow("replace, upload fails") << true << true << 1;
    }
    void uploadShown() {
        QFETCH(bool, replace);
        QFETCH(bool, newFails);
        QFETCH(int, oldCopies);
        WorkspaceFixture f;
        // A folder of three clips against a library that holds "old.mov" (created long before
        // the file was written) and "same.mov" (created after it); "new.mov" is not there.
        QJsonObject old = TestWorkspace::assetJson("old-asset", "old.mov");
        old.insert("created_at", "1000");
        QVERIFY(f.service.seedAssets(
            {old, TestWorkspace::assetJson("same-asset", "same.mov", true, true)}));
        const QList<QUrl> files{f.makeFile("old.mov", 400000), f.makeFile("same.mov"),
                                f.makeFile("new.mov")};
        if (newFails) // only old.mov is large enough to be cut
            QVERIFY(f.service.addFault(
                {.method = "PUT", .path = "/_upload/*", .dropAfterBytes = 100000}));
        auto& tracker = f.workspace->delivery();
        auto& folder = f.workspace->localFolder();
        folder.setFolderURL(QUrl::fromLocalFile(f.home.path()));
        QCoro::waitFor(folder.load());
        QCOMPARE(folder.videoURLs().size(), 3);
        QVERIFY(!tracker.hasListing());
        QCOMPARE(tracker.status(files[0]).state, Delivery::unknown);
        // Showing the folder lists the library in the background.
        tracker.setFolderShown(true);
        QTRY_VERIFY_WITH_TIMEOUT(tracker.hasListing(), slow);
        QVERIFY(f.workspace->library().existingAssets().isEmpty());

        const auto candidates = tracker.uploadCandidates(files);
        QCOMPARE(candidates.missing, QList<QUrl>{files[2]});
        QCOMPARE(candidates.changed, QList<QUrl>{files[0]});
        auto& queue = f.workspace->uploadQueue();
        QSignalSpy ended(&queue, &UploadQueue::batchFinished);
        // The lines as they are written: the log's list takes them later.
        QStringList written;
        connect(&f.log, &ActivityLog::lineWritten, this,
                [&](const QByteArray& line) { written.append(QString::fromUtf8(line)); });
        qsizetype deletedAtEnd = -1;
        connect(&queue, &UploadQueue::batchFinished, this,
                [&] { deletedAtEnd = written.filter("] Deleted asset.").size(); });
        tracker.startDelivery(candidates, replace ? DeliveryTracker::ChangedClips::replace
                                                  : DeliveryTracker::ChangedClips::keepBoth);
        QCOMPARE(tracker.status(files[2]).state, Delivery::uploading);
        // Done is delivered: no listing needed before it stops being a candidate.
        QTRY_COMPARE_WITH_TIMEOUT(tracker.status(files[2]).state, Delivery::onMux, slow);
        QVERIFY(tracker.uploadCandidates(files).missing.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, slow);

        QCOMPARE(f.service.countRequests("POST", "/video/v1/uploads"), 2);
        const auto requests = f.service.requests();
        const auto deleteAt = std::find_if(requests.begin(), requests.end(), [](const auto& r) {
            return r.method == QStringLiteral("DELETE");
        });
        QCOMPARE(deletedAtEnd, replace && !newFails ? 1 : 0);
        if (deleteAt != requests.end()) {
            QCOMPARE(deleteAt->path, "/video/v1/assets/old-asset");
            // The successor played before.
            QString successor;
            for (const auto& value : f.service.assets())
                if (value[QStringLiteral("passthrough")] == QStringLiteral("old.mov"))
                    successor = "/video/v1/assets/" + value[QStringLiteral("id")].toString();
            QVERIFY(std::any_of(requests.begin(), deleteAt, [&](const auto& r) {
                return r.path == successor && r.method == "GET";
            }));
        }
        // The next listing judges the folder again.
        const auto& credentials = f.workspace->credentials();
        QVERIFY(QCoro::waitFor(
            f.workspace->library().listAll(credentials.tokenID(), credentials.tokenSecret())));
        QCOMPARE(tracker.status(files[2]).state, Delivery::onMux);
        QCOMPARE(tracker.status(files[0]).copies(), oldCopies);
    }
};

QTEST_GUILESS_MAIN(TestDelivery)
#include "tst_delivery.moc"
