#include "TestFiles.h"
#include "WorkspaceFixture.h"
#include "model/DetachedTask.h"
#include "model/StateFolder.h"
#include "service/MuxClient.h"
#include "service/NetworkReachability.h"
#include "workflow/Credentials.h"
#include "workflow/DeliveryLedger.h"
#include "workflow/LibrarySync.h"
#include "workflow/TransferMeter.h"
#include "workflow/UploadQueue.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

using namespace clipferry;

namespace {

constexpr int slow = 20000; // generous ceiling for loopback work under the sanitizers
const auto completion = QStringLiteral("Upload batch completed. Updating Google Sheet\u2026");

// The lines of one item, in the order they were logged.
QStringList linesOf(const QStringList& messages, const QString& title, const QString& assetID) {
    return messages.filter(QRegularExpression(
        QStringLiteral("( \u2013 %1|^Marked uploaded asset as new: %2)$")
            .arg(QRegularExpression::escape(title), QRegularExpression::escape(assetID))));
}

qint64 uploadNumber(const StandInService& service, const char* member) {
    const auto uploads = service.uploads();
    return uploads.isEmpty()
               ? 0
               : uploads.last().toObject().value(QLatin1StringView(member)).toInteger();
}

// A fault on the transfers' PUTs.
StandInService::Fault onPut(StandInService::Fault fault) {
    fault.method = QStringLiteral("PUT");
    fault.path = QStringLiteral("/_upload/*");
    return fault;
}

StandInService::Fault stallUpload(qint64 afterBytes) {
    return onPut({.times = 1, .hang = true, .dropAfterBytes = afterBytes});
}

QString assetIDTitled(const QJsonArray& assets, const QString& title) {
    for (const auto& asset : assets)
        if (asset[u"meta"][u"title"] == title)
            return asset[u"id"].toString();
    return {};
}

} // namespace

// The upload queue alone: its batches, items and ledger against the stand-in.
class TestUploadBatches : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The drop zone hands over a batch of several files or one batch per file: they join
    // into one completion after the last item, done or failed, which an empty batch before
    // them neither makes nor counts in. However they come, at most the limit run at once, in
    // the order given; the next batch starts afresh.
    void batchesCompleteOnce() {
        // Setup: a limit of two, and only the 400 kB file's PUT cut.
        WorkspaceFixture f([](auto& options) { options.maxConcurrentUploads = 2; });
        auto& queue = f.workspace->uploadQueue();
        QSignalSpy ended(&queue, &UploadQueue::batchFinished);
        f.settle();
        const auto before = f.messages().size();
        queue.startUploadBatch({});
        f.settle();
        QCOMPARE(f.messages().mid(before), QStringList{"Started upload batch with 0 videos."});
        QCOMPARE(queue.pendingBatchUploads(), 0);
        QCOMPARE(queue.completedBatchUploads(), 0);
        QVERIFY(f.service.requests().isEmpty());
        QVERIFY(f.service.addFault(onPut({.dropAfterBytes = 100000})));
        QVERIFY(f.service.setAssetPollsBeforeReady(3));
        qsizetype mostRunning = 0;
        QList<qsizetype> startOrder;
        const auto& items = queue.items();
        connect(&queue, &UploadQueue::itemChanged, this, [&](qsizetype index) {
            if (items[index].status != UploadStatus::pending && !startOrder.contains(index))
                startOrder.append(index);
            mostRunning = std::max(
                mostRunning, std::count_if(items.begin(), items.end(), [](const auto& item) {
                    return item.status > UploadStatus::pending && item.status < UploadStatus::done;
                }));
        });

        // Action: three files at once, then two one by one.
        queue.startUploadBatch({f.makeFile("clip01.mov"), f.makeFile("clip.02.mp4", 400000),
                                f.makeFile("clip03.mkv")});
        QCOMPARE(items[1].title, "clip.02");
        QCOMPARE(items[0].status, UploadStatus::pending);
        queue.startUploadBatch({f.makeFile("d.mov")});
        queue.startUploadBatch({f.makeFile("e.mov")});
        QCOMPARE(queue.pendingBatchUploads(), 5);
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, slow);

        // Verify: the items, one by one.
        QCOMPARE(ended[0], (QVariantList{4, 1}));
        QCOMPARE(mostRunning, 2);
        QCOMPARE(startOrder, (QList<qsizetype>{0, 1, 2, 3, 4}));
        for (qsizetype i = 0; i < items.size(); ++i)
            QCOMPARE(items[i].status, i == 1 ? UploadStatus::failed : UploadStatus::done);
        QCOMPARE(items[1].progress, 1.0);
        // The transport's reason, not a bare "Upload failed".
        QVERIFY2(items[1].error->startsWith(QStringLiteral("Upload failed: ")) &&
                     items[1].error->size() > 15,
                 qPrintable(*items[1].error));
        QVERIFY(!items[1].playbackURL);
        QVERIFY(items[0].playbackURL->startsWith("https://stream.example/"));
        QVERIFY(items[0].playbackURL->endsWith(".m3u8"));

        // The log: one line per stage; one completion after every item.
        f.settle();
        const QString first = assetIDTitled(f.service.assets(), QStringLiteral("clip01"));
        const auto all = f.messages();
        const auto log = all.mid(all.indexOf("Started upload batch with 3 videos."));
        QCOMPARE(linesOf(log, QStringLiteral("clip01"), first),
                 (QStringList{"Creating Upload \u2013 clip01", "Uploading \u2013 clip01",
                              "Waiting for Asset \u2013 clip01", "Processing \u2013 clip01",
                              "Marked uploaded asset as new: " + first, "Done \u2013 clip01"}));
        QCOMPARE(linesOf(log, QStringLiteral("clip.02"), {}),
                 (QStringList{"Creating Upload \u2013 clip.02", "Uploading \u2013 clip.02"}));
        QCOMPARE(f.countMessages("Started upload batch with 1 videos."), 2);
        const QString failure = QStringLiteral("ERROR: ") + *items[1].error;
        QCOMPARE(f.countMessages(failure), 1);
        QCOMPARE(f.countMessages(completion), 1);
        const auto completedAt = log.indexOf(completion);
        QVERIFY(completedAt > log.lastIndexOf(QRegularExpression(QStringLiteral("^Done "))));
        QVERIFY(completedAt > log.indexOf(failure));
        const auto& changed = f.workspace->library().changedMuxAssets();
        QVERIFY(changed.size() == 4 && changed.contains(first));

        queue.startUploadBatch({f.makeFile("f.mov")});
        QCOMPARE(queue.pendingBatchUploads(), 1);
        QCOMPARE(queue.completedBatchUploads(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, slow);
        QCOMPARE(ended[1], (QVariantList{1, 0}));
    }

    void uploadProgressMovesWithTheBytes() {
        WorkspaceFixture f;
        auto& queue = f.workspace->uploadQueue();
        QList<double> uploadingProgress;
        QStringList details;
        connect(&queue, &UploadQueue::itemChanged, this, [&](qsizetype index) {
            const auto& item = queue.items()[index];
            if (item.status == UploadStatus::uploading)
                uploadingProgress.append(item.progress);
            if (!item.detail.isEmpty())
                details.append(item.detail);
        });
        queue.startUploadBatch({f.makeFile("big.mov", 8 * 1024 * 1024)});
        QTRY_COMPARE_WITH_TIMEOUT(queue.items()[0].status, UploadStatus::done, slow);
        // The bar of a transfer is its bytes: from nothing to the whole file.
        QCOMPARE(uploadingProgress.first(), 0.0);
        QCOMPARE(uploadingProgress.last(), 1.0);
        QVERIFY(std::is_sorted(uploadingProgress.begin(), uploadingProgress.end()));
        // The figures' text is transferFigures' table; here that they reach the row and go.
        // A loaded machine may show a wait first; the figures must still reach the row.
        QVERIFY(std::any_of(details.cbegin(), details.cend(),
                            [](const QString& detail) { return detail.endsWith(" of 8 MB"); }));
        QVERIFY(queue.items()[0].detail.isEmpty());
        // Progress is not logged: one status line per stage only.
        f.settle();
        QCOMPARE(f.countMessages("Uploading \u2013 big"), 1);
    }

    // The uploading row's figures from byte counts at given times: the speed and time left
    // once a later sample shows the bytes moving, smoothed; none on the last byte.
    void transferFigures_data() {
        QTest::addColumn<QList<qint64>>("samples"); // bytes sent of 8 MB, at ms; in pairs
        QTest::addColumn<QString>("text");
        QTest::newRow("too soon") << QList<qint64>{0, 0, 1000000, 100} << QString();
        QTest::newRow("moving") << QList<qint64>{0, 0, 2000000, 500}
                                << "2 MB of 8 MB \u00b7 4 MB/s \u00b7 2 s left";
        QTest::newRow("too soon after") << QList<qint64>{0, 0, 2000000, 500, 3000000, 600}
                                        << "2 MB of 8 MB \u00b7 4 MB/s \u00b7 2 s left";
        QTest::newRow("smoothed") << QList<qint64>{0, 0, 2000000, 500, 2500000, 1000}
                                  << "2 MB of 8 MB \u00b7 3 MB/s \u00b7 2 s left";
        QTest::newRow("minutes") << QList<qint64>{0, 0, 40000, 1000}
                                 << "40 kB of 8 MB \u00b7 40 kB/s \u00b7 3 min left";
        QTest::newRow("last byte")
            << QList<qint64>{0, 0, 2000000, 500, 8000000, 600} << "8 MB of 8 MB";
    }
    void transferFigures() {
        QFETCH(QList<qint64>, samples);
        QFETCH(QString, text);
        TransferMeter meter;
        for (qsizetype i = 0; i < samples.size(); i += 2)
            (void)meter.sample(samples[i], 8000000, samples[i + 1]);
        QCOMPARE(meter.text(), text);
    }

    // However its first attempt ends, an item ends as one asset with one title. A cut whose
    // session is then gone makes a second direct upload (how a cut resumes within a session
    // is the client's table); a retry goes on from the stage reached with the IDs it has.
    void oneAssetPerItem_data() {
        QTest::addColumn<QString>("error"); // the start of the first attempt's; empty: none
        QTest::addColumn<int>("creates");
        QTest::newRow("session gone after a cut") << QString() << 2;
        QTest::newRow("refused transfer, retried") << "Upload failed" << 1;
        QTest::newRow("ready wait ran out, retried") << "Timeout waiting for ready (asset " << 1;
    }

    void oneAssetPerItem() {
        QFETCH(QString, error);
        QFETCH(int, creates);
        const QByteArray kind = QTest::currentDataTag();
        WorkspaceFixture f([](auto& options) { options.client.readyAttempts = 3; });
        if (kind.startsWith("session")) {
            QVERIFY(f.service.addFault(onPut({.times = 1, .dropAfterBytes = 600000})));
            QVERIFY(f.service.addFault(onPut({.times = 1, .status = 404})));
        } else if (kind.startsWith("refused")) {
            QVERIFY(f.service.addFault(onPut({.times = 1, .status = 403})));
        } else {
            QVERIFY(f.service.setAssetPollsBeforeReady(0));
        }
        auto& queue = f.workspace->uploadQueue();
        queue.startUploadBatch({f.makeFile("r.mov", 2 * 1024 * 1024)});
        if (!error.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(queue.items()[0].status, UploadStatus::failed, slow);
            QVERIFY2(queue.items()[0].error->startsWith(error),
                     qPrintable(*queue.items()[0].error));
            QVERIFY(f.service.setAssetPollsBeforeReady(1));
            queue.retryAllFailed();
        }
        QTRY_COMPARE_WITH_TIMEOUT(queue.items()[0].status, UploadStatus::done, slow);
        QCOMPARE(f.service.countRequests("POST", "/video/v1/uploads"), creates);
        QCOMPARE(f.service.countRequests("PATCH", "/video/v1/assets/*"), 1);
        QCOMPARE(f.service.assets().size(), 1);
        f.settle();
        QCOMPARE(f.countMessages("Upload session expired \u2013 r; starting again."), creates - 1);
    }

    // Cancel in each stage: the pending item behind never starts, the running one stops,
    // its direct upload is cancelled while no asset exists, and the batch ends once.
    void cancelStopsTheItemWhereItIs_data() {
        QTest::addColumn<UploadStatus>("stage");
        QTest::addColumn<int>("cancelRequests");
        QTest::newRow("creating") << UploadStatus::creatingUpload << 0;
        QTest::newRow("uploading") << UploadStatus::uploading << 1;
        QTest::newRow("waiting for the asset") << UploadStatus::waitingAsset << 0;
        QTest::newRow("processing") << UploadStatus::processingAsset << 0;
    }

    void cancelStopsTheItemWhereItIs() {
        QFETCH(UploadStatus, stage);
        QFETCH(int, cancelRequests);
        WorkspaceFixture f([](auto& options) {
            options.maxConcurrentUploads = 1;
            options.client.assetIdAttempts = options.client.readyAttempts = 100000;
        });
        if (stage == UploadStatus::creatingUpload)
            QVERIFY(
                f.service.addFault({.method = "POST", .path = "/video/v1/uploads", .hang = true}));
        if (stage == UploadStatus::uploading)
            QVERIFY(f.service.addFault(stallUpload(300000)));
        QVERIFY(f.service.setUploadPollsBeforeAsset(stage == UploadStatus::waitingAsset ? 0 : 1));
        QVERIFY(f.service.setAssetPollsBeforeReady(stage == UploadStatus::processingAsset ? 0 : 1));
        auto& queue = f.workspace->uploadQueue();
        QSignalSpy ended(&queue, &UploadQueue::batchFinished);
        queue.startUploadBatch({f.makeFile("a.mov", 1000000), f.makeFile("b.mov")});
        QTRY_COMPARE_WITH_TIMEOUT(queue.items()[0].status, stage, slow);
        QTRY_COMPARE_WITH_TIMEOUT(f.service.countRequests("POST", "/video/v1/uploads"), 1, slow);
        if (stage == UploadStatus::uploading)
            QTRY_VERIFY_WITH_TIMEOUT(uploadNumber(f.service, "bytes_held") > 0, slow);

        queue.cancel(1);
        queue.cancel(0);
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, slow);
        QVERIFY(f.service.releaseHangingReplies());
        for (const auto& item : queue.items())
            QCOMPARE(item.status, UploadStatus::cancelled);
        QVERIFY(!queue.canCancel(0) && queue.canRetry(0));
        QTRY_COMPARE_WITH_TIMEOUT(f.service.countRequests("PUT", "/video/v1/uploads/*"),
                                  cancelRequests, slow);
        // Past the last byte the asset comes whatever happens: it goes once it is there.
        if (stage >= UploadStatus::waitingAsset) {
            QVERIFY(f.service.setUploadPollsBeforeAsset(1));
            QTRY_COMPARE_WITH_TIMEOUT(
                f.countMessages("Deleted the asset of a cancelled upload \u2013 a."), 1, slow);
            QVERIFY(f.service.assets().isEmpty());
        }
        QCOMPARE(ended.count(), 1);
    }

    // A file that cannot be sent fails before any request; one that changes while it is
    // sent fails after, and its direct upload is cancelled.
    void fileChecks_data() {
        QTest::addColumn<QString>("message");
        QTest::newRow("folder") << "Not a regular file: ";
        QTest::newRow("fifo") << "Not a regular file: ";
        QTest::newRow("empty") << "The file is empty: ";
        QTest::newRow("gone") << "The file is gone: ";
        QTest::newRow("growing") << "The file changed while it was being uploaded.";
    }

    void fileChecks() {
        QFETCH(QString, message);
        const QByteArray kind = QTest::currentDataTag();
        WorkspaceFixture f;
        const bool growing = kind == "growing";
        const QString path = f.home.path() + QStringLiteral("/x.mov");
        if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(qPrintable(path), 0600), 0);
        else if (kind != "gone")
            (void)f.makeFile("x.mov", growing ? 1000000 : 0);
        if (growing)
            QVERIFY(f.service.addFault(stallUpload(300000)));

        auto& queue = f.workspace->uploadQueue();
        queue.startUploadBatch({QUrl::fromLocalFile(path)});
        if (growing) {
            QTRY_VERIFY_WITH_TIMEOUT(uploadNumber(f.service, "bytes_held") > 0, slow);
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append));
            QCOMPARE(file.write("more"), 4);
            file.close();
            QVERIFY(f.service.releaseHangingReplies());
        }
        QTRY_COMPARE_WITH_TIMEOUT(queue.items()[0].status, UploadStatus::failed, slow);
        QVERIFY2(queue.items()[0].error->startsWith(message), qPrintable(*queue.items()[0].error));
        QCOMPARE(f.service.countRequests("POST", "/video/v1/uploads"), growing ? 1 : 0);
        QTRY_COMPARE_WITH_TIMEOUT(f.service.countRequests("PUT", "/video/v1/uploads/*"),
                                  growing ? 1 : 0, slow);
        if (growing) {
            // Nothing of the changed file became an asset; a retry sends it as it is now.
            QVERIFY(f.service.assets().isEmpty());
            queue.retry(0);
            QTRY_COMPARE_WITH_TIMEOUT(queue.items()[0].status, UploadStatus::done, slow);
            QCOMPARE(f.service.countRequests("POST", "/video/v1/uploads"), 2);
            QCOMPARE(uploadNumber(f.service, "bytes_received"), 1000004);
        }
    }

    // The network goes while an item creates its upload or sends its file: the row says so
    // and the item waits, past every retry count, and goes on when the network is back; at
    // once when that is announced, though every wait is an hour long.
    void itemWaitsForTheNetwork_data() {
        using Faults = QList<StandInService::Fault>;
        QTest::addColumn<Faults>("outages");
        QTest::addColumn<bool>("announced");
        const StandInService::Fault creating{
            .method = "POST", .path = "/video/v1/uploads", .times = 10, .dropBeforeReply = true};
        const auto sending = onPut({.times = 12, .dropBeforeReply = true});
        QTest::newRow("creating the upload") << Faults{creating} << false;
        QTest::newRow("sending the file") << Faults{sending} << false;
        QTest::newRow("announced") << Faults{creating, sending} << true;
    }

    void itemWaitsForTheNetwork() {
        QFETCH(QList<StandInService::Fault>, outages);
        QFETCH(bool, announced);
        WorkspaceFixture f([announced](auto& options) {
            options.client.maxResumeDelay = std::chrono::milliseconds(announced ? 3600000 : 20);
            if (announced)
                options.client.retryBaseDelay = options.client.maxResumeDelay;
        });
        for (const auto& outage : outages)
            QVERIFY(f.service.addFault(outage));
        QTimer announcing;
        connect(&announcing, &QTimer::timeout, f.workspace->options().networkReachability.get(),
                &NetworkReachability::online);
        if (announced)
            announcing.start(10);
        auto& queue = f.workspace->uploadQueue();
        QStringList details;
        connect(&queue, &UploadQueue::itemChanged, this,
                [&](qsizetype index) { details.append(queue.items()[index].detail); });
        queue.startUploadBatch({f.makeFile("net.mov", 600000)});
        QTRY_COMPARE_WITH_TIMEOUT(queue.items()[0].status, UploadStatus::done, slow);
        QVERIFY(details.contains(QStringLiteral("Waiting for the network\u2026")));
        // Said once an outage at most; the announced row's two may run into one.
        f.settle();
        const auto said = f.countMessages(QStringLiteral("Waiting for the network \u2013 net"));
        QVERIFY(said >= 1 && said <= outages.size());
        QCOMPARE(f.service.uploads().size(), 1);
        QCOMPARE(f.service.assets().size(), 1);
        QVERIFY(uploadNumber(f.service, "bytes_received") < 600000 + 256 * 1024);
    }

    // A failed row removed while another runs takes its ledger entry along; the running
    // item carries on in its new row. Paused items keep their sessions and come back paused
    // after a restart; resumed, they go on from the bytes held.
    void removedAndPausedItemsAcrossARestart() {
        WorkspaceFixture f([](auto& options) { options.maxConcurrentUploads = 1; });
        const qint64 size = 2 * 1024 * 1024;
        QVERIFY(f.service.addFault(stallUpload(600000)));
        auto& queue = f.workspace->uploadQueue();
        queue.startUploadBatch(
            {f.makeFile("empty.mov", 0), f.makeFile("p.mov", size), f.makeFile("q.mov")});
        QTRY_COMPARE_WITH_TIMEOUT(queue.items()[0].status, UploadStatus::failed, slow);
        QTRY_VERIFY_WITH_TIMEOUT(uploadNumber(f.service, "bytes_held") > 0, slow);
        QVERIFY(!queue.canRemove(1));
        queue.remove(0);
        QCOMPARE(queue.items().size(), 2);
        queue.pause(1);
        queue.pause(0);
        QVERIFY(f.service.releaseHangingReplies());
        QTRY_VERIFY_WITH_TIMEOUT(queue.canResume(0) && queue.canResume(1), slow);
        QStringList entries;
        for (const auto& entry : f.workspace->ledger().entries().value_or(QList<UploadRecord>{}))
            entries.append(QFileInfo(entry.filePath).fileName() + ':' +
                           QString::number(int(entry.stage)));
        const QString paused = QString::number(int(UploadStatus::paused));
        QCOMPARE(entries, (QStringList{"p.mov:" + paused, "q.mov:" + paused}));

        f.workspace.reset();
        PeerWorkspace restarted(&f.service);
        auto& again = restarted.workspace->uploadQueue();
        // The workspace takes them over when it has its tokens, here at once.
        QCOMPARE(again.items().size(), 2);
        for (const auto& item : again.items())
            QCOMPARE(item.status, UploadStatus::paused);
        QCOMPARE(f.service.countRequests("POST", "/video/v1/uploads"), 1);
        again.resumeAll();
        QTRY_VERIFY_WITH_TIMEOUT(again.items()[0].status == UploadStatus::done &&
                                     again.items()[1].status == UploadStatus::done,
                                 slow);
        QCOMPARE(f.service.countRequests("POST", "/video/v1/uploads"), 2);
        // Sent again: only what the session did not hold.
        QVERIFY(f.service.uploads().first().toObject().value("bytes_received").toInteger() <
                size + 256 * 1024);
    }

    // Killed in the middle of the first transfer, with two more files accepted behind it,
    // then started again: every accepted file comes back in its order, and the cut transfer
    // goes on from what the session holds, with the same upload. A file exported again
    // meanwhile fails instead, and its session is cancelled without another byte.
    void restartAfterAKillGoesOn_data() {
        QTest::addColumn<bool>("reexported");
        QTest::newRow("same file") << false;
        QTest::newRow("file exported again") << true;
    }
    void restartAfterAKillGoesOn() {
        QFETCH(bool, reexported);
        FreshStandIn f;
        const qint64 size = 3 * 1024 * 1024;
        QStringList files{f.makeFile("killed.mov", size).toLocalFile(),
                          f.makeFile("queued1.mov").toLocalFile(),
                          f.makeFile("queued2.mov").toLocalFile()};
        QVERIFY(f.service.addFault(stallUpload(1024 * 1024 + 5000)));
        const QString ledger = stateFileURL(QString::fromLatin1(deliveryLedgerFileName));
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    QStringList{"--upload-until-killed", f.service.baseUrl().toString(), ledger} +
                        files);
        QTRY_VERIFY_WITH_TIMEOUT(uploadNumber(f.service, "bytes_held") > 0, slow);
        child.kill();
        QVERIFY(child.waitForFinished());
        QVERIFY(f.service.releaseHangingReplies());
        const qint64 held = uploadNumber(f.service, "bytes_received");
        if (reexported)
            QVERIFY(writeRandomFile(files[0], size + 1));

        PeerWorkspace restarted(&f.service,
                                [](auto& options) { options.maxConcurrentUploads = 1; });
        auto& queue = restarted.workspace->uploadQueue();
        QCOMPARE(queue.items().size(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(queue.items()[2].status, UploadStatus::done, slow);
        for (qsizetype i = 0; i < files.size(); ++i)
            QCOMPARE(queue.items()[i].fileURL.toLocalFile(), files[i]);
        restarted.settle();
        QCOMPARE(restarted.countMessages("Resuming 3 unfinished uploads."), 1);
        QCOMPARE(f.service.countRequests("POST", "/video/v1/uploads"), 3);
        if (reexported) {
            const auto first = f.service.uploads().first();
            QCOMPARE(first[u"status"].toString(), "cancelled");
            QCOMPARE(first[u"bytes_received"].toInteger(), held);
            QCOMPARE(queue.items()[0].error,
                     std::optional<QString>("The file changed since its upload began."));
            return;
        }
        qint64 received = 0;
        for (const auto& upload : f.service.uploads())
            received += upload.toObject().value("bytes_received").toInteger();
        QVERIFY(received < size + 2000 + 256 * 1024);
        // Nothing is left to resume; delivered entries go once a listing shows them.
        const auto left = restarted.workspace->ledger().entries();
        QVERIFY(left && std::all_of(left->cbegin(), left->cend(), [](const UploadRecord& entry) {
                    return entry.stage == UploadStatus::done;
                }));
    }
};

namespace {

// The process the restart test kills: the files, one at a time, through a ledger, for ever.
int uploadUntilKilled(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QNetworkAccessManager network;
    MuxClient mux(network, {.apiBase = QUrl(QString::fromLocal8Bit(argv[2])),
                            .postRequestsPerSecond = 0,
                            .otherRequestsPerSecond = 0});
    auto ledger = DeliveryLedger::open(QString::fromLocal8Bit(argv[3]));
    if (!ledger)
        return 1;
    // Fixed tokens: the store is never asked.
    const CredentialStore store(QStringLiteral("unused"));
    ActivityLog log;
    Credentials credentials(store, log, {std::pair{"stand-in-id", "stand-in-secret"}, {}, true});
    runDetached(credentials.load());
    UploadQueue queue(mux, **ledger, credentials, log, {QUrl("https://stream.example"), 1});
    QList<QUrl> files;
    for (int i = 4; i < argc; ++i)
        files.append(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
    queue.startUploadBatch(files);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && qstrcmp(argv[1], "--upload-until-killed") == 0)
        return uploadUntilKilled(argc, argv);
    QCoreApplication app(argc, argv);
    TestUploadBatches test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_upload_batches.moc"
