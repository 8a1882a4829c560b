#include "WorkspaceFixture.h"
#include "model/SeenState.h"
#include "model/StateFolder.h"
#include "workflow/ChangeTime.h"
#include "workflow/LibrarySync.h"

#include <QSignalSpy>
#include <QTest>

using namespace clipferry;

namespace {

MuxAsset asset(const QString& id, std::optional<QString> updatedAt,
               std::optional<QString> createdAt = std::nullopt) {
    return {.id = id, .status = "ready", .createdAt = createdAt, .updatedAt = updatedAt};
}

const auto muxStateName = QString::fromLatin1(muxStateFileName);

} // namespace

// Which assets and files count as new or changed, and how marking them seen sticks.
class TestChangeTracking : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void changeTimeParsing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("seconds"); // -1: does not parse
        QTest::newRow("utc") << "2024-05-01T12:00:00Z" << 1714564800.0;
        QTest::newRow("offset") << "2024-05-01T14:00:00+02:00" << 1714564800.0;
        QTest::newRow("negative offset") << "2024-05-01T07:30:00-04:30" << 1714564800.0;
        QTest::newRow("unix seconds") << "1714564800" << 1714564800.0;
        QTest::newRow("zero") << "0" << 0.0;
        QTest::newRow("fractional seconds") << "2024-05-01T12:00:00.123Z" << -1.0;
        QTest::newRow("no zone") << "2024-05-01T12:00:00" << -1.0;
        QTest::newRow("space separator") << "2024-05-01 12:00:00Z" << -1.0;
        QTest::newRow("february 30") << "2024-02-30T12:00:00Z" << -1.0;
        QTest::newRow("signed digits") << "-1714564800" << -1.0;
        QTest::newRow("arabic-indic digits") << QString::fromUtf8("١٢٣") << -1.0;
        QTest::newRow("empty") << "" << -1.0;
        QTest::newRow("too many digits") << "99999999999999999999999" << -1.0;
    }

    void changeTimeParsing() {
        QFETCH(QString, text);
        QFETCH(double, seconds);
        QCOMPARE(parseChangeTime(text).value_or(-1.0), seconds);
    }

    void detectionAndMarkingSeen() {
        TempHome home;
        // 1714564800 is 2024-05-01T12:00:00Z.
        QVERIFY(writeFileAtomically(
            stateFileURL(muxStateName),
            encodeMuxState(
                {1714564800.0, {{"seen-after", 1714564900.0}, {"seen-before", 1714564801.0}}})));
        PeerWorkspace fixture;
        auto& library = fixture.workspace->library();
        QSignalSpy changedSpy(&library, &LibrarySync::changedMuxAssetsChanged);

        library.detectChangedMuxAssets({
            asset("iso-later", "2024-05-01T12:00:01Z"),
            asset("iso-equal", "2024-05-01T12:00:00Z"),
            asset("created-only", std::nullopt, "1714564801"),
            asset("bad-updated-good-created", "yesterday", "2024-06-01T00:00:00Z"),
            asset("no-times", std::nullopt),
            asset("seen-after", "1714564850"),
            asset("seen-before", "1714564802"),
        });
        QTRY_COMPARE(changedSpy.count(), 1);
        const QSet<QString> detected{"iso-later", "created-only", "bad-updated-good-created",
                                     "seen-before"};
        QCOMPARE(library.changedMuxAssets(), detected);
        QTRY_VERIFY(fixture.messages().endsWith("Found 4 new/updated MUX assets."));

        // An uploaded asset stays changed across detections until it is marked seen, and
        // then an update from before that moment is no change any more.
        library.markAssetNew("a");
        library.markAssetNew("b");
        library.detectChangedMuxAssets({asset("old", "1")});
        QTRY_COMPARE(fixture.messages().constLast(), "Found 6 new/updated MUX assets.");
        QCOMPARE(library.changedMuxAssets(), (detected + QSet<QString>{"a", "b"}));

        const double before = currentTimeSeconds();
        library.markAssetSeen("a");
        QTRY_COMPARE(library.changedMuxAssets(), detected + QSet<QString>{"b"});
        const auto saved = readWholeFile(stateFileURL(muxStateName)).and_then(decodeMuxState);
        QVERIFY(saved);
        QVERIFY(saved->seenAssetTimes.value(QStringLiteral("a")) >= before);
        QCOMPARE(saved->lastLaunchedAt, 1714564800.0); // marking never moves it
        library.detectChangedMuxAssets({asset("a", QString::number(qint64(before)))});
        QTRY_COMPARE(fixture.messages().constLast(), "Found 5 new/updated MUX assets.");
        QCOMPARE(library.changedMuxAssets(), detected + QSet<QString>{"b"});
    }
};

QTEST_GUILESS_MAIN(TestChangeTracking)
#include "tst_change_tracking.moc"
