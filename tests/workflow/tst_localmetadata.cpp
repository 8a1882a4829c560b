#include "ClipFactory.h"
#include "TempHome.h"
#include "model/StoredFile.h"
#include "workflow/ActivityLog.h"
#include "workflow/DropIntake.h"
#include "workflow/LocalFolder.h"
#include "workflow/LocalVideo.h"
#include "workflow/MetadataCache.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

using namespace clipferry;

// The three texts of a local clip, read in-process from real files, and their
// background preload.
class TestLocalMetadata : public QObject {
    Q_OBJECT

    ClipFactory m_clips;
    QString clip(const QString& path) {
        if (path.isEmpty())
            qWarning("%s", qPrintable(m_clips.lastError()));
        return path;
    }

private Q_SLOTS:
    void initTestCase() {
        if (!ClipFactory::ffmpegAvailable())
            QSKIP("The ffmpeg command-line tool is needed to make test clips.");
    }

    void init() { MetadataCache::shared().clear(); }

    // A running time no 64-bit count holds, or below zero, is not shown.
    void unshowableDurations() {
        QCOMPARE(durationText(1e300), "Unknown");
        QCOMPARE(durationText(-3.0), "Unknown");
    }

    void readsRealClips_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("format");
        const QString size = QStringLiteral("320\u00D7240");
        const auto row = [this](const char* tag, const QString& made, const QString& resolution,
                                const char* duration, const char* format) {
            QTest::newRow(tag) << clip(made) << resolution << duration << format;
        };
        row("mov with audio", m_clips.video("b.mov", {.withAudio = true}), size, "0:02", "MOV");
        row("avi", m_clips.video("d.avi"), size, "0:02", "AVI");
        row("mxf", m_clips.video("e.mxf"), size, "0:02", "MXF");
        // The stored frame size, not turned for display.
        row("rotated 90", m_clips.rotated("g.mp4", 90), size, "0:02", "MP4");
        row("odd size, 59.9 s",
            m_clips.video("h.mkv", {.seconds = 59.9, .size = {18, 14}, .frameRate = 10}),
            QStringLiteral("18\u00D714"), "0:59", "MKV");
        // Cover art is a one-picture stream that no player counts as the video.
        row("audio with a cover",
            m_clips.video("y.mp4",
                          {.seconds = 0, .withAudio = true, .audioSeconds = 2, .withCover = true}),
            "Unknown", "0:02", "MP4");
        row("truncated", m_clips.truncated("t.mp4"), "Unknown", "0:00", "MP4");
    }
    void readsRealClips() {
        QFETCH(QString, path);
        QFETCH(QString, resolution);
        QFETCH(QString, duration);
        QFETCH(QString, format);
        const auto metadata = probeVideoMetadata(path);
        QCOMPARE(metadata.resolution, resolution);
        QCOMPARE(metadata.duration, duration);
        QCOMPARE(metadata.fileFormat, format);
    }

    // A drop takes moving pictures by content, whatever the extension, and a folder's clips.
    void dropTakesClipsByContent_data() {
        QTest::addColumn<QStringList>("dropped"); // in the clip factory's folder
        QTest::addColumn<bool>("recursive");
        QTest::addColumn<QStringList>("clips");
        QTest::addColumn<QStringList>("refused");
        QVERIFY(!clip(m_clips.video("drop/a.mov")).isEmpty());
        QVERIFY(!clip(m_clips.video("drop/sub/b.mkv")).isEmpty());
        QVERIFY(!clip(m_clips.audioOnly("drop/sound.mp4")).isEmpty());
        QVERIFY(!clip(m_clips.file("drop/notes.txt", "E1_Opening_PAR_M01_a.mov\n")).isEmpty());
        QVERIFY(!clip(m_clips.file("drop/fake.mov", "not really a clip")).isEmpty());
        QVERIFY(!clip(m_clips.video("drop/.hidden.mov")).isEmpty());
        // A still picture opens as a one-frame "video" in FFmpeg.
        const auto png = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADU"
                                                "lEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
        QVERIFY(!clip(m_clips.file("drop/still.png", png)).isEmpty());
        const QStringList refused{"fake.mov", "notes.txt", "sound.mp4", "still.png"};
        QTest::newRow("files") << QStringList{"drop/a.mov", "drop/still.png", "drop/gone.mov"}
                               << false << QStringList{"drop/a.mov"}
                               << QStringList{"still.png", "gone.mov"};
        QTest::newRow("folder") << QStringList{"drop"} << false << QStringList{"drop/a.mov"}
                                << refused;
        QTest::newRow("folder with subfolders")
            << QStringList{"drop"} << true << QStringList{"drop/a.mov", "drop/sub/b.mkv"}
            << refused;
    }
    void dropTakesClipsByContent() {
        QFETCH(QStringList, dropped);
        QFETCH(bool, recursive);
        QFETCH(QStringList, clips);
        QFETCH(QStringList, refused);
        QList<QUrl> items;
        for (const auto& name : dropped)
            items.append(QUrl::fromLocalFile(m_clips.folder() + '/' + name));

        const auto sorted = sortDroppedItems(items, recursive);

        QStringList taken;
        for (const auto& file : sorted.clips)
            taken.append(file.toLocalFile().mid(m_clips.folder().size() + 1));
        QCOMPARE(taken, clips);
        QCOMPARE(sorted.refused, refused);
    }

    // Placeholders until the first load; a clip exported again under its name is read again.
    void loadsAndReloads() {
        const auto made = m_clips.video(QStringLiteral("re/clip.mov"), {.withAudio = true});
        const auto path = m_clips.folder() + QStringLiteral("/re/clip");
        QVERIFY(QFile::rename(made, path));
        const LocalVideo video{QUrl::fromLocalFile(path)};
        QCOMPARE(video.resolution(), "Loading...");
        QCOMPARE(video.duration(), "Loading...");
        QCOMPARE(video.fileFormat(), QString());
        video.loadMetadata();
        QCOMPARE(video.fileFormat(), "Unknown");

        const auto longer =
            m_clips.video(QStringLiteral("re/clip.mkv"), {.seconds = 4.0, .size = {160, 120}});
        QVERIFY(QFile::remove(path) && QFile::rename(longer, path));
        video.loadMetadata();
        QCOMPARE(video.duration(), "0:04");
        QCOMPARE(video.resolution(), "160\u00D7120");
    }

    // A scan starts the preload; with no wait between publications every reading shows as
    // it arrives.
    void scanPreloadsAndPublishesAsReadingsArrive() {
        TempHome home;
        for (int i = 0; i < 4; ++i)
            QVERIFY(
                !m_clips
                     .video(QStringLiteral("pre/%1.mkv").arg(i), {.seconds = 1, .size = {64, 48}})
                     .isEmpty());
        QThreadPool pool;
        pool.setMaxThreadCount(2);
        ActivityLog log;
        LocalFolder folder(
            StoredFile(home.stateFolder() + "/LocalVideoState.json", StoredFile::Access::readWrite),
            log, std::chrono::milliseconds(0));
        folder.setMetadataThreadPool(&pool);
        QSignalSpy published(&folder, &LocalFolder::metadataChanged);
        folder.setFolderURL(QUrl::fromLocalFile(m_clips.folder() + "/pre"));
        QCoro::waitFor(folder.load());
        QTRY_COMPARE(published.size(), 4);
        for (const auto& url : folder.videoURLs())
            QCOMPARE(LocalVideo{url}.resolution(), "64\u00D748");
    }
};

QTEST_GUILESS_MAIN(TestLocalMetadata)
#include "tst_localmetadata.moc"
