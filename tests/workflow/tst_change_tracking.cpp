#include "TempHome.h"
#include "TestFiles.h"
#include "ViewModelFixture.h"
#include "model/SeenState.h"
#include "model/StateFolder.h"
#include "workflow/ChangeTime.h"
#include "workflow/UploadViewModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

using namespace clipferry;

namespace {

MuxAsset asset(const QString& id, std::optional<QString> updatedAt,
               std::optional<QString> createdAt = std::nullopt) {
    return {.id = id, .status = "ready", .createdAt = createdAt, .updatedAt = updatedAt};
}

QString muxStatePath() {
    return stateFileURL(QString::fromLatin1(muxStateFileName));
}

void writeMuxState(const MuxState& state) {
    QVERIFY(writeFileAtomically(muxStatePath(), encodeMuxState(state)));
}

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
        QTest::newRow("date only") << "2024-05-01" << -1.0;
        QTest::newRow("space separator") << "2024-05-01 12:00:00Z" << -1.0;
        QTest::newRow("month 13") << "2024-13-01T12:00:00Z" << -1.0;
        QTest::newRow("february 30") << "2024-02-30T12:00:00Z" << -1.0;
        QTest::newRow("signed digits") << "-1714564800" << -1.0;
        QTest::newRow("decimal digits") << "1714564800.5" << -1.0;
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
        writeMuxState({1714564800.0,
                       {{"seen-after", 1714564900.0},
                        {"seen-equal", 1714565000.0},
                        {"seen-before", 1714564801.0}}});
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;
        QSignalSpy changedSpy(viewModel.get(), &UploadViewModel::changedMuxAssetsChanged);

        viewModel->detectChangedMuxAssets({
            asset("iso-later", "2024-05-01T12:00:01Z"),
            asset("iso-equal", "2024-05-01T12:00:00Z"),
            asset("fractional", "2024-05-01T13:00:00.5Z"),
            asset("created-only", std::nullopt, "1714564801"),
            asset("unix-earlier", std::nullopt, "1714564799"),
            asset("bad-updated-good-created", "yesterday", "2024-06-01T00:00:00Z"),
            asset("no-times", std::nullopt),
            asset("seen-after", "1714564850"),
            asset("seen-equal", "1714565000"),
            asset("seen-before", "1714564802"),
        });
        QVERIFY(viewModel->changedMuxAssets().isEmpty()); // posted, not yet applied
        QTRY_COMPARE(changedSpy.count(), 1);
        const QSet<QString> detected{"iso-later", "created-only", "bad-updated-good-created",
                                     "seen-before"};
        QCOMPARE(viewModel->changedMuxAssets(), detected);
        QTRY_VERIFY(fixture.messages().endsWith("Found 4 new/updated MUX assets."));

        // An uploaded asset stays changed across detections until it is marked seen, and
        // then an update from before that moment is no change any more.
        viewModel->markUploadedAssetNew("a");
        viewModel->markUploadedAssetNew("b");
        QCOMPARE(viewModel->changedMuxAssets().size(), 6);
        viewModel->detectChangedMuxAssets({asset("old", "1")});
        QTRY_COMPARE(viewModel->log().constLast().message, "Found 6 new/updated MUX assets.");
        QCOMPARE(viewModel->changedMuxAssets(), (detected + QSet<QString>{"a", "b"}));

        const double before = currentTimeSeconds();
        viewModel->markAssetSeen("a");
        QCOMPARE(viewModel->changedMuxAssets().size(), 6); // the removal is posted
        QTRY_COMPARE(viewModel->changedMuxAssets(), detected + QSet<QString>{"b"});
        const auto saved = readWholeFile(muxStatePath()).and_then(decodeMuxState);
        QVERIFY(saved);
        QVERIFY(saved->seenAssetTimes.value(QStringLiteral("a")) >= before);
        QCOMPARE(saved->lastLaunchedAt, 1714564800.0); // marking never moves it
        viewModel->detectChangedMuxAssets({asset("a", QString::number(qint64(before)))});
        QTRY_COMPARE(viewModel->log().constLast().message, "Found 5 new/updated MUX assets.");
        QCOMPARE(viewModel->changedMuxAssets(), detected + QSet<QString>{"b"});
    }

    void markAllSeenRecordsAssetsAndLocalFiles() {
        TempHome home;
        const QString folder = home.path() + QStringLiteral("/clips");
        for (const auto* name : {"a.mov", "b.MP4"})
            QVERIFY(writeFile(folder + QLatin1Char('/') + QLatin1StringView(name), name));
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;
        viewModel->setLocalFolderURL(QUrl::fromLocalFile(folder));
        QCoro::waitFor(viewModel->loadLocalVideos());
        QTRY_COMPARE(viewModel->changedLocalVideos().size(), 2); // first sight: all new
        viewModel->setFixtureLibrary({asset("a", "2024-05-01T12:00:00Z"), asset("b", "")},
                                     {"a", "b"});
        const double before = currentTimeSeconds();

        viewModel->markAllSeen();
        QTRY_VERIFY(viewModel->changedMuxAssets().isEmpty());
        QTRY_VERIFY(viewModel->changedLocalVideos().isEmpty());
        QTRY_COMPARE(viewModel->log().constLast().message, "Marked all videos as seen");

        const auto saved =
            readWholeFile(home.stateFolder() + QStringLiteral("/LocalVideoState.json"))
                .and_then(decodeLocalVideoState);
        QVERIFY(saved);
        for (const auto& url : viewModel->localVideoURLs()) {
            const auto attributes = QFileInfo(url.toLocalFile());
            const auto record = saved->fileTimes.value(url.toLocalFile());
            QCOMPARE(record.size, attributes.size());
            QCOMPARE(record.modified, attributes.lastModified().toMSecsSinceEpoch() / 1000.0);
        }
        QCOMPARE(saved->fileTimes.size(), 2);
        const auto seen = readWholeFile(muxStatePath()).and_then(decodeMuxState);
        QVERIFY(seen);
        QCOMPARE(seen->seenAssetTimes.size(), 2);
        QVERIFY(seen->seenAssetTimes.value(QStringLiteral("a")) >= before);
        QVERIFY(seen->seenAssetTimes.value(QStringLiteral("b")) >= before);
    }
};

QTEST_GUILESS_MAIN(TestChangeTracking)
#include "tst_change_tracking.moc"
