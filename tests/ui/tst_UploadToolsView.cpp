#include "ClipFactory.h"
#include "TempHome.h"
#include "TestFiles.h"
#include "ViewModelFixture.h"
#include "ui/common/AppStyle.h"
#include "ui/common/FolderChooser.h"
#include "ui/common/QuestionDialog.h"
#include "ui/sidebar/DropZone.h"
#include "ui/sidebar/ElidedLabel.h"
#include "ui/sidebar/FolderBox.h"
#include "ui/sidebar/SourcePicker.h"
#include "ui/sidebar/UploadItemDelegate.h"
#include "ui/sidebar/UploadListModel.h"
#include "ui/sidebar/UploadToolsView.h"
#include "workflow/DeliveryLedger.h"
#include "workflow/LibrarySync.h"
#include "workflow/UploadQueue.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QListView>

#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

using namespace clipferry;

namespace {

std::unique_ptr<QMimeData> mimeWithUrls(const QList<QUrl>& urls) {
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

// Copies of one real clip under these names in `folder`, those that could be written; a
// drop takes only what FFmpeg reads as video.
QList<QUrl> writeClips(const QString& folder, const QStringList& names) {
    static ClipFactory factory;
    static const QString source = factory.video(QStringLiteral("source.mp4"), {.seconds = 0.4});
    QList<QUrl> files;
    for (const QString& name : names)
        if (const QString target = folder + '/' + name;
            !source.isEmpty() && QDir().mkpath(QFileInfo(target).path()) &&
            (QFile::remove(target), true) && QFile::copy(source, target))
            files.append(QUrl::fromLocalFile(folder + '/' + name));
    return files;
}

// Delivers a drop the way the window system does: enter, then drop at the same spot.
bool dropOn(QWidget* target, const QMimeData& data) {
    const QPointF centre = QRectF(target->rect()).center();
    QDragEnterEvent enter(centre.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

} // namespace

class TestUploadToolsView : public QObject {
    Q_OBJECT

    // Before any QSettings use: QSettings keeps the first location it sees.
    TempHome m_home;
    AppStyle m_style;

private Q_SLOTS:
    void init() {
        QDir(m_home.stateFolder()).removeRecursively();
        // The source and folder a test chose would come back in the next one's window.
        QSettings().clear();
    }

    void droppedFileUrls_data() {
        QTest::addColumn<QList<QUrl>>("offered");
        QTest::addColumn<QList<QUrl>>("expected");
        const QUrl a = QUrl::fromLocalFile("/clips/E1_Opening_ATL_M01_a.mov");
        const QUrl b = QUrl::fromLocalFile("/clips/E1_Opening_ATL_M01_b.mp4");
        const QUrl folder = QUrl::fromLocalFile("/clips/more");
        const QUrl web("https://example.com/c.mov");
        QTest::newRow("files in order, remote address skipped")
            << QList<QUrl>{b, web, a} << QList<QUrl>{b, a};
        QTest::newRow("folder kept as is") << QList<QUrl>{folder} << QList<QUrl>{folder};
    }

    void droppedFileUrls() {
        QFETCH(QList<QUrl>, offered);
        QFETCH(QList<QUrl>, expected);
        QCOMPARE(clipferry::droppedFileUrls(*mimeWithUrls(offered)), expected);
    }

    void dropsUploadEachToTheEndOrAsk() {
        StandInService service;
        // The first drop is refused, so one row ends failed.
        QVERIFY(service.addFault({.method = "POST", .path = "/video/v1/uploads", .status = 400}));
        ViewModelFixture fixture(service);
        UploadToolsView view(*fixture.viewModel, m_style, {"mux.com", {}, {}});
        view.resize(360, 900);
        view.show();
        QAbstractItemModelTester tester(view.uploadList()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);

        // Text is refused when it enters, so the drop itself never arrives.
        QMimeData text;
        text.setText("E1_Opening_ATL_M01.mov");
        QVERIFY(!dropOn(view.dropZone(), text));
        QVERIFY(!view.dropZone()->dropActive());

        const auto files =
            writeClips(m_home.path(), {"E1_Opening_ATL_M01_a.mov", "E1_Opening_ATL_M01_b.mov",
                                       "E2_Finale_MIAS_M02_c.mp4"});
        QCOMPARE(files.size(), 3);

        // Action: the first file alone, then the other two in one drop.
        QVERIFY(dropOn(view.dropZone(), *mimeWithUrls({files.at(0)})));
        QTRY_COMPARE(service.countRequests("POST", "/video/v1/uploads"), 1);
        QVERIFY(service.clearFaults());
        QVERIFY(dropOn(view.dropZone(), *mimeWithUrls({files.at(1), files.at(2)})));
        QVERIFY(!view.dropZone()->dropActive());

        // Verify: one row per file in drop order, each file a batch of its own.
        QAbstractItemModel* model = view.uploadList()->model();
        QTRY_COMPARE(model->rowCount(), 3);
        QCOMPARE(model->index(0, 0).data().toString(), "E1_Opening_ATL_M01_a");
        QCOMPARE(model->index(2, 0).data().toString(), "E2_Finale_MIAS_M02_c");
        QTRY_COMPARE(fixture.messages().count("Started upload batch with 1 videos."), 3);

        const QModelIndex failed = model->index(0, 0);
        QTRY_COMPARE(failed.data(UploadListModel::StatusLabelRole).toString(), "Failed");
        for (int row : {1, 2})
            QTRY_COMPARE(model->index(row, 0).data(UploadListModel::StatusLabelRole), "Done");

        // Rows with an address or an error below the bar are taller than a bare row.
        QStyleOptionViewItem option;
        option.initFrom(view.uploadList());
        QStandardItemModel plain;
        plain.appendRow(new QStandardItem("title"));
        UploadItemDelegate delegate;
        const int bare = delegate.sizeHint(option, plain.index(0, 0)).height();
        QVERIFY(delegate.sizeHint(option, failed).height() > bare);
        QVERIFY(delegate.sizeHint(option, model->index(1, 0)).height() > bare);

        // The failed row's second button retries it.
        const auto actions = [](const QModelIndex& index) {
            return index.data(UploadListModel::ActionsRole).value<QList<int>>();
        };
        QCOMPARE(actions(model->index(1, 0)), QList<int>{UploadListModel::removeAction});
        QCOMPARE(actions(failed),
                 (QList<int>{UploadListModel::removeAction, UploadListModel::retryAction}));
        QListView* list = view.uploadList();
        const QPoint retry = UploadItemDelegate::actionRect(list->visualRect(failed), 1).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, retry);
        QCOMPARE(actions(failed).first(), int(UploadListModel::cancelAction));
        QTRY_COMPARE(failed.data(UploadListModel::StatusLabelRole).toString(), "Done");
        QCOMPARE(view.queueTotals()->text().left(8), QStringLiteral("3 of 3 \u00b7"));
        view.clearFinishedButton()->click();
        QCOMPARE(model->rowCount(), 0);

        // Dropped again among others, the clips the library now holds by name, and a clip named
        // against the convention, wait for one answer; the others go at once; what is no video
        // is named in the log. What the other answers do is the command line's test.
        auto more = writeClips(m_home.path(), {"E2_Finale_MIAS_M02_d.mp4", "final_v3.mov"});
        QCOMPARE(more.size(), 2);
        QVERIFY(writeFile(m_home.path() + "/notes.txt", "E1_Opening_ATL_M01_a.mov\n"));
        more.append(QUrl::fromLocalFile(m_home.path() + "/notes.txt"));
        QTRY_COMPARE(fixture.viewModel->existingAssets().size(), 3);
        const auto exports = fixture.messages().count("Google Sheet updated.");
        const int posts = service.countRequests("POST", "/video/v1/uploads");
        QuestionDialog::setNextAnswer(0); // Replace
        QVERIFY(dropOn(view.dropZone(), *mimeWithUrls({files.at(0), more.at(0), files.at(1),
                                                       more.at(1), more.at(2)})));
        QTRY_COMPARE(fixture.viewModel->uploads().size(), 4);
        QCOMPARE(QuestionDialog::lastQuestion(),
                 "2 of these clips are already on Mux: E1_Opening_ATL_M01_a.mov, "
                 "E1_Opening_ATL_M01_b.mov. Upload them again? Replace deletes the old version "
                 "once the new one is done, and its playback address stops working. "
                 "final_v3.mov does not follow the naming convention "
                 "(element_animation_CITY_match_file) and will appear under \u201cUnsorted\u201d.");
        QVERIFY(fixture.messages().contains("Not added, not video clips: notes.txt"));
        QTRY_VERIFY_WITH_TIMEOUT(fixture.messages().count("Google Sheet updated.") > exports,
                                 20000);
        QTRY_COMPARE(fixture.viewModel->completedBatchUploads(),
                     fixture.viewModel->pendingBatchUploads());
        QCOMPARE(service.countRequests("POST", "/video/v1/uploads"), posts + 4);
        const QJsonArray assets = service.assets();
        const auto isB = [](const QJsonValue& asset) {
            return asset["passthrough"] == "E1_Opening_ATL_M01_b.mov";
        };
        QCOMPARE(std::count_if(assets.begin(), assets.end(), isB), 1);
    }

    // A row as a screen reader meets it, and its keys, through an upload paused and resumed
    // and then a failed one: the accessible text says the status, the progress and the error,
    // the description the keys, and each key acts on the row.
    void uploadRowForKeyboardAndScreenReaders() {
        StandInService service;
        QVERIFY(service.addFault({.method = "PUT",
                                  .path = "/_upload/*",
                                  .times = 1,
                                  .hang = true,
                                  .dropAfterBytes = 300000}));
        ViewModelFixture fixture(service);
        UploadToolsView view(*fixture.viewModel, m_style, {"mux.com", {}, {}});
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QListView* list = view.uploadList();
        const auto status = [list](int row) {
            return list->model()->index(row, 0).data(UploadListModel::StatusLabelRole).toString();
        };
        // Empty when the row's text holds every part and its description names these keys.
        const auto unspoken = [list](int row, const QStringList& parts, const QString& keys) {
            auto* cell =
                QAccessible::queryAccessibleInterface(list)->tableInterface()->cellAt(row, 0);
            const QString spoken = cell->text(QAccessible::Name);
            const QString description = cell->text(QAccessible::Description);
            const bool all = std::all_of(parts.begin(), parts.end(), [&](const QString& part) {
                return spoken.contains(part);
            });
            return all && description == keys ? QString() : spoken + " | " + description;
        };
        QVERIFY(writeRandomFile(m_home.path() + "/clip.mov", 1000000));
        fixture.viewModel->startUploadBatch({QUrl::fromLocalFile(m_home.path() + "/clip.mov")});
        list->setFocus();
        list->setCurrentIndex(list->model()->index(0, 0));

        QTRY_VERIFY(fixture.viewModel->uploads()[0].bytesSent > 0);
        QCOMPARE(unspoken(0, {"clip, Uploading, ", " %"}, "Delete cancels, Space pauses"),
                 QString());
        QTest::keyClick(list, Qt::Key_Space);
        QTRY_COMPARE(status(0), "Paused");
        QVERIFY(service.releaseHangingReplies());
        QTRY_VERIFY(fixture.workspace->uploadQueue().canResume(0));
        QCOMPARE(unspoken(0, {"clip, Paused, ", " %"}, "Delete cancels, Space resumes"), QString());
        QTest::keyClick(list, Qt::Key_Space);
        QTRY_COMPARE(status(0), "Done");

        QVERIFY(service.addFault({.method = "PUT", .path = "/_upload/*", .status = 403}));
        const QString broken = m_home.path() + "/broken.mov";
        QVERIFY(writeRandomFile(broken, 1000000));
        fixture.viewModel->startUploadBatch({QUrl::fromLocalFile(broken)});
        QTRY_COMPARE(status(1), "Failed");
        QCOMPARE(
            unspoken(1, {"broken, Failed, ", "Upload failed: the storage host answered HTTP 403."},
                     "Delete removes, R retries"),
            QString());
        list->setCurrentIndex(list->model()->index(1, 0));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->model()->rowCount(), 1);
        const auto journal = fixture.workspace->ledger().entries();
        QVERIFY(std::none_of(journal->begin(), journal->end(),
                             [&](const UploadRecord& entry) { return entry.filePath == broken; }));
    }

    // Without a mouse: Ctrl+O opens the chooser; a chosen folder gives its top-level clips.
    void addFilesFromTheKeyboard() {
        ViewModelFixture fixture;
        QDir(m_home.path()).mkpath("pick/sub");
        QCOMPARE(writeClips(m_home.path() + "/pick", {"E1_Opening_ATL_M01_a.mov"}).size(), 1);
        QCOMPARE(writeClips(m_home.path() + "/pick/sub", {"E1_Opening_ATL_M01_b.mov"}).size(), 1);
        UploadToolsView view(*fixture.viewModel, m_style, {"mux.com", {}, {}});
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QSignalSpy opened(view.dropZone()->fileChooser(), &FolderChooser::opened);
        view.dropZone()->fileChooser()->setNextAnswer(
            {QUrl::fromLocalFile(m_home.path() + "/pick")});

        QTest::keyClick(&view, Qt::Key_O, Qt::ControlModifier);

        QCOMPARE(opened.count(), 1);
        QTRY_COMPARE(fixture.viewModel->uploads().size(), 1);
        QCOMPARE(fixture.viewModel->uploads().first().title, "E1_Opening_ATL_M01_a");
    }

    // Each source shows its own tools, and at the narrowest the window lets the panel be it
    // holds all it shows: nothing runs past its edge under the library.
    void sourceDecidesWhatShows_data() {
        QTest::addColumn<bool>("canUpload");
        QTest::newRow("can upload") << true;
        QTest::newRow("cannot upload") << false;
    }

    void sourceDecidesWhatShows() {
        QFETCH(bool, canUpload);
        ViewModelFixture fixture(PlatformConfig(canUpload, true, true, true, true, false));
        // A chosen folder keeps the chooser from opening when the source switches.
        const QString folder = m_home.path() + "/Clips of the whole tournament, every city";
        QVERIFY(QDir().mkpath(folder));
        fixture.viewModel->setLocalFolderURL(QUrl::fromLocalFile(folder));
        UploadToolsView view(*fixture.viewModel, m_style, {"mux.com", {}, {}});
        view.show();
        QSignalSpy chooserOpened(view.folderChooser(), &FolderChooser::opened);

        for (const bool local : {false, true}) {
            if (local)
                QTest::mouseClick(view.sourcePicker()->segment(VideoProvider::localFolder),
                                  Qt::LeftButton);
            QCOMPARE(fixture.viewModel->provider(),
                     local ? VideoProvider::localFolder : VideoProvider::webMux);
            QCOMPARE(view.dropZone()->isVisible(), canUpload && !local);
            QCOMPARE(view.folderBox()->isVisible(), local);
            view.resize(view.minimumSizeHint().width(), 900);
            QCoreApplication::processEvents();
            for (const auto* child : view.widget()->findChildren<QWidget*>()) {
                const int left = child->mapTo(view.viewport(), QPoint()).x();
                QVERIFY2(!child->isVisible() ||
                             (left >= 0 && left + child->width() <= view.viewport()->width()),
                         child->metaObject()->className());
            }
        }
        QCOMPARE(chooserOpened.count(), 0);
    }

    // Without a folder the local source opens the chooser; cancelling it changes nothing, and
    // the subfolder switch only remembers. Choosing a folder shows it and scans it; the switch
    // turned again rescans it.
    void choosingAFolderShowsAndScansIt() {
        ViewModelFixture fixture;
        UploadToolsView view(*fixture.viewModel, m_style, {"mux.com", {}, {}});
        view.resize(360, 800);
        view.show();
        QCoreApplication::processEvents();
        const QStringList logBefore = fixture.messages();
        QSignalSpy finished(view.folderChooser(), &FolderChooser::finished);
        view.folderChooser()->setNextAnswer({});

        QTest::mouseClick(view.sourcePicker()->segment(VideoProvider::localFolder), Qt::LeftButton);
        QVERIFY(finished.wait());
        view.folderBox()->includeSubfoldersBox()->click();
        QCoreApplication::processEvents();
        QVERIFY(fixture.viewModel->includeSubfolders());
        QVERIFY(!fixture.viewModel->localFolderURL());
        QCOMPARE(fixture.messages(), logBefore);
        QVERIFY(view.folderBox()->pathLabel()->isHidden());
        QVERIFY(!view.folderChooser()->isOpen());

        const QString folder = m_home.path() + "/Show Clips";
        const QStringList names{"E1_Opening_ATL_M01_a.mov", "Day 2/E1_Opening_ATL_M01_b.mov",
                                "notes.txt"};
        QCOMPARE(writeClips(folder, names).size(), 3);
        view.folderChooser()->setNextAnswer({QUrl::fromLocalFile(folder)});

        QTest::mouseClick(view.folderBox()->chooseButton(), Qt::LeftButton);
        QVERIFY(finished.wait());

        QCOMPARE(fixture.viewModel->localFolderURL(), QUrl::fromLocalFile(folder));
        // The scan runs in the background; the choice is logged after its line.
        QTRY_VERIFY(fixture.messages().contains("Selected local folder: " + folder));
        const QStringList log = fixture.messages();
        QCOMPARE(
            log.indexOf("Selected local folder: " + folder),
            log.indexOf("Loaded 2 videos from local folder (including subfolders): " + folder) + 1);
        QCOMPARE(view.folderBox()->pathLabel()->fullText(), folder);
        QVERIFY(view.folderBox()->pathLabel()->isVisible());

        fixture.viewModel->setIncludeSubfolders(false);
        QVERIFY(!view.folderBox()->includeSubfoldersBox()->isChecked());
        QTRY_VERIFY(fixture.messages().contains("Loaded 1 videos from local folder: " + folder));

        // The delivery switches only forward; "Replace changed clips" goes with the first.
        QVERIFY(!view.folderBox()->replaceChangedBox()->isEnabled());
        view.folderBox()->deliverNewClipsBox()->click();
        QVERIFY(fixture.viewModel->deliverNewClips());
        QVERIFY(view.folderBox()->replaceChangedBox()->isEnabled());
        fixture.viewModel->setReplaceChangedClips(true);
        QVERIFY(view.folderBox()->replaceChangedBox()->isChecked());
    }
};

QTEST_MAIN(TestUploadToolsView)
#include "tst_UploadToolsView.moc"
