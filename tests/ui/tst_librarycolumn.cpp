#include "ConfirmationDialog.h"
#include "LibraryColumn.h"
#include "LibraryFixture.h"
#include "LibraryModel.h"
#include "LibraryView.h"
#include "RefreshButton.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace clipferry;

namespace {

// The operations behind open, delete and refresh (markAssetSeen, deleteSelectedAsset,
// refreshLibrary) are still empty on this branch; the checks of their effects are
// expected to fail until they land, and will then report an unexpected pass.
const char* const workflowPending = "the library-sync operations are not implemented yet";

LibraryColumn::Options offlineOptions() {
    // No disk cache, and stills from a closed loopback port.
    return {QUrl(QStringLiteral("http://127.0.0.1:1")), QString(), 6};
}

class Harness {
public:
    explicit Harness(PlatformConfig config = {})
        : fixture(config)
        , column(*fixture.viewModel, fixture.network, offlineOptions()) {
        column.setUrlOpener([this](const QUrl& url) { opened.append(url); });
        column.view().setAnimated(false);
        column.resize(1200, 700);
    }

    bool show() {
        column.show();
        return QTest::qWaitForWindowExposed(&column);
    }

    UploadViewModel& vm() { return *fixture.viewModel; }
    LibraryView& view() { return column.view(); }
    LibraryModel& model() { return column.model(); }

    QModelIndex header(const QString& key) {
        for (int c = 0; c < model().rowCount(); ++c) {
            const QModelIndex city = model().index(c, 0);
            for (int a = 0; a < model().rowCount(city); ++a) {
                const QModelIndex group = model().index(a, 0, city);
                if (group.data(LibraryModel::ExpansionKeyRole).toString() == key)
                    return group;
            }
        }
        return {};
    }

    QModelIndex video(const QString& key, int row) { return model().index(row, 0, header(key)); }

    void click(const QModelIndex& index, QPoint at = {}) {
        view().scrollTo(index);
        const QRect rect = view().visualRect(index);
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {},
                          at.isNull() ? QPoint(300, rect.center().y()) : at);
    }

    void openGroup(const QString& key) {
        if (!view().isAnimationExpanded(key))
            click(header(key));
    }

    LibraryFixture fixture;
    LibraryColumn column;
    QList<QUrl> opened;
};

QList<MuxAsset> parisAssets() {
    return {
        LibraryFixture::asset(QStringLiteral("a1"), QStringLiteral("E1_Opening_PAR_M01_one.mov")),
        LibraryFixture::asset(QStringLiteral("a2"), QStringLiteral("E2_Opening_PAR_M01_two.mov")),
        LibraryFixture::asset(QStringLiteral("a3"), QStringLiteral("E3_Opening_PAR_M02_three.mov"),
                              false),
        LibraryFixture::asset(QStringLiteral("a4"), QStringLiteral("E1_Opening_LON_M01_four.mov")),
    };
}

bool logContains(const UploadViewModel& vm, const QString& prefix) {
    for (const LogEntry& entry : vm.log())
        if (entry.message.startsWith(prefix))
            return true;
    return false;
}

} // namespace

class TestLibraryColumn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void clickSelectsAndClickAgainOpens();
    void openButtonWithoutPlaybackOpensNothing();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void groupsExpandPerCityAndSurviveResets();
    void localRowsOpenFilesAndNeverDelete();
    void keyboard();
    void refreshButtonFollowsRefreshing();
    void firstShowStartsOneRefresh();
};

void TestLibraryColumn::clickSelectsAndClickAgainOpens() {
    Harness h;
    const auto assets = parisAssets();
    h.vm().setFixtureLibrary(assets, {QStringLiteral("a1"), QStringLiteral("a2")});
    QVERIFY(h.show());
    h.openGroup(QStringLiteral("PAR|Opening"));
    QVERIFY(h.view().isAnimationExpanded(QStringLiteral("PAR|Opening")));

    // First click: selected, nothing opened, still marked.
    h.click(h.video(QStringLiteral("PAR|Opening"), 0));
    QVERIFY(h.vm().selectedAsset());
    QCOMPARE(h.vm().selectedAsset()->id, QStringLiteral("a1"));
    QVERIFY(h.opened.isEmpty());
    QVERIFY(h.video(QStringLiteral("PAR|Opening"), 0).data(LibraryModel::IsNewRole).toBool());

    // Another row moves the selection without marking anything.
    h.click(h.video(QStringLiteral("PAR|Opening"), 1));
    QCOMPARE(h.vm().selectedAsset()->id, QStringLiteral("a2"));
    QVERIFY(h.opened.isEmpty());

    // Second click on the selected row: the stream opens and the marker goes.
    h.click(h.video(QStringLiteral("PAR|Opening"), 1));
    QCOMPARE(h.opened, QList<QUrl>{QUrl(QStringLiteral("https://stream.example/pb-a2.m3u8"))});
    QCOMPARE(h.vm().selectedAsset()->id, QStringLiteral("a2"));
    QEXPECT_FAIL("", workflowPending, Continue);
    QTRY_VERIFY_WITH_TIMEOUT(!h.vm().changedMuxAssets().contains(QStringLiteral("a2")), 500);
    QVERIFY(h.vm().changedMuxAssets().contains(QStringLiteral("a1")));
}

void TestLibraryColumn::openButtonWithoutPlaybackOpensNothing() {
    Harness h;
    h.vm().setFixtureLibrary(parisAssets(), {QStringLiteral("a3")});
    QVERIFY(h.show());
    h.openGroup(QStringLiteral("PAR|Opening"));
    const QModelIndex row = h.video(QStringLiteral("PAR|Opening"), 2);
    h.click(row);
    QCOMPARE(h.vm().selectedAsset()->id, QStringLiteral("a3"));

    h.click(row, h.view().openButtonRect(row).center());
    QVERIFY(h.opened.isEmpty());
    QEXPECT_FAIL("", workflowPending, Continue);
    QTRY_VERIFY_WITH_TIMEOUT(!h.vm().changedMuxAssets().contains(QStringLiteral("a3")), 500);

    // The open button of a row with an address opens it.
    const QModelIndex first = h.video(QStringLiteral("PAR|Opening"), 0);
    h.click(first);
    h.click(first, h.view().openButtonRect(first).center());
    QCOMPARE(h.opened, QList<QUrl>{QUrl(QStringLiteral("https://stream.example/pb-a1.m3u8"))});
}

void TestLibraryColumn::deleteAsksFirst_data() {
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("byButton");
    QTest::newRow("Cancel, Delete key") << false << false;
    QTest::newRow("Delete, Delete key") << true << false;
    QTest::newRow("Cancel, trash button") << false << true;
    QTest::newRow("Delete, trash button") << true << true;
}

void TestLibraryColumn::deleteAsksFirst() {
    QFETCH(bool, accept);
    QFETCH(bool, byButton);
    Harness h;
    h.vm().setFixtureLibrary(parisAssets(), {});
    QVERIFY(h.show());
    h.openGroup(QStringLiteral("PAR|Opening"));
    const QModelIndex row = h.video(QStringLiteral("PAR|Opening"), 1);
    h.click(row);
    QCOMPARE(h.vm().selectedAsset()->id, QStringLiteral("a2"));

    ConfirmationDialog::setNextAnswer(accept);
    if (byButton) {
        h.click(row, h.view().deleteButtonRect(row).center());
    } else {
        h.view().setFocus();
        QTest::keyClick(&h.view(), Qt::Key_Delete);
    }
    QCOMPARE(ConfirmationDialog::lastQuestion(),
             QStringLiteral("Delete \u201CE2_Opening_PAR_M01_two.mov\u201D from Mux? "
                            "This cannot be undone."));
    // The answer arrives from the event loop; only Delete starts the removal.
    if (accept) {
        QEXPECT_FAIL("", workflowPending, Continue);
        QTRY_VERIFY_WITH_TIMEOUT(logContains(h.vm(), QStringLiteral("Deleting asset: E2_Opening")),
                                 500);
    } else {
        QTest::qWait(50);
        QVERIFY(!logContains(h.vm(), QStringLiteral("Deleting asset")));
        QCOMPARE(h.vm().existingAssets().size(), 4);
        QCOMPARE(h.vm().selectedAsset()->id, QStringLiteral("a2"));
    }
}

void TestLibraryColumn::groupsExpandPerCityAndSurviveResets() {
    Harness h;
    const auto assets = parisAssets();
    h.vm().setFixtureLibrary(assets, {});
    QVERIFY(h.show());
    QCOMPARE(h.model().rowCount(h.header(QStringLiteral("PAR|Opening"))), 3);
    QVERIFY(!h.view().isExpanded(h.header(QStringLiteral("PAR|Opening"))));

    h.click(h.header(QStringLiteral("PAR|Opening")));
    QCOMPARE(h.view().expandedAnimations(), QSet<QString>{QStringLiteral("PAR|Opening")});
    QVERIFY(h.view().isExpanded(h.header(QStringLiteral("PAR|Opening"))));
    QVERIFY(!h.view().isExpanded(h.header(QStringLiteral("LON|Opening"))));
    QVERIFY(h.view().visualRect(h.video(QStringLiteral("PAR|Opening"), 0)).isValid());

    // A search, a new listing and a switch to local files keep the open groups.
    h.column.searchField().setText(QStringLiteral("two"));
    QVERIFY(h.view().isExpanded(h.header(QStringLiteral("PAR|Opening"))));
    QCOMPARE(h.model().rowCount(h.header(QStringLiteral("PAR|Opening"))), 1);
    h.column.searchField().clear();
    h.vm().setFixtureLibrary(assets, {});
    QVERIFY(h.view().isExpanded(h.header(QStringLiteral("PAR|Opening"))));
    h.vm().setFixtureLocalVideos(
        {QUrl::fromLocalFile(QStringLiteral("/clips/E1_Opening_PAR_M01_one.mov")),
         QUrl::fromLocalFile(QStringLiteral("/clips/E1_Opening_LON_M01_one.mov"))},
        {});
    h.vm().setProvider(VideoProvider::localFolder);
    QVERIFY(h.view().isExpanded(h.header(QStringLiteral("PAR|Opening"))));
    QVERIFY(!h.view().isExpanded(h.header(QStringLiteral("LON|Opening"))));

    // Closing one city's group leaves the other city's group as it was.
    h.click(h.header(QStringLiteral("LON|Opening")));
    h.click(h.header(QStringLiteral("PAR|Opening")));
    QCOMPARE(h.view().expandedAnimations(), QSet<QString>{QStringLiteral("LON|Opening")});
    QVERIFY(!h.view().isExpanded(h.header(QStringLiteral("PAR|Opening"))));
}

void TestLibraryColumn::localRowsOpenFilesAndNeverDelete() {
    Harness h;
    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/clips/E1_Opening_PAR_M01_one.mov"));
    h.vm().setFixtureLocalVideos({file}, {file});
    h.vm().setProvider(VideoProvider::localFolder);
    QVERIFY(h.show());
    h.openGroup(QStringLiteral("PAR|Opening"));
    const QModelIndex row = h.video(QStringLiteral("PAR|Opening"), 0);
    h.click(row);
    QCOMPARE(h.vm().selectedLocalVideo(), std::optional<QUrl>(file));

    const QString questionBefore = ConfirmationDialog::lastQuestion();
    h.click(row, h.view().deleteButtonRect(row).center());
    h.view().setFocus();
    QTest::keyClick(&h.view(), Qt::Key_Delete);
    QTest::qWait(20);
    QCOMPARE(ConfirmationDialog::lastQuestion(), questionBefore);
    QVERIFY(h.opened.isEmpty());
    QCOMPARE(h.vm().selectedLocalVideo(), std::optional<QUrl>(file));

    h.click(row, h.view().openButtonRect(row).center());
    QCOMPARE(h.opened, QList<QUrl>{file});
    h.click(row);
    QCOMPARE(h.opened, (QList<QUrl>{file, file}));
}

void TestLibraryColumn::keyboard() {
    Harness h;
    h.vm().setFixtureLibrary(parisAssets(), {});
    QVERIFY(h.show());
    h.openGroup(QStringLiteral("PAR|Opening"));
    h.click(h.video(QStringLiteral("PAR|Opening"), 0));
    h.view().setFocus();

    // Arrows move the selection, Return opens it.
    QTest::keyClick(&h.view(), Qt::Key_Down);
    QCOMPARE(h.vm().selectedAsset()->id, QStringLiteral("a2"));
    QTest::keyClick(&h.view(), Qt::Key_Up);
    QCOMPARE(h.vm().selectedAsset()->id, QStringLiteral("a1"));
    QTest::keyClick(&h.view(), Qt::Key_Return);
    QCOMPARE(h.opened, QList<QUrl>{QUrl(QStringLiteral("https://stream.example/pb-a1.m3u8"))});

    // Up onto the header, Return closes the group, Right opens it again.
    QTest::keyClick(&h.view(), Qt::Key_Up);
    QCOMPARE(h.view().currentIndex(), h.header(QStringLiteral("PAR|Opening")));
    QTest::keyClick(&h.view(), Qt::Key_Return);
    QVERIFY(!h.view().isAnimationExpanded(QStringLiteral("PAR|Opening")));
    QTest::keyClick(&h.view(), Qt::Key_Right);
    QVERIFY(h.view().isAnimationExpanded(QStringLiteral("PAR|Opening")));

    // Ctrl+F goes to the search field.
    QTest::keyClick(&h.view(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(h.column.searchField().hasFocus());
}

void TestLibraryColumn::refreshButtonFollowsRefreshing() {
    Harness h;
    QVERIFY(h.show());
    QVERIFY(h.column.refreshButton().isEnabled());
    Q_EMIT h.vm().isRefreshingChanged(true);
    QVERIFY(!h.column.refreshButton().isEnabled());
    QVERIFY(h.column.refreshButton().isBusy());
    Q_EMIT h.vm().isRefreshingChanged(false);
    QVERIFY(h.column.refreshButton().isEnabled());

    // In local mode the button rescans and reports the count.
    h.vm().setProvider(VideoProvider::localFolder);
    QTest::mouseClick(&h.column.refreshButton(), Qt::LeftButton);
    QTRY_VERIFY(logContains(h.vm(), QStringLiteral("Loaded 0 videos from local folder.")));
}

void TestLibraryColumn::firstShowStartsOneRefresh() {
    Harness h;
    QSignalSpy refreshing(h.fixture.viewModel.get(), &UploadViewModel::isRefreshingChanged);
    QVERIFY(h.show());
    QTRY_VERIFY(h.vm().isReady());
    QTRY_VERIFY_WITH_TIMEOUT(!h.vm().isRefreshing(), 2000);
    h.column.hide();
    h.column.show();
    QTest::qWait(50);
    const auto starts = std::count_if(refreshing.begin(), refreshing.end(),
                                      [](const QList<QVariant>& args) { return args[0].toBool(); });
    QEXPECT_FAIL("", workflowPending, Continue);
    QCOMPARE(starts, 1);
}

QTEST_MAIN(TestLibraryColumn)
#include "tst_librarycolumn.moc"
