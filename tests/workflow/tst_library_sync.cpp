#include "WorkspaceFixture.h"
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

const auto exec = QStringLiteral("/macros/s/stand-in/exec");

// A refresh of the service library, as the window runs one.
void refresh(const TestWorkspace& f) {
    auto& library = f.workspace->library();
    const auto& credentials = f.workspace->credentials();
    library.beginRefresh();
    (void)QCoro::waitFor(library.refreshService(credentials.tokenID(), credentials.tokenSecret()));
    f.settle();
}

} // namespace

// The service library and the sheet export, each alone.
class TestLibrarySync : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The pagings and failures are the client's (tst_muxclient); this is the library's
    // side: a listing lands whole or not at all.
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
        WorkspaceFixture f;
        auto& library = f.workspace->library();
        QVERIFY(f.service.seedGeneratedAssets(250, "1714564800"));
        if (!fault.path.isEmpty())
            QVERIFY(f.service.addFault(fault));
        QSignalSpy refreshing(&library, &LibrarySync::isRefreshingChanged);

        refresh(f);
        QCOMPARE(library.existingAssets().size(), listed);
        QCOMPARE(bool(library.lastCompleteListing()), listed > 0);
        if (listed > 0)
            QCOMPARE(library.existingAssets().last().id, "seeded0250");
        QCOMPARE(refreshing.count(), 2);
        QVERIFY2(f.messages().constLast().startsWith(lastLine),
                 qPrintable(f.messages().constLast()));
        QCOMPARE(library.listingNotice(), notice);
        if (listed == 0)
            QVERIFY(!QFile::exists(f.home.stateFolder() + QStringLiteral("/MuxState.json")));

        // The button's export lists for itself, not what is on view, and posts only a whole
        // listing.
        QVERIFY(f.service.seedGeneratedAssets(1, {}, {}, QStringLiteral("colleague")));
        QCoro::waitFor(f.workspace->sheetExporter().updateGoogleSheets());
        f.settle();
        QCOMPARE(f.service.sheetPosts().size(), listed > 0 ? 1 : 0);
        QCOMPARE(f.service.sheetPosts().value(0).body.contains("\n251,colleague0001.mov,"),
                 listed > 0);
        QVERIFY(f.messages().constLast().startsWith(
            listed > 0 ? QStringLiteral("Google Sheets updated successfully")
                       : QStringLiteral("Failed to update Google Sheets: the service library "
                                        "could not be listed: ")));
    }

    // A new asset is flagged after the listed line. The next start shows the kept listing at
    // once, whole, and for showing only.
    void keptListingShowsAtStartUntilRefreshed() {
        WorkspaceFixture f;
        // Newer than the state made at start-up, so it counts as new; the others are older.
        QJsonObject rich = TestWorkspace::assetJson("rich", "r.mov", true, true);
        rich.insert("tracks",
                    QJsonArray{QJsonObject{
                        {"type", "video"}, {"max_width", 1920}, {"max_frame_rate", 29.97}}});
        rich.insert(QStringLiteral("max_stored_frame_rate"), 25);
        QVERIFY(f.service.seedAssets({rich}));
        QVERIFY(f.service.seedGeneratedAssets(2, "2024-05-01T12:00:00Z"));
        refresh(f);
        const auto& first = f.workspace->library();
        QTRY_COMPARE(first.changedMuxAssets(), QSet<QString>{"rich"});
        // The log lines are posted; the last one may land after the change set.
        f.settle();
        const auto log = f.messages();
        QVERIFY(log.indexOf("Loaded 3 total assets from MUX.") <
                log.indexOf("Found 1 new/updated MUX assets."));
        const auto saved = readWholeFile(f.home.stateFolder() + QStringLiteral("/MuxState.json"))
                               .and_then(decodeMuxState);
        QVERIFY(saved);
        QVERIFY(saved->lastLaunchedAt >= first.savedMuxState()->lastLaunchedAt - 0.001);

        PeerWorkspace next(&f.service);
        auto& library = next.workspace->library();
        // Read off the event loop's thread when asked, then shown in one step.
        library.loadKeptListing();
        QTRY_VERIFY(library.showsCachedListing());
        QVERIFY(library.existingAssets().isEmpty());
        QCOMPARE(encodeListing(library.shownAssets()), encodeListing(first.existingAssets()));
        library.markAllSeen(currentTimeSeconds());
        QVERIFY(library.savedMuxState()->seenAssetTimes.isEmpty());

        QSignalSpy replaced(&library, &LibrarySync::showsCachedListingChanged);
        QVERIFY(f.service.seedAssets({TestWorkspace::assetJson("late", "E1_Late_ROM_M01.mov")}));
        refresh(next);
        QVERIFY(!library.showsCachedListing());
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(library.shownAssets().size(), 4);

        // The network goes: the rows stay, as kept ones, with when they were listed.
        QVERIFY(f.service.addFault({.path = "/video/v1/assets", .dropBeforeReply = true}));
        refresh(next);
        QVERIFY(library.showsCachedListing());
        QCOMPARE(library.shownAssets().size(), 4);
        // Any grouping that comes with them is of these rows, not of those kept at start.
        const auto* grouping = library.shownGrouping();
        QVERIFY(!grouping || grouping->keys.contains(QStringLiteral("ROM")));
        QVERIFY2(library.listingNotice().startsWith(
                     "Mux cannot be reached. Showing the library as listed at "),
                 qPrintable(library.listingNotice()));
    }

    // A post succeeds only on the web app's confirmation; the transport's own failures pass
    // through as they are. A whole-sheet replace is sent again after a drop (the transport's
    // other retries are tst_muxclient's).
    void sheetPostOutcomes_data() {
        QTest::addColumn<StandInService::Fault>("fault");
        QTest::addColumn<int>("posts");
        QTest::addColumn<QString>("error"); // empty: the export succeeds
        const QString echo = QStringLiteral("/macros/echo");
        const QByteArray signIn =
            "<!DOCTYPE html><html><head><title>Sign in</title>" + QByteArray(300, 'x') + "</html>";
        QTest::newRow("with a key") << StandInService::Fault{} << 1 << QString();
        QTest::newRow("refused")
            << StandInService::Fault{.path = exec, .status = 404} << 1
            << "The operation couldn\u2019t be completed. (GoogleSheet error 1.)";
        QTest::newRow("sign-in page")
            << StandInService::Fault{.path = echo, .status = 200, .body = signIn} << 1
            << QStringLiteral("the web app answered: ") + QString::fromLatin1(signIn.left(200));
        QTest::newRow("dropped, then confirmed")
            << StandInService::Fault{.path = exec, .times = 1, .dropBeforeReply = true} << 2
            << QString();
        QTest::newRow("connection refused") << StandInService::Fault{} << 0 << "Connection refused";
        QTest::newRow("no address")
            << StandInService::Fault{} << 0
            << "No Google Sheet web app address is set, so the sheet is not updated. Paste the "
               "web app's address under Google Sheets in the settings (CLIPFERRY_SHEET_URL for "
               "the command line).";
    }

    void sheetPostOutcomes() {
        QFETCH(StandInService::Fault, fault);
        QFETCH(int, posts);
        QFETCH(QString, error);
        const QByteArray kind = QTest::currentDataTag();
        WorkspaceFixture f([&](auto& options) {
            if (kind == "connection refused")
                options.sheetWebAppUrl = QUrl(QStringLiteral("http://127.0.0.1:1/exec"));
            if (kind == "no address")
                options.sheetWebAppUrl = QUrl();
            // The shared key rides in the address, encoded, only when there is one.
            options.fixedSheetKey = kind == "with a key" ? QStringLiteral("k y&z") : QString();
        });
        if (!fault.path.isEmpty())
            QVERIFY(f.service.addFault(fault));
        const QString csv = QStringLiteral("index,filename,playback_url\n1,é.mov,\n");
        auto posted = QCoro::waitFor(f.workspace->sheetExporter().postSheetCSV(csv));
        QCOMPARE(posted ? QString() : posted.error().message, error);
        QCOMPARE(f.service.countRequests("POST", exec), posts);
        if (posts > 0)
            QCOMPARE(f.service.requests().constFirst().target,
                     kind == "with a key" ? exec + "?key=k%20y%26z" : exec);
        if (error.isEmpty()) {
            const auto sent = f.service.sheetPosts().constLast();
            QCOMPARE(sent.body, csv.toUtf8());
            QCOMPARE(sent.contentType, "text/plain");
        }
    }
};

QTEST_GUILESS_MAIN(TestLibrarySync)
#include "tst_library_sync.moc"
