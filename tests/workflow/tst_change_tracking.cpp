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
    MuxAsset result;
    result.id = id;
    result.status = QStringLiteral("ready");
    result.updatedAt = std::move(updatedAt);
    result.createdAt = std::move(createdAt);
    return result;
}

void writeMuxState(const MuxState& state) {
    QVERIFY(writeFileAtomically(stateFileURL(QString::fromLatin1(muxStateFileName)),
                                encodeMuxState(state)));
}

} // namespace

// Which assets and files count as new or changed, and how marking them seen sticks.
class TestChangeTracking : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void changeTimeParsing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<double>("seconds");
        QTest::newRow("utc") << "2024-05-01T12:00:00Z" << true << 1714564800.0;
        QTest::newRow("offset") << "2024-05-01T14:00:00+02:00" << true << 1714564800.0;
        QTest::newRow("negative offset") << "2024-05-01T07:30:00-04:30" << true << 1714564800.0;
        QTest::newRow("unix seconds") << "1714564800" << true << 1714564800.0;
        QTest::newRow("zero") << "0" << true << 0.0;
        QTest::newRow("fractional seconds") << "2024-05-01T12:00:00.123Z" << false << 0.0;
        QTest::newRow("no zone") << "2024-05-01T12:00:00" << false << 0.0;
        QTest::newRow("date only") << "2024-05-01" << false << 0.0;
        QTest::newRow("space separator") << "2024-05-01 12:00:00Z" << false << 0.0;
        QTest::newRow("month 13") << "2024-13-01T12:00:00Z" << false << 0.0;
        QTest::newRow("february 30") << "2024-02-30T12:00:00Z" << false << 0.0;
        QTest::newRow("signed digits") << "-1714564800" << false << 0.0;
        QTest::newRow("decimal digits") << "1714564800.5" << false << 0.0;
        QTest::newRow("arabic-indic digits") << QString::fromUtf8("١٢٣") << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("too many digits") << "99999999999999999999999" << false << 0.0;
    }

    void changeTimeParsing() {
        QFETCH(QString, text);
        QFETCH(bool, parses);
        QFETCH(double, seconds);
        const auto parsed = parseChangeTime(text);
        QCOMPARE(parsed.has_value(), parses);
        if (parses)
            QCOMPARE(*parsed, seconds);
    }

    void detection() {
        TempHome home;
        // 1714564800 is 2024-05-01T12:00:00Z.
        MuxState state{1714564800.0, {}};
        state.seenAssetTimes.insert(QStringLiteral("seen-after"), 1714564900.0);
        state.seenAssetTimes.insert(QStringLiteral("seen-equal"), 1714565000.0);
        state.seenAssetTimes.insert(QStringLiteral("seen-before"), 1714564801.0);
        writeMuxState(state);
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;
        QSignalSpy changedSpy(viewModel.get(), &UploadViewModel::changedMuxAssetsChanged);

        const QList<MuxAsset> assets{
            asset(QStringLiteral("iso-later"), QStringLiteral("2024-05-01T12:00:01Z")),
            asset(QStringLiteral("iso-equal"), QStringLiteral("2024-05-01T12:00:00Z")),
            asset(QStringLiteral("fractional"), QStringLiteral("2024-05-01T13:00:00.5Z")),
            asset(QStringLiteral("created-only"), std::nullopt, QStringLiteral("1714564801")),
            asset(QStringLiteral("unix-earlier"), std::nullopt, QStringLiteral("1714564799")),
            asset(QStringLiteral("bad-updated-good-created"), QStringLiteral("yesterday"),
                  QStringLiteral("2024-06-01T00:00:00Z")),
            asset(QStringLiteral("no-times"), std::nullopt),
            asset(QStringLiteral("seen-after"), QStringLiteral("1714564850")),
            asset(QStringLiteral("seen-equal"), QStringLiteral("1714565000")),
            asset(QStringLiteral("seen-before"), QStringLiteral("1714564802")),
        };
        viewModel->detectChangedMuxAssets(assets);
        QVERIFY(viewModel->changedMuxAssets().isEmpty()); // posted, not yet applied
        QTRY_COMPARE(changedSpy.count(), 1);
        QCOMPARE(viewModel->changedMuxAssets(),
                 (QSet<QString>{QStringLiteral("iso-later"), QStringLiteral("created-only"),
                                QStringLiteral("bad-updated-good-created"),
                                QStringLiteral("seen-before")}));
        QTRY_VERIFY(!viewModel->log().isEmpty() &&
                    viewModel->log().constLast().message ==
                        QStringLiteral("Found 4 new/updated MUX assets."));
    }

    // An uploaded asset stays changed across detections until it is marked seen, and
    // then an update from before that moment is no change any more.
    void uploadedAssetsStayChangedUntilSeen() {
        TempHome home;
        writeMuxState(MuxState{1714564800.0, {}});
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;
        viewModel->markUploadedAssetNew(QStringLiteral("a"));
        viewModel->markUploadedAssetNew(QStringLiteral("b"));
        QCOMPARE(viewModel->changedMuxAssets().size(), 2);
        viewModel->detectChangedMuxAssets({asset(QStringLiteral("old"), QStringLiteral("1"))});
        QTRY_COMPARE(viewModel->log().constLast().message,
                     QStringLiteral("Found 2 new/updated MUX assets."));
        QCOMPARE(viewModel->changedMuxAssets(),
                 (QSet<QString>{QStringLiteral("a"), QStringLiteral("b")}));

        const double before = currentTimeSeconds();
        viewModel->markAssetSeen(QStringLiteral("a"));
        QCOMPARE(viewModel->changedMuxAssets().size(), 2); // the removal is posted
        QTRY_COMPARE(viewModel->changedMuxAssets(), QSet<QString>{QStringLiteral("b")});
        const auto saved = decodeMuxState(
            readWholeFile(stateFileURL(QString::fromLatin1(muxStateFileName))).value());
        QVERIFY(saved.has_value());
        QVERIFY(saved->seenAssetTimes.value(QStringLiteral("a")) >= before);
        QCOMPARE(saved->lastLaunchedAt, 1714564800.0); // marking never moves it
        viewModel->detectChangedMuxAssets(
            {asset(QStringLiteral("a"), QString::number(qint64(before)))});
        QTRY_COMPARE(viewModel->log().constLast().message,
                     QStringLiteral("Found 1 new/updated MUX assets."));
        QCOMPARE(viewModel->changedMuxAssets(), QSet<QString>{QStringLiteral("b")});
    }

    void markAllSeenRecordsAssetsAndLocalFiles() {
        TempHome home;
        const QString folder = home.path() + QStringLiteral("/clips");
        for (const auto& name : {QStringLiteral("a.mov"), QStringLiteral("b.MP4")})
            QVERIFY(
                writeFile(folder + QLatin1Char('/') + name, QByteArray(name.size() * 100, 'x')));
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;
        viewModel->setLocalFolderURL(QUrl::fromLocalFile(folder));
        QCoro::waitFor(viewModel->loadLocalVideos());
        QTRY_COMPARE(viewModel->changedLocalVideos().size(), 2); // first sight: all new
        viewModel->setFixtureLibrary(
            {asset(QStringLiteral("a"), QStringLiteral("2024-05-01T12:00:00Z")),
             asset(QStringLiteral("b"), QString())},
            {QStringLiteral("a"), QStringLiteral("b")});
        const double before = currentTimeSeconds();

        viewModel->markAllSeen();
        QTRY_VERIFY(viewModel->changedMuxAssets().isEmpty());
        QTRY_VERIFY(viewModel->changedLocalVideos().isEmpty());
        QTRY_COMPARE(viewModel->log().constLast().message,
                     QStringLiteral("Marked all videos as seen"));

        const auto saved = decodeLocalVideoState(
            readWholeFile(home.stateFolder() + QStringLiteral("/LocalVideoState.json")).value());
        QVERIFY(saved.has_value());
        for (const auto& url : viewModel->localVideoURLs()) {
            const auto attributes = QFileInfo(url.toLocalFile());
            const auto record = saved->fileTimes.value(url.toLocalFile());
            QCOMPARE(record.size, attributes.size());
            QCOMPARE(record.modified, attributes.lastModified().toMSecsSinceEpoch() / 1000.0);
        }
        QCOMPARE(saved->fileTimes.size(), 2);
        const auto seen = decodeMuxState(
            readWholeFile(home.stateFolder() + QStringLiteral("/MuxState.json")).value());
        QVERIFY(seen.has_value());
        QCOMPARE(seen->seenAssetTimes.keys().size(), 2);
        QVERIFY(seen->seenAssetTimes.value(QStringLiteral("a")) >= before);
        QVERIFY(seen->seenAssetTimes.value(QStringLiteral("b")) >= before);
    }
};

QTEST_GUILESS_MAIN(TestChangeTracking)
#include "tst_change_tracking.moc"
