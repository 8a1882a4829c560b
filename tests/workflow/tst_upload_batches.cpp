#include "ViewModelFixture.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace clipferry;

namespace {

constexpr int slow = 20000; // generous ceiling for loopback work under the sanitizers
const auto completion = QStringLiteral("Upload batch completed. Updating Google Sheet\u2026");

// The lines of one item, in the order they were logged.
QStringList linesOf(const QStringList& messages, const QString& title, const QString& assetID) {
    QStringList result;
    for (const auto& message : messages) {
        if (message.endsWith(QStringLiteral(" \u2013 ") + title) ||
            (!assetID.isEmpty() &&
             message == QStringLiteral("Marked uploaded asset as new: ") + assetID))
            result.append(message);
    }
    return result;
}

QString assetIDTitled(const QJsonArray& assets, const QString& title) {
    for (const auto& value : assets) {
        const auto asset = value.toObject();
        if (asset.value(QStringLiteral("meta"))
                .toObject()
                .value(QStringLiteral("title"))
                .toString() == title)
            return asset.value(QStringLiteral("id")).toString();
    }
    return {};
}

} // namespace

class TestUploadBatches : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void batchOfThreeWithTheSecondFailingAtUpload() {
        StandInFixture f;
        QVERIFY2(f.service.isRunning(), qPrintable(f.service.errorString()));
        // Only the large middle file gets past this many bytes, so only its PUT is cut.
        StandInService::Fault drop;
        drop.method = QStringLiteral("PUT");
        drop.path = QStringLiteral("/_upload/*");
        drop.dropAfterBytes = 100000;
        QVERIFY(f.service.addFault(drop));
        const QList<QUrl> files{f.makeFile(QStringLiteral("clip01.mov")),
                                f.makeFile(QStringLiteral("clip.02.mp4"), 400000),
                                f.makeFile(QStringLiteral("clip03.mkv"))};

        f.viewModel->startUploadBatch(files);
        QCOMPARE(f.viewModel->uploads().size(), 3);
        QCOMPARE(f.viewModel->uploads()[1].title, QStringLiteral("clip.02"));
        QCOMPARE(f.viewModel->uploads()[0].status, UploadStatus::pending);
        QTRY_VERIFY_WITH_TIMEOUT(f.messages().contains(QStringLiteral("Google Sheet updated.")),
                                 slow);

        const auto& items = f.viewModel->uploads();
        QCOMPARE(items[0].status, UploadStatus::done);
        QCOMPARE(items[1].status, UploadStatus::failed);
        QCOMPARE(items[2].status, UploadStatus::done);
        QCOMPARE(items[1].progress, 1.0);
        QCOMPARE(items[1].error, std::optional(QStringLiteral("Upload failed")));
        QVERIFY(!items[1].playbackURL);

        const auto assets = f.service.assets();
        const QString first = assetIDTitled(assets, QStringLiteral("clip01"));
        const QString third = assetIDTitled(assets, QStringLiteral("clip03"));
        QVERIFY(!first.isEmpty() && !third.isEmpty());
        QVERIFY(items[0].playbackURL->startsWith(QStringLiteral("https://stream.example/")));
        QVERIFY(items[0].playbackURL->endsWith(QStringLiteral(".m3u8")));

        const auto all = f.messages();
        const auto log =
            all.mid(all.indexOf(QStringLiteral("Started upload batch with 3 videos.")));
        QVERIFY(!log.isEmpty());
        QVERIFY(all.indexOf(QStringLiteral("Creating Upload \u2013 clip01")) >
                all.size() - log.size());
        QCOMPARE(linesOf(log, QStringLiteral("clip01"), first),
                 (QStringList{QStringLiteral("Creating Upload \u2013 clip01"),
                              QStringLiteral("Uploading \u2013 clip01"),
                              QStringLiteral("Waiting for Asset \u2013 clip01"),
                              QStringLiteral("Processing \u2013 clip01"),
                              QStringLiteral("Marked uploaded asset as new: ") + first,
                              QStringLiteral("Done \u2013 clip01")}));
        QCOMPARE(linesOf(log, QStringLiteral("clip.02"), {}),
                 (QStringList{QStringLiteral("Creating Upload \u2013 clip.02"),
                              QStringLiteral("Uploading \u2013 clip.02")}));
        QCOMPARE(f.countMessages(QStringLiteral("ERROR: Upload failed")), 1);
        QCOMPARE(f.countMessages(completion), 1);
        const auto completedAt = log.indexOf(completion);
        QVERIFY(completedAt > log.indexOf(QStringLiteral("Done \u2013 clip03")));
        QVERIFY(completedAt > log.indexOf(QStringLiteral("ERROR: Upload failed")));
        QVERIFY(log.indexOf(QStringLiteral("Loaded 2 total assets from MUX.")) > completedAt);

        QVERIFY(f.viewModel->changedMuxAssets().contains(first));
        QVERIFY(f.viewModel->changedMuxAssets().contains(third));
        const auto posts = f.service.sheetPosts();
        QCOMPARE(posts.size(), 1);
        QCOMPARE(posts[0].contentType, QStringLiteral("text/plain"));
        QVERIFY(posts[0].body.contains(",clip01.mov,https://stream.example/"));
        QVERIFY(posts[0].body.contains(",clip03.mkv,https://stream.example/"));
        QVERIFY(!posts[0].body.contains("clip.02"));
        // The passthrough keeps the extension; the title does not.
        QCOMPARE(
            f.service.countRequests(QStringLiteral("POST"), QStringLiteral("/video/v1/uploads")),
            3);
    }

    void uploadProgressMovesWithTheBytes() {
        StandInFixture f;
        QList<double> uploadingProgress;
        connect(f.viewModel.get(), &UploadViewModel::uploadChanged, this, [&](qsizetype index) {
            const auto& item = f.viewModel->uploads()[index];
            if (item.status == UploadStatus::uploading)
                uploadingProgress.append(item.progress);
        });
        f.viewModel->startUploadBatch({f.makeFile(QStringLiteral("big.mov"), 8 * 1024 * 1024)});
        QTRY_COMPARE_WITH_TIMEOUT(f.viewModel->uploads()[0].status, UploadStatus::done, slow);
        QVERIFY(uploadingProgress.size() >= 2);
        QCOMPARE(uploadingProgress.first(), 0.3);
        QCOMPARE(uploadingProgress.last(), 0.5);
        QVERIFY(std::is_sorted(uploadingProgress.begin(), uploadingProgress.end()));
        // Progress is not logged: one status line per stage only.
        QCOMPARE(f.countMessages(QStringLiteral("Uploading \u2013 big")), 1);
    }

    // The drop zone hands over one batch per file: they join into one completion.
    void overlappingBatchesCompleteOnce() {
        StandInFixture f;
        QVERIFY(f.service.setAssetPollsBeforeReady(3));
        for (const auto& name :
             {QStringLiteral("a.mov"), QStringLiteral("b.mov"), QStringLiteral("c.mov")})
            f.viewModel->startUploadBatch({f.makeFile(name)});
        QCOMPARE(f.viewModel->pendingBatchUploads(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(f.messages().contains(QStringLiteral("Google Sheet updated.")),
                                 slow);
        f.settle();
        QCOMPARE(f.countMessages(completion), 1);
        for (const auto& item : f.viewModel->uploads())
            QCOMPARE(item.status, UploadStatus::done);
        QCOMPARE(f.countMessages(QStringLiteral("Started upload batch with 1 videos.")), 3);
        const auto posts = f.service.sheetPosts();
        QCOMPARE(posts.size(), 1);
        QCOMPARE(posts[0].body.count('\n'), 4);

        // Once everything has finished, the next batch starts afresh.
        f.viewModel->startUploadBatch({f.makeFile(QStringLiteral("d.mov"))});
        QCOMPARE(f.viewModel->pendingBatchUploads(), 1);
        QCOMPARE(f.viewModel->completedBatchUploads(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(f.countMessages(QStringLiteral("Google Sheet updated.")), 2,
                                  slow);
    }

    void emptyBatchOnlyLogsItsStart() {
        StandInFixture f;
        const auto before = f.messages().size();
        f.viewModel->startUploadBatch({});
        QTest::qWait(50);
        f.settle();
        QCOMPARE(f.messages().mid(before),
                 QStringList{QStringLiteral("Started upload batch with 0 videos.")});
        QCOMPARE(f.viewModel->pendingBatchUploads(), 0);
        QCOMPARE(f.viewModel->completedBatchUploads(), 0);
        QVERIFY(f.service.requests().isEmpty());
    }

    void atMostTheLimitRunAtOnceInOrder() {
        StandInFixture f(
            [](UploadViewModel::Options& options) { options.maxConcurrentUploads = 2; });
        QVERIFY(f.service.setAssetPollsBeforeReady(2));
        QList<QUrl> files;
        for (int i = 1; i <= 5; ++i)
            files.append(f.makeFile(QStringLiteral("clip%1.mov").arg(i)));
        int running = 0;
        int mostRunning = 0;
        QList<qsizetype> startOrder;
        QHash<qsizetype, UploadStatus> last;
        connect(f.viewModel.get(), &UploadViewModel::uploadChanged, this, [&](qsizetype index) {
            const auto status = f.viewModel->uploads()[index].status;
            const auto before = last.value(index, UploadStatus::pending);
            last.insert(index, status);
            if (before == UploadStatus::pending && status != UploadStatus::pending) {
                ++running;
                startOrder.append(index);
            }
            if (before != UploadStatus::done && before != UploadStatus::failed &&
                (status == UploadStatus::done || status == UploadStatus::failed))
                --running;
            mostRunning = std::max(mostRunning, running);
        });
        f.viewModel->startUploadBatch(files);
        QTRY_VERIFY_WITH_TIMEOUT(f.messages().contains(QStringLiteral("Google Sheet updated.")),
                                 slow);
        QCOMPARE(mostRunning, 2);
        QCOMPARE(startOrder, (QList<qsizetype>{0, 1, 2, 3, 4}));
        QCOMPARE(f.countMessages(completion), 1);
        QCOMPARE(f.countMessages(QStringLiteral("Started upload batch with 5 videos.")), 1);
    }

    void deadUploadFailsTheItemAtOnce() {
        // Polls slow enough that the wait is still going when the upload dies.
        StandInFixture f([](UploadViewModel::Options& options) {
            options.client.assetIdPollInterval = std::chrono::milliseconds(50);
            options.client.assetIdAttempts = 1000;
        });
        QVERIFY(f.service.setUploadPollsBeforeAsset(0)); // never an asset
        f.viewModel->startUploadBatch({f.makeFile(QStringLiteral("x.mov"))});
        QTRY_COMPARE_WITH_TIMEOUT(f.viewModel->uploads()[0].status, UploadStatus::waitingAsset,
                                  slow);
        const auto uploadID =
            f.service.uploads().at(0).toObject().value(QStringLiteral("id")).toString();
        QVERIFY(f.service.updateUpload(
            uploadID, {{QStringLiteral("status"), QStringLiteral("errored")},
                       {QStringLiteral("error"),
                        QJsonObject{{QStringLiteral("message"), QStringLiteral("bad file")}}}}));
        QTRY_COMPARE_WITH_TIMEOUT(f.viewModel->uploads()[0].status, UploadStatus::failed, slow);
        QCOMPARE(f.viewModel->uploads()[0].error,
                 std::optional(QStringLiteral("Upload errored: bad file")));
    }
};

QTEST_GUILESS_MAIN(TestUploadBatches)
#include "tst_upload_batches.moc"
