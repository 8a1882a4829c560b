#include "TestFiles.h"
#include "WorkspaceFixture.h"
#include "workflow/FolderClaim.h"
#include "workflow/UploadQueue.h"
#include "workflow/WatchDelivery.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTest>
#include <memory>

using namespace clipferry;
using namespace std::chrono_literals;

namespace {

constexpr int slow = 30000; // generous ceiling for loopback work under the sanitizers

WatchDelivery::Peers peersOf(const Workspace& workspace) {
    return {workspace.library(), workspace.credentials(), workspace.delivery(), workspace.log()};
}

// Waits short enough for a test, yet a clip written in pieces 200 ms apart never looks
// settled before its last piece.
WatchDelivery::Options quick(const QString& folder, bool recursive = false,
                             int maxWatchedFolders = 0) {
    return {.watch = {.folder = folder,
                      .recursive = recursive,
                      .settle = 700ms,
                      .pollInterval = 50ms,
                      .fallbackScanInterval = 200ms,
                      .maxWatchedFolders = maxWatchedFolders},
            .renewInterval = 100ms,
            .staleAfter = 3s};
}

QStringList passthroughs(const StandInService& service) {
    QStringList names;
    for (const auto& asset : service.assets())
        names.append(asset[u"passthrough"].toString());
    names.sort();
    return names;
}

// A last clip, written after the case's own: once it is on the service, so is everything
// the watcher was going to send.
bool sentinelDelivered(const WorkspaceFixture& f) {
    const auto& queue = f.workspace->uploadQueue();
    return queue.pendingBatchUploads() == queue.completedBatchUploads() &&
           passthroughs(f.service).contains(QStringLiteral("Z_sentinel.mov"));
}

} // namespace

// The watcher over the workspace's peers; the checks read the peers and the stand-in.
class TestFolderWatch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each case writes into a watched folder, then a sentinel clip; the service must then
    // hold exactly the clips named, each once and whole.
    void deliversSettledClipsOnce_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<QStringList>("delivered");
        QTest::addColumn<int>("maxWatchedFolders"); // 0: as many as the system allows

        QTest::newRow("written in pieces") << "pieces" << false << QStringList{"A_piece.mov"} << 0;
        QTest::newRow("temporary names") << "temporary" << false << QStringList{"B_final.mov"} << 0;
        QTest::newRow("subfolder, flat") << "subfolder" << false << QStringList{} << 0;
        QTest::newRow("subfolder, recursive")
            << "subfolder" << true << QStringList{"C_deep.mov", "D_new_folder.mov"} << 0;
        // Fewer watches than folders: the periodic listing finds the same clips.
        QTest::newRow("subfolder, recursive, watches run out")
            << "subfolder" << true << QStringList{"C_deep.mov", "D_new_folder.mov"} << 1;
    }

    void deliversSettledClipsOnce() {
        QFETCH(QString, writer);
        QFETCH(bool, recursive);
        QFETCH(QStringList, delivered);
        QFETCH(int, maxWatchedFolders);
        WorkspaceFixture f;
        const QString folder = f.home.path() + "/renders";
        QVERIFY(QDir().mkpath(folder + "/sub"));
        WatchDelivery watch(peersOf(*f.workspace), quick(folder, recursive, maxWatchedFolders));
        watch.start();
        QTRY_VERIFY_WITH_TIMEOUT(watch.claim().isHeld(), slow);

        if (writer == QLatin1String("pieces")) {
            QFile clip(folder + "/A_piece.mov");
            QVERIFY(clip.open(QIODevice::WriteOnly));
            for (int piece = 0; piece < 4; ++piece) {
                QVERIFY(clip.write(QByteArray(100000, char('a' + piece))) == 100000 &&
                        clip.flush());
                QTest::qWait(200);
                QCOMPARE(f.service.countRequests("POST", "/video/v1/uploads"), 0);
            }
        } else if (writer == QLatin1String("temporary")) {
            for (const char* name : {".B_final.mov", "B_final~.mov", "B_final.tmp.mov"})
                QVERIFY(writeRandomFile(folder + '/' + name, 5000));
            QVERIFY(writeRandomFile(folder + "/B_final.part.mov", 5000));
            QTest::qWait(1000);
            QVERIFY(QFile::rename(folder + "/B_final.part.mov", folder + "/B_final.mov"));
        } else {
            QVERIFY(writeRandomFile(folder + "/sub/C_deep.mov", 5000));
            // A folder made while watched is watched too.
            QVERIFY(writeRandomFile(folder + "/sub/later/D_new_folder.mov", 5000));
        }
        QVERIFY(writeRandomFile(folder + "/Z_sentinel.mov", 5000));
        QTRY_VERIFY_WITH_TIMEOUT(sentinelDelivered(f), slow);

        QCOMPARE(passthroughs(f.service), delivered + QStringList{"Z_sentinel.mov"});
        QCOMPARE(f.service.countRequests("POST", "/video/v1/uploads"), delivered.size() + 1);
        // Whole: the clip written in pieces went up with all four.
        qint64 held = 0;
        for (const auto& upload : f.service.uploads())
            held += upload[u"bytes_held"].toInteger();
        QCOMPARE(held, (writer == "pieces" ? 400000 : 5000 * delivered.size()) + 5000);
        QVERIFY(f.messages().join('\n').contains(" new clips from " + folder + ".\n"));
        QCOMPARE(f.messages().join('\n').contains("Cannot watch every folder of " + folder +
                                                  " for changes"),
                 maxWatchedFolders > 0);
    }

    // Two watchers of one folder through two paths (as two machines see a share): the
    // first holds the folder, the second says so and waits, and takes over once the first
    // stops; every clip becomes one asset.
    void twoPathsOneAssetPerClip() {
        WorkspaceFixture first;
        PeerWorkspace second(&first.service);
        const QString folder = first.home.path() + "/share";
        const QString otherPath = first.home.path() + "/mounted";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(folder, otherPath));
        auto holder = std::make_unique<WatchDelivery>(peersOf(*first.workspace), quick(folder));
        holder->start();
        QTRY_VERIFY_WITH_TIMEOUT(holder->claim().isHeld(), slow);
        WatchDelivery waiting(peersOf(*second.workspace), quick(otherPath));
        waiting.start();

        for (const char* name : {"E1_a.mov", "E1_b.mov", "E1_c.mov"})
            QVERIFY(writeRandomFile(folder + '/' + name, 4000));
        QTRY_COMPARE_WITH_TIMEOUT(first.service.assets().size(), 3, slow);
        QTRY_VERIFY_WITH_TIMEOUT(!waiting.watcher().settledFiles().isEmpty(), slow);
        QVERIFY(!waiting.claim().isHeld());
        QVERIFY2(second.messages().join('\n').contains(" is watched by "),
                 qPrintable(second.messages().join('\n')));

        holder.reset();
        QTRY_VERIFY_WITH_TIMEOUT(waiting.claim().isHeld(), slow);
        QVERIFY(writeRandomFile(folder + "/E1_d.mov", 4000));
        QTRY_COMPARE_WITH_TIMEOUT(first.service.assets().size(), 4, slow);
        QTRY_COMPARE_WITH_TIMEOUT(second.workspace->uploadQueue().completedBatchUploads(), 1, slow);
        QCOMPARE(passthroughs(first.service),
                 (QStringList{"E1_a.mov", "E1_b.mov", "E1_c.mov", "E1_d.mov"}));
    }
};

QTEST_GUILESS_MAIN(TestFolderWatch)
#include "tst_folder_watch.moc"
