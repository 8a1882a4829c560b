#include "ClipFactory.h"
#include "StandInService.h"
#include "TempHome.h"
#include "TestFiles.h"
#include "ViewModelFixture.h"
#include "ui/common/AppStyle.h"
#include "ui/common/ConfirmationDialog.h"
#include "ui/common/QuestionDialog.h"
#include "ui/library/LibraryColumn.h"
#include "ui/library/LibraryDelegate.h"
#include "ui/library/LibraryModel.h"
#include "ui/library/LibraryView.h"
#include "ui/library/RefreshButton.h"
#include "ui/library/ThumbnailLoader.h"

#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace clipferry;

namespace {

const QString parOpening = "PAR|Opening";
// What a click sets off (a question, a request) shows well within this.
constexpr int requestBound = 1000;
const QString lonOpening = "LON|Opening";

LibraryColumn::Options offlineOptions() {
    // No disk cache, and stills from a closed loopback port.
    return {QUrl("http://127.0.0.1:1"), QString(), 6};
}

// The last line of a finished refresh, from the service or from a local folder.
int finishedListings(const ViewModelFixture& fixture) {
    static const QRegularExpression line(
        "^Loaded \\d+ (total assets from MUX|videos from local folder)\\.$");
    return int(fixture.messages().filter(line).size());
}

// The column over a view model that lists from a stand-in service of its own. The first
// show lists; show() returns once that listing has landed, so every test acts on the
// library the service holds.
class Harness {
public:
    explicit Harness(const QJsonArray& assets = {})
        : fixture(service)
        , column(*fixture.viewModel, fixture.network, style, offlineOptions()) {
        fixture.viewModel->setCityMap(ViewModelFixture::cities());
        seeded = service.isRunning() && service.seedAssets(assets);
        column.setUrlOpener([this](const QUrl& url) { opened.append(url); });
        column.view().setAnimated(false);
        column.resize(1200, 700);
    }

    ~Harness() {
        // Requests still running when the view model goes would resume into freed objects.
        const bool settled = QTest::qWaitFor([this] {
            return !vm().isRefreshing() && column.remoteThumbnails().inFlightCount() == 0 &&
                   column.localThumbnails().inFlightCount() == 0;
        });
        if (!settled)
            qWarning("the column's requests were still running when the test ended");
    }

    [[nodiscard]] bool show() {
        if (!seeded)
            return false;
        column.show();
        return QTest::qWaitForWindowExposed(&column) && waitForListings(1);
    }

    // Until `count` refreshes have finished and their change sets landed.
    [[nodiscard]] bool waitForListings(int count) {
        return QTest::qWaitFor(
            [&] { return !vm().isRefreshing() && finishedListings(fixture) >= count; });
    }

    // A folder of plain files named as clips, shown as the local library.
    void useLocalFolder(const QStringList& names) {
        const QString folder = home.path() + "/clips";
        for (const QString& name : names)
            (void)writeFile(folder + QLatin1Char('/') + name, "not really a clip");
        vm().setLocalFolderURL(QUrl::fromLocalFile(folder));
        vm().setProvider(VideoProvider::localFolder);
    }

    UploadViewModel& vm() { return *fixture.viewModel; }
    LibraryView& view() { return column.view(); }
    LibraryModel& model() { return column.model(); }

    QModelIndex header(const QString& key) {
        return model()
            .match(model().index(0, 0), LibraryModel::ExpansionKeyRole, key, 1,
                   Qt::MatchExactly | Qt::MatchRecursive)
            .value(0);
    }

    QModelIndex video(const QString& key, int row) { return model().index(row, 0, header(key)); }

    void click(const QModelIndex& index, QPoint at = {}) {
        view().scrollTo(index);
        const QRect rect = view().visualRect(index);
        QTest::mouseClick(view().viewport(), Qt::LeftButton, {},
                          at.isNull() ? QPoint(300, rect.center().y()) : at);
    }

    TempHome home;
    StandInService service;
    ViewModelFixture fixture;
    AppStyle style;
    LibraryColumn column;
    QList<QUrl> opened;
    bool seeded = false;
};

// Paris: two videos of M01 and one without a playback address in M02; one London video.
QJsonArray parisAssets(const QSet<QString>& newIDs = {}) {
    const auto asset = [&](const QString& id, const QString& name, bool withPlayback = true) {
        return ViewModelFixture::assetJson(id, name, withPlayback, newIDs.contains(id));
    };
    return {asset("a1", "E1_Opening_PAR_M01_one.mov"), asset("a2", "E2_Opening_PAR_M01_two.mov"),
            asset("a3", "E3_Opening_PAR_M02_three.mov", false),
            asset("a4", "E1_Opening_LON_M01_four.mov")};
}

} // namespace

class TestLibraryColumn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A click selects, a second click or the row's open button opens; so do the keys. The
    // delete key and button each ask; what a delete does after is the view model's test.
    void clickOrKeysSelectOpenAndDelete() {
        Harness h(parisAssets({"a1", "a2", "a3"}));
        QVERIFY(h.show());
        h.click(h.header(parOpening));

        // First click: selected, nothing opened, still marked.
        h.click(h.video(parOpening, 1));
        QCOMPARE(h.vm().selectedAsset()->id, "a2");
        QVERIFY(h.opened.isEmpty());
        QVERIFY(h.video(parOpening, 1).data(LibraryModel::IsNewRole).toBool());

        // Second click on the selected row: the stream opens and the marker goes.
        h.click(h.video(parOpening, 1));
        QCOMPARE(h.opened, QList<QUrl>{QUrl("https://stream.example/pb-a2.m3u8")});
        QTRY_VERIFY(!h.vm().changedMuxAssets().contains("a2"));
        QVERIFY(!h.video(parOpening, 1).data(LibraryModel::IsNewRole).toBool());
        QVERIFY(h.vm().changedMuxAssets().contains("a1"));

        // The open button of a row without an address opens nothing, but the video counts as seen.
        const QModelIndex row = h.video(parOpening, 2);
        h.click(row);
        QCOMPARE(h.vm().selectedAsset()->id, "a3");
        h.click(row, h.view().openButtonRect(row).center());
        QCOMPARE(h.opened.size(), 1);
        QTRY_VERIFY(!h.vm().changedMuxAssets().contains("a3"));

        // Arrows move the selection, Return opens it.
        h.view().setFocus();
        QTest::keyClick(&h.view(), Qt::Key_Up);
        QCOMPARE(h.vm().selectedAsset()->id, "a2");
        QTest::keyClick(&h.view(), Qt::Key_Return);
        QCOMPARE(h.opened.last(), QUrl("https://stream.example/pb-a2.m3u8"));
        QTest::keyClick(&h.view(), Qt::Key_Up);
        QCOMPARE(h.vm().selectedAsset()->id, "a1");

        // Up onto the header, Return closes the group, Right opens it again.
        QTest::keyClick(&h.view(), Qt::Key_Up);
        QCOMPARE(h.view().currentIndex(), h.header(parOpening));
        QTest::keyClick(&h.view(), Qt::Key_Return);
        QVERIFY(!h.view().isAnimationExpanded(parOpening));
        QTest::keyClick(&h.view(), Qt::Key_Right);
        QVERIFY(h.view().isAnimationExpanded(parOpening));

        // F5 lists again; Ctrl+F goes to the search field.
        QTest::keyClick(&h.view(), Qt::Key_F5);
        QVERIFY(h.waitForListings(2));
        QTest::keyClick(&h.view(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(h.column.searchField().hasFocus());

        h.view().setFocus();
        // Ctrl+C copies the selected row's playback address; the menu key opens the row's
        // menu, whose Open in Browser opens the stream.
        QTest::keyClick(&h.view(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), "https://stream.example/pb-a1.m3u8");
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        QCoreApplication::sendEvent(h.view().viewport(), &menuKey);
        auto* menu = h.column.findChild<QMenu*>("videoMenu");
        QVERIFY(menu);
        QStringList items;
        for (QAction* action : menu->actions())
            items.append(action->text());
        QCOMPARE(items,
                 (QStringList{"Copy Playback Address", "Open in Browser", "", "Delete\u2026"}));
        menu->actions().at(1)->trigger();
        QCOMPARE(h.opened.last(), QUrl("https://stream.example/pb-a1.m3u8"));
        menu->close();

        ConfirmationDialog::setNextAnswer(false);
        QTest::keyClick(&h.view(), Qt::Key_Delete);
        QCOMPARE(ConfirmationDialog::lastQuestion(),
                 "Delete \u201CE1_Opening_PAR_M01_one.mov\u201D from Mux? This cannot be undone.");
        // The answer arrives from the event loop: no delete follows it.
        QVERIFY(!QTest::qWaitFor([&] { return h.service.countRequests("DELETE", "*") > 0; },
                                 requestBound));
        ConfirmationDialog::setNextAnswer(true);
        const QModelIndex first = h.video(parOpening, 0);
        h.click(first, h.view().deleteButtonRect(first).center());
        QTRY_COMPARE(h.model().rowCount(h.header(parOpening)), 2);
        QCOMPARE(h.service.countRequests("DELETE", "/video/v1/assets/a1"), 1);
        QVERIFY(!h.model().selectedVideoIndex().isValid());
    }

    // Groups open per city and stay open through a search and a switch to local files. Local
    // rows open the file and show a picture of it; deleting them is the file manager's job.
    void groupsAndLocalRows() {
        if (!ClipFactory::ffmpegAvailable())
            QSKIP("needs the ffmpeg command-line tool");
        ClipFactory clips;
        const QString clip = clips.video("E1_Opening_PAR_M01_one.mov");
        QVERIFY2(!clip.isEmpty(), qPrintable(clips.lastError()));
        QVERIFY(writeFile(clips.folder() + "/E1_Opening_LON_M01_one.mov", "not really a clip"));
        const QUrl file = QUrl::fromLocalFile(clip);
        Harness h(parisAssets());
        QVERIFY(h.show());
        QVERIFY(!h.view().isExpanded(h.header(parOpening)));

        h.click(h.header(parOpening));
        QCOMPARE(h.view().expandedAnimations(), QSet<QString>{parOpening});
        QVERIFY(h.view().isExpanded(h.header(parOpening)));
        QVERIFY(!h.view().isExpanded(h.header(lonOpening)));
        // The painted chevron says which: pointing down (wider than tall) when open.
        const auto chevronPointsDown = [&](const QString& key) {
            const QModelIndex index = h.header(key);
            const auto& group = std::get<AnimationGroup>(LibraryModel::nodeAt(index)->payload);
            const QRect chevron =
                LibraryDelegate::animationHeaderLayout(h.view().visualRect(index), h.view().font(),
                                                       group, h.view().isExpanded(index))
                    .chevron;
            const QImage image = h.view().viewport()->grab(chevron).toImage();
            QRect ink;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != image.pixel(0, 0))
                        ink |= QRect(x, y, 1, 1);
            return ink.width() > ink.height();
        };
        QVERIFY(chevronPointsDown(parOpening) && !chevronPointsDown(lonOpening));

        h.column.searchField().setText("two");
        QVERIFY(h.view().isExpanded(h.header(parOpening)));
        QCOMPARE(h.model().rowCount(h.header(parOpening)), 1);
        h.column.searchField().clear();
        h.vm().setLocalFolderURL(QUrl::fromLocalFile(clips.folder()));
        h.vm().setProvider(VideoProvider::localFolder);
        h.column.refresh();
        QTRY_COMPARE(h.model().rowCount(h.header(lonOpening)), 1);
        QVERIFY(h.view().isExpanded(h.header(parOpening)));
        QVERIFY(!h.view().isExpanded(h.header(lonOpening)));
        // At the column's own width the open header's texts, the widest, stand apart.
        h.column.resize(h.column.sizeHint().width(), 700);
        const QModelIndex header = h.header(parOpening);
        const auto parts = LibraryDelegate::animationHeaderLayout(
            h.view().visualRect(header), h.view().font(),
            std::get<AnimationGroup>(LibraryModel::nodeAt(header)->payload), true);
        QList<QRect> texts{parts.name, parts.progress, parts.delivered};
        texts << QList<QRect>(parts.headings.begin(), parts.headings.end());
        for (qsizetype i = 0; i < texts.size(); ++i)
            for (const QRect& other : texts.mid(i + 1))
                QVERIFY(!texts[i].intersects(other));
        QVERIFY(!parts.delivered.isEmpty() && !parts.headings[0].isEmpty());

        const QModelIndex row = h.video(parOpening, 0);
        QVERIFY(row.data(LibraryModel::IsNewRole).toBool());
        h.click(row);
        QCOMPARE(h.vm().selectedLocalVideo(), std::optional<QUrl>(file));
        const QString questionBefore = ConfirmationDialog::lastQuestion();
        h.click(row, h.view().deleteButtonRect(row).center());
        h.view().setFocus();
        QTest::keyClick(&h.view(), Qt::Key_Delete);
        // Neither asks nor removes the file.
        QVERIFY(!QTest::qWaitFor(
            [&] {
                return ConfirmationDialog::lastQuestion() != questionBefore || !QFile::exists(clip);
            },
            requestBound));
        QVERIFY(h.opened.isEmpty());
        QCOMPARE(h.vm().selectedLocalVideo(), std::optional<QUrl>(file));
        h.click(row, h.view().openButtonRect(row).center());
        QCOMPARE(h.opened, QList<QUrl>{file});
        QTRY_VERIFY(!h.video(parOpening, 0).data(LibraryModel::IsNewRole).toBool());
        // The painted row asks for its picture; what is not a clip is the provider's test.
        ThumbnailLoader& loader = h.column.localThumbnails();
        QTRY_VERIFY_WITH_TIMEOUT(
            loader.lookup(file.toString()).state != ThumbnailLoader::State::Loading, 30000);
        QCOMPARE(loader.lookup(file.toString()).state, ThumbnailLoader::State::Ready);

        // Closing one city's group leaves the other city's group as it was.
        h.click(h.header(lonOpening));
        h.click(h.header(parOpening));
        QCOMPARE(h.view().expandedAnimations(), QSet<QString>{lonOpening});
        QVERIFY(!h.view().isExpanded(h.header(parOpening)));
    }

    // The first show lists once, a later start too; the button follows the refresh.
    void refreshButtonFollowsRefreshing() {
        Harness h(parisAssets());
        QSignalSpy refreshing(h.fixture.viewModel.get(), &UploadViewModel::isRefreshingChanged);
        QVERIFY(h.show());

        // Showing the column again (un-minimising, switching back) lists nothing more.
        h.column.hide();
        h.column.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.column));
        QCoreApplication::processEvents();
        QCOMPARE(refreshing.count(), 2);

        // While the service holds the listing back the button is busy and cannot start another.
        QVERIFY(h.service.addFault(
            {.method = "GET", .path = "/video/v1/assets", .times = 1, .delayMs = 60000}));
        QTest::mouseClick(&h.column.refreshButton(), Qt::LeftButton);
        QVERIFY(!h.column.refreshButton().isEnabled());
        QVERIFY(h.column.refreshButton().isBusy());
        QTRY_COMPARE(h.service.countRequests("GET", "/video/v1/assets"), 2);
        QTest::keyClick(&h.view(), Qt::Key_F5);
        QVERIFY(h.service.releaseHangingReplies());
        QVERIFY(h.waitForListings(2));
        QVERIFY(h.column.refreshButton().isEnabled());
        QVERIFY(!h.column.refreshButton().isBusy());
        QCOMPARE(h.service.countRequests("GET", "/video/v1/assets"), 2);

        // A second start in the same home shows the kept listing once drawn, dimmed until its
        // own lands.
        ViewModelFixture next(h.service);
        LibraryColumn column(*next.viewModel, next.network, h.style, offlineOptions());
        auto* bar = column.findChild<QProgressBar*>("listingBar");
        QVERIFY(h.service.addFault({.path = "/video/v1/assets", .times = 1, .hang = true}));
        column.show();
        QTRY_COMPARE(column.model().rowCount(), 2);
        QVERIFY(!bar->isHidden());
        QVERIFY(!column.view().isEnabled());
        QVERIFY(h.service.releaseHangingReplies());
        QTRY_VERIFY(bar->isHidden());
        QVERIFY(column.view().isEnabled());
    }

    // What the empty view says follows the search, the keys and the source as they change.
    void emptyLibrarySaysWhatToDo() {
        Harness h;
        QCOMPARE(h.view().emptyText(),
                 "The library is empty. Drop clips on the left to upload them.");
        h.column.searchField().setText("PAR");
        QCOMPARE(h.view().emptyText(), "No clips match.");
        h.column.searchField().clear();
        h.vm().setTokenSecret(QString());
        QCOMPARE(h.view().emptyText(),
                 "Enter your Mux API keys with the gear on the left to see the library.");
        h.vm().setProvider(VideoProvider::localFolder);
        QTRY_COMPARE(h.view().emptyText(), "Choose a folder of clips on the left.");
    }

    void uploadShownSendsMissingAndChanged() {
        QJsonObject old = ViewModelFixture::assetJson("old", "E2_Opening_PAR_M01_two.mov");
        old.insert("created_at", "1000");
        Harness h(QJsonArray{parisAssets().first(), old});
        h.useLocalFolder({"E1_Opening_PAR_M01_one.mov", "E2_Opening_PAR_M01_two.mov",
                          "E3_Opening_PAR_M01_three.mov"});
        QVERIFY(h.show());
        QPushButton& button = h.column.uploadShownButton();
        QTRY_COMPARE(button.text(), "Upload 2");
        QVERIFY(button.isVisible());
        h.column.deliveryFilter().setCurrentIndex(1); // Not on Mux
        QCOMPARE(button.text(), "Upload 1");
        h.column.deliveryFilter().setCurrentIndex(0);

        QuestionDialog::setNextAnswer(2); // Cancel
        button.click();
        // The question names the clip and what Replace costs.
        QCOMPARE(QuestionDialog::lastQuestion(),
                 "1 of these clips changed since its upload: E2_Opening_PAR_M01_two.mov. Replace "
                 "the old version on Mux once the new one is done (its playback address then "
                 "stops working), or keep both?");
        QCoreApplication::processEvents();
        QVERIFY(h.vm().uploads().isEmpty());
        QuestionDialog::setNextAnswer(0); // Replace
        button.click();
        // What a replacing batch does is the delivery test's; here that the answer went.
        QTRY_COMPARE(h.vm().uploads().size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(h.service.countRequests("DELETE", "/video/v1/assets/old"), 1,
                                  20000);
    }
};

QTEST_MAIN(TestLibraryColumn)
#include "tst_librarycolumn.moc"
