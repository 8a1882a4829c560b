#include "ClipFactory.h"
#include "TempHome.h"
#include "ViewModelFixture.h"
#include "model/SeenState.h"
#include "model/StateFolder.h"
#include "workflow/LocalFolderScan.h"
#include "workflow/UploadViewModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <sys/stat.h>

using namespace clipferry;

namespace {

QStringList relativePaths(const QList<QUrl>& files, const QString& root) {
    QStringList paths;
    for (const auto& file : files)
        paths.append(QDir(root).relativeFilePath(file.toLocalFile()));
    return paths;
}

QString lastMessage(const UploadViewModel& viewModel) {
    return viewModel.log().isEmpty() ? QString() : viewModel.log().constLast().message;
}

std::optional<LocalVideoState> storedLocalState() {
    const auto bytes = readWholeFile(stateFileURL(QString::fromLatin1(localVideoStateFileName)));
    if (!bytes)
        return std::nullopt;
    auto state = decodeLocalVideoState(*bytes);
    return state ? std::optional(*state) : std::nullopt;
}

void setModified(const QString& path, const QDateTime& time) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

} // namespace

// Listing a chosen folder, flagging new and changed files against the seen-state, and
// marking files seen.
class TestLocalScan : public QObject {
    Q_OBJECT

    // A view model in the surrounding home, showing `folder` unless it is empty.
    static std::unique_ptr<ViewModelFixture> showing(const QString& folder) {
        auto fixture = std::make_unique<ViewModelFixture>();
        if (!folder.isEmpty())
            fixture->viewModel->setLocalFolderURL(QUrl::fromLocalFile(folder));
        return fixture;
    }

private Q_SLOTS:
    void listsVideosByName_data() {
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("flat") << false << QStringList{"a.MP4", "b.mov", "g.mxf"};
        QTest::newRow("recursive")
            << true << QStringList{"a.MP4", "b.mov",     "clips.mov/inner.mp4",
                                   "g.mxf", "sub/d.mkv", "sub/deeper/f.AVI"};
    }
    void listsVideosByName() {
        QFETCH(bool, recursive);
        QFETCH(QStringList, expected);
        TempHome home;
        ClipFactory tree;
        for (const auto* name : {"a.MP4", "b.mov", "c.txt", ".hidden.mp4", "d.m4v", "e.webm",
                                 "g.mxf", "mp4", "sub/d.mkv", "sub/deeper/f.AVI",
                                 ".hiddendir/x.mp4", "sub/.h/y.mov", "clips.mov/inner.mp4"})
            QVERIFY(!tree.file(QString::fromLatin1(name), "x").isEmpty());
        // Only regular files: a pipe named like a clip would hang whoever opens it.
        QCOMPARE(mkfifo(QFile::encodeName(tree.folder() + "/sub/x.mov").constData(), 0600), 0);

        auto fixture = showing(tree.folder());
        auto& viewModel = fixture->viewModel;
        viewModel->setIncludeSubfolders(recursive);
        QCoro::waitFor(viewModel->loadLocalVideos());

        auto listed = relativePaths(viewModel->localVideoURLs(), tree.folder());
        listed.sort();
        QCOMPARE(listed, expected);
        const auto line =
            QStringLiteral("Loaded %1 videos from local folder%2: %3")
                .arg(expected.size())
                .arg(recursive ? QStringLiteral(" (including subfolders)") : QString(),
                     tree.folder());
        QTRY_VERIFY(fixture->messages().contains(line));
    }

    void unreadableSubfolderIsPassedOver() {
        TempHome home;
        ClipFactory tree;
        QVERIFY(!tree.file(QStringLiteral("a.mp4")).isEmpty());
        QVERIFY(!tree.file(QStringLiteral("locked/b.mp4")).isEmpty());
        QVERIFY(!tree.file(QStringLiteral("open/c.mp4")).isEmpty());
        const auto locked = tree.folder() + QStringLiteral("/locked");
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions{}));
        const bool enforced = QDir(locked).entryList(QDir::Files).isEmpty();
        if (enforced) {
            auto fixture = showing(tree.folder());
            auto& viewModel = fixture->viewModel;
            viewModel->setIncludeSubfolders(true);
            QCoro::waitFor(viewModel->loadLocalVideos());
            auto listed = relativePaths(viewModel->localVideoURLs(), tree.folder());
            listed.sort();
            QCOMPARE(listed, (QStringList{"a.mp4", "open/c.mp4"}));
            // The folder itself cannot be listed flat either.
            viewModel->setLocalFolderURL(QUrl::fromLocalFile(locked));
            viewModel->setIncludeSubfolders(false);
            QCoro::waitFor(viewModel->loadLocalVideos());
            QVERIFY(viewModel->localVideoURLs().isEmpty());
            QTRY_VERIFY(fixture->messages().constLast().startsWith(
                QStringLiteral("Failed to read folder: ")));
        }
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner));
        if (!enforced)
            QSKIP("This user reads folders regardless of their permissions (root).");
    }

    void failuresStopTheScan_data() {
        QTest::addColumn<QString>("folder"); // relative to a temp folder; empty = none chosen
        QTest::addColumn<QString>("message");
        QTest::newRow("no folder") << QString() << "No local folder selected.";
        QTest::newRow("missing folder")
            << "gone"
            << QStringLiteral("Failed to read folder: The folder \u201Cgone\u201D "
                              "doesn\u2019t exist.");
        QTest::newRow("a file") << "file.mp4"
                                << QStringLiteral("Failed to read folder: The file "
                                                  "\u201Cfile.mp4\u201D is not a folder.");
    }
    void failuresStopTheScan() {
        QFETCH(QString, folder);
        QFETCH(QString, message);
        TempHome home;
        ClipFactory tree;
        QVERIFY(!tree.file(QStringLiteral("file.mp4")).isEmpty());
        auto fixture =
            showing(folder.isEmpty() ? QString() : tree.folder() + QLatin1Char('/') + folder);
        auto& viewModel = fixture->viewModel;
        QCoro::waitFor(viewModel->loadLocalVideos());
        QTRY_COMPARE(lastMessage(*viewModel), message);
        QVERIFY(viewModel->localVideoURLs().isEmpty());
        QVERIFY(!QFile::exists(home.stateFolder() + QStringLiteral("/LocalVideoState.json")));
        for (const auto& line : fixture->messages())
            QVERIFY(!line.startsWith(QStringLiteral("Loaded ")));
    }

    // A walk that cannot start finds nothing, and the scan goes on with the empty list.
    void recursiveScanOfAMissingFolderFindsNothing() {
        TempHome home;
        const auto folder = home.path() + QStringLiteral("/gone");
        auto fixture = showing(folder);
        fixture->viewModel->setIncludeSubfolders(true);
        QCoro::waitFor(fixture->viewModel->loadLocalVideos());
        QTRY_COMPARE(lastMessage(*fixture->viewModel),
                     QStringLiteral("Loaded 0 videos from local folder (including subfolders): ") +
                         folder);
        QVERIFY(storedLocalState());
    }

    void firstScanFlagsEverything() {
        TempHome home;
        ClipFactory tree;
        QVERIFY(!tree.file(QStringLiteral("a.mp4"), "aa").isEmpty());
        QVERIFY(!tree.file(QStringLiteral("b.mov"), "bb").isEmpty());
        auto fixture = showing(tree.folder());
        auto& viewModel = fixture->viewModel;
        const double before = currentTimeSeconds();
        // The list and its flags land together, on this thread, from the worker's result.
        qsizetype flaggedWithList = -1;
        QObject::connect(viewModel.get(), &UploadViewModel::localVideoURLsChanged, this, [&] {
            QCOMPARE(QThread::currentThread(), thread());
            if (!viewModel->localVideoURLs().isEmpty())
                flaggedWithList = viewModel->changedLocalVideos().size();
        });
        QCoro::waitFor(viewModel->loadLocalVideos());
        QCOMPARE(flaggedWithList, 2);
        QTRY_VERIFY(
            fixture->messages().contains(QStringLiteral("Found 2 new/changed local videos.")));

        const auto lines = fixture->messages();
        const auto found = lines.indexOf(QStringLiteral("Found 2 new/changed local videos."));
        QVERIFY(found > lines.indexOf(QRegularExpression(QStringLiteral("^Loaded 2 videos"))));
        const auto state = storedLocalState();
        QVERIFY(state);
        QVERIFY(state->fileTimes.isEmpty());
        QVERIFY(state->lastLaunchedAt >= before);
    }

    // Seen until rewritten with another size, or replaced by a newer copy.
    void seenFilesStaySeenUntilTheyChange() {
        TempHome home;
        ClipFactory tree;
        const auto a = tree.file(QStringLiteral("a.mp4"), "aaaa");
        const auto b = tree.file(QStringLiteral("b.mp4"), "bbbb");
        // Older than any scan, so only the records decide.
        const auto bModified = QDateTime::currentDateTime().addSecs(-3600).addMSecs(-456);
        setModified(a, QDateTime::currentDateTime().addSecs(-3600).addMSecs(-123));
        setModified(b, bModified);
        {
            auto fixture = showing(tree.folder());
            auto& viewModel = fixture->viewModel;
            QCoro::waitFor(viewModel->loadLocalVideos());
            QTRY_COMPARE(viewModel->changedLocalVideos().size(), 2);
            viewModel->markLocalVideoSeen(QUrl::fromLocalFile(a));
            viewModel->markLocalVideoSeen(QUrl::fromLocalFile(b));
            QTRY_VERIFY(viewModel->changedLocalVideos().isEmpty());
        }
        // A new run reads the records back from the file: the times must compare equal
        // bit for bit.
        auto fixture = showing(tree.folder());
        auto& viewModel = fixture->viewModel;
        QCoro::waitFor(viewModel->loadLocalVideos());
        QTRY_VERIFY(lastMessage(*viewModel).startsWith(QStringLiteral("Loaded ")));
        QVERIFY(viewModel->changedLocalVideos().isEmpty());

        // Rewritten with another size: flagged again, the other file not.
        QVERIFY(!tree.file(QStringLiteral("a.mp4"), "longer content").isEmpty());
        setModified(a, QDateTime::currentDateTime().addSecs(-3600));
        QCoro::waitFor(viewModel->loadLocalVideos());
        QTRY_COMPARE(viewModel->changedLocalVideos(), QSet<QUrl>{QUrl::fromLocalFile(a)});

        // Replaced by a copy with the same size and modification time, made after the mark.
        if (!QFileInfo(b).birthTime().isValid())
            QSKIP("The file system keeps no creation times.");
        // File times come from a coarser clock than the launch time.
        QTest::qWait(20);
        QVERIFY(QFile::remove(b));
        QVERIFY(!tree.file(QStringLiteral("b.mp4"), "bbbb").isEmpty());
        setModified(b, bModified);
        QCoro::waitFor(viewModel->loadLocalVideos());
        QTRY_COMPARE(viewModel->changedLocalVideos(),
                     (QSet<QUrl>{QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}));
    }

    void unreadableAttributesAreSkipped() {
        TempHome home;
        ClipFactory tree;
        const auto present = QUrl::fromLocalFile(tree.file(QStringLiteral("here.mp4")));
        const auto missing = tree.folder() + QStringLiteral("/gone.mp4");
        const auto scan = detectLocalChanges({QUrl::fromLocalFile(missing), present}, {});
        QCOMPARE(scan.changed, QSet<QUrl>{present});
        QCOMPARE(scan.unreadable, QStringList{missing});

        // Marking a missing file seen changes nothing and writes nothing.
        auto fixture = showing(tree.folder());
        fixture->viewModel->markLocalVideoSeen(QUrl::fromLocalFile(missing));
        QVERIFY(!fixture->viewModel->savedLocalState()->fileTimes.contains(missing));
        QVERIFY(!QFile::exists(home.stateFolder() + QStringLiteral("/LocalVideoState.json")));
    }
};

QTEST_GUILESS_MAIN(TestLocalScan)
#include "tst_localscan.moc"
