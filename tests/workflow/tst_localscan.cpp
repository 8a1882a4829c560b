#include "ClipFactory.h"
#include "TempHome.h"
#include "model/SeenState.h"
#include "model/StateFolder.h"
#include "model/StoredFile.h"
#include "workflow/ActivityLog.h"
#include "workflow/LocalFolder.h"
#include "workflow/LocalFolderScan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <array>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace clipferry;

namespace {

QStringList relativePaths(const QList<QUrl>& files, const QString& root) {
    QStringList paths;
    for (const auto& file : files)
        paths.append(QDir(root).relativeFilePath(file.toLocalFile()));
    paths.sort();
    return paths;
}

// A local folder in the test's home, with its own log: no view model, no secret store.
struct Showing {
    ActivityLog log;
    LocalFolder folder{StoredFile(stateFilePath(QString::fromLatin1(localVideoStateFileName)),
                                  StoredFile::Access::readWrite),
                       log, std::chrono::milliseconds(100)};

    explicit Showing(const QString& path) {
        if (!path.isEmpty())
            folder.setFolderURL(QUrl::fromLocalFile(path));
    }

    [[nodiscard]] QStringList messages() const {
        QStringList lines;
        for (const auto& entry : log.entries())
            lines.append(entry.message);
        return lines;
    }
    [[nodiscard]] QString lastMessage() const {
        return log.entries().isEmpty() ? QString() : log.entries().constLast().message;
    }
};

Result<LocalVideoState> storedLocalState() {
    return readWholeFile(stateFileURL(QString::fromLatin1(localVideoStateFileName)))
        .and_then(decodeLocalVideoState);
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

    std::optional<TempHome> m_home;
    std::optional<ClipFactory> m_tree;

private Q_SLOTS:
    // Root reads any folder whatever its permissions; without these two capabilities it
    // meets them as anyone does. Before any worker starts, so every worker lacks them too.
    void initTestCase() {
        if (geteuid() != 0)
            return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        std::array<__user_cap_data_struct, 2> caps{};
        QCOMPARE(syscall(SYS_capget, &header, caps.data()), 0L);
        for (const unsigned cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
            caps[cap / 32].effective &= ~(1U << (cap % 32));
            caps[cap / 32].permitted &= ~(1U << (cap % 32));
        }
        QCOMPARE(syscall(SYS_capset, &header, caps.data()), 0L);
    }

    void init() {
        m_home.emplace();
        m_tree.emplace();
    }

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
        for (const auto* name : {"a.MP4", "b.mov", "c.txt", ".hidden.mp4", "d.m4v", "e.webm",
                                 "g.mxf", "mp4", "sub/d.mkv", "sub/deeper/f.AVI",
                                 ".hiddendir/x.mp4", "sub/.h/y.mov", "clips.mov/inner.mp4"})
            QVERIFY(!m_tree->file(QString::fromLatin1(name), "x").isEmpty());
        // Only regular files: a pipe named like a clip would hang whoever opens it.
        QCOMPARE(mkfifo(QFile::encodeName(m_tree->folder() + "/sub/x.mov").constData(), 0600), 0);

        Showing fixture(m_tree->folder());
        auto& folder = fixture.folder;
        folder.setIncludeSubfolders(recursive);
        QCoro::waitFor(folder.load());

        QCOMPARE(relativePaths(folder.videoURLs(), m_tree->folder()), expected);
        QTRY_VERIFY(
            fixture.messages().contains(QStringLiteral("Loaded %1 videos from local folder%2: ")
                                            .arg(expected.size())
                                            .arg(recursive ? " (including subfolders)" : "") +
                                        m_tree->folder()));
    }

    // The folder is listed on a worker: while every worker is busy nothing lands, and this
    // thread goes on; the list comes once a worker is free.
    void scanRunsOnAWorker() {
        QVERIFY(!m_tree->file(QStringLiteral("a.mp4")).isEmpty());
        Showing fixture(m_tree->folder());
        auto* pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        pool->setMaxThreadCount(1);
        QSemaphore busy;
        pool->start([&busy] { busy.acquire(); });

        auto scan = fixture.folder.load();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const bool landedWhileBusy = !fixture.folder.videoURLs().isEmpty();
        busy.release();
        QCoro::waitFor(std::move(scan));
        pool->setMaxThreadCount(threads);

        QVERIFY(!landedWhileBusy);
        QCOMPARE(fixture.folder.videoURLs().size(), 1);
    }

    void unreadableSubfolderIsPassedOver() {
        for (const auto* name : {"a.mp4", "locked/b.mp4", "open/c.mp4"})
            QVERIFY(!m_tree->file(QString::fromLatin1(name)).isEmpty());
        const auto locked = m_tree->folder() + QStringLiteral("/locked");
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions{}));
        Showing fixture(m_tree->folder());
        auto& folder = fixture.folder;
        folder.setIncludeSubfolders(true);
        QCoro::waitFor(folder.load());
        const auto listed = relativePaths(folder.videoURLs(), m_tree->folder());
        // The folder itself cannot be listed flat either.
        folder.setFolderURL(QUrl::fromLocalFile(locked));
        folder.setIncludeSubfolders(false);
        QCoro::waitFor(folder.load());
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner));

        QCOMPARE(listed, (QStringList{"a.mp4", "open/c.mp4"}));
        QVERIFY(folder.videoURLs().isEmpty());
        // The failure is logged after the step; until then the log may hold nothing.
        QTRY_VERIFY(fixture.lastMessage().startsWith("Failed to read folder: "));
    }

    // A folder that cannot be read stops the scan before anything is recorded; a walk that
    // cannot start finds nothing, and the scan goes on with the empty list.
    void failuresStopTheScan_data() {
        QTest::addColumn<QString>("folder"); // relative to the tree; empty = none chosen
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<QString>("message"); // %1: the folder's path
        QTest::newRow("no folder") << QString() << false << "No local folder selected.";
        QTest::newRow("missing folder")
            << "gone" << false
            << "Failed to read folder: The folder \u201Cgone\u201D doesn\u2019t exist.";
        QTest::newRow("a file")
            << "file.mp4" << false
            << "Failed to read folder: The file \u201Cfile.mp4\u201D is not a folder.";
        QTest::newRow("missing folder, recursive")
            << "gone" << true << "Loaded 0 videos from local folder (including subfolders): %1";
    }
    void failuresStopTheScan() {
        QFETCH(QString, folder);
        QFETCH(bool, recursive);
        QFETCH(QString, message);
        QVERIFY(!m_tree->file(QStringLiteral("file.mp4")).isEmpty());
        const auto path = folder.isEmpty() ? folder : m_tree->folder() + QLatin1Char('/') + folder;
        Showing fixture(path);
        // Switching subfolders on reads the folder again by itself.
        if (recursive)
            fixture.folder.setIncludeSubfolders(true);
        else
            QCoro::waitFor(fixture.folder.load());
        QTRY_COMPARE(fixture.lastMessage(), message.replace(QStringLiteral("%1"), path));
        QVERIFY(fixture.folder.videoURLs().isEmpty());
        QCOMPARE(bool(storedLocalState()), recursive);
    }

    // A first scan flags everything; a file marked seen stays seen until rewritten with
    // another size, or replaced by a newer copy.
    void seenFilesStaySeenUntilTheyChange() {
        const auto a = m_tree->file(QStringLiteral("a.mp4"), "aaaa");
        const auto b = m_tree->file(QStringLiteral("b.mp4"), "bbbb");
        // Older than any scan, so only the records decide.
        const auto bModified = QDateTime::currentDateTime().addSecs(-3600).addMSecs(-456);
        setModified(a, QDateTime::currentDateTime().addSecs(-3600).addMSecs(-123));
        setModified(b, bModified);
        {
            Showing fixture(m_tree->folder());
            auto& folder = fixture.folder;
            const double before = currentTimeSeconds();
            // The list and its flags land together, on this thread, from the worker's result.
            qsizetype flaggedWithList = -1;
            connect(&folder, &LocalFolder::videoURLsChanged, this, [&] {
                QCOMPARE(QThread::currentThread(), thread());
                if (!folder.videoURLs().isEmpty())
                    flaggedWithList = folder.changedVideos().size();
            });
            QCoro::waitFor(folder.load());
            QCOMPARE(flaggedWithList, 2);
            QTRY_VERIFY(fixture.messages().contains("Found 2 new/changed local videos."));
            const auto lines = fixture.messages();
            QVERIFY(lines.indexOf("Found 2 new/changed local videos.") >
                    lines.indexOf(QRegularExpression("^Loaded 2 videos")));
            const auto state = storedLocalState();
            QVERIFY(state);
            QVERIFY(state->fileTimes.isEmpty());
            QVERIFY(state->lastLaunchedAt >= before);
            folder.markSeen(QUrl::fromLocalFile(a));
            folder.markSeen(QUrl::fromLocalFile(b));
            QTRY_VERIFY(folder.changedVideos().isEmpty());
        }
        // A new run reads the records back from the file: the times must compare equal
        // bit for bit.
        Showing fixture(m_tree->folder());
        auto& folder = fixture.folder;
        QCoro::waitFor(folder.load());
        QVERIFY(folder.changedVideos().isEmpty());

        // Rewritten with another size: flagged again, the other file not.
        QVERIFY(!m_tree->file(QStringLiteral("a.mp4"), "longer content").isEmpty());
        setModified(a, QDateTime::currentDateTime().addSecs(-3600));
        QCoro::waitFor(folder.load());
        QTRY_COMPARE(folder.changedVideos(), QSet<QUrl>{QUrl::fromLocalFile(a)});

        // Replaced by a copy with the same size and modification time, made after the mark.
        if (!QFileInfo(b).birthTime().isValid())
            QSKIP("The file system keeps no creation times.");
        // File times come from a coarser clock than the launch time.
        QTest::qWait(20);
        QVERIFY(QFile::remove(b));
        QVERIFY(!m_tree->file(QStringLiteral("b.mp4"), "bbbb").isEmpty());
        setModified(b, bModified);
        QCoro::waitFor(folder.load());
        QTRY_COMPARE(folder.changedVideos(),
                     (QSet<QUrl>{QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}));
    }

    void unreadableAttributesAreSkipped() {
        const auto present = QUrl::fromLocalFile(m_tree->file(QStringLiteral("here.mp4")));
        const auto missing = m_tree->folder() + QStringLiteral("/gone.mp4");
        const auto scan = detectLocalChanges({QUrl::fromLocalFile(missing), present}, {});
        QCOMPARE(scan.changed, QSet<QUrl>{present});
        QCOMPARE(scan.unreadable, QStringList{missing});

        // Marking a missing file seen changes nothing and writes nothing.
        Showing fixture(m_tree->folder());
        fixture.folder.markSeen(QUrl::fromLocalFile(missing));
        QVERIFY(!fixture.folder.savedState()->fileTimes.contains(missing));
        QVERIFY(!QFile::exists(m_home->stateFolder() + QStringLiteral("/LocalVideoState.json")));
    }
};

QTEST_GUILESS_MAIN(TestLocalScan)
#include "tst_localscan.moc"
