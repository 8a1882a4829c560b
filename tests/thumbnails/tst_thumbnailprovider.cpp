#include "ClipFactory.h"
#include "TempHome.h"
#include "TestFiles.h"
#include "thumbnails/DesktopThumbnailCache.h"
#include "thumbnails/ThumbnailProvider.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <QThreadPool>

using namespace clipferry;

namespace {

QImage decode(const std::optional<QByteArray>& jpeg) {
    return jpeg ? QImage::fromData(*jpeg, "JPG") : QImage();
}

bool isWhite(QRgb pixel) {
    return qGray(pixel) > 200;
}

void setModified(const QString& path, qint64 msecsSinceEpoch) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::UTC),
                             QFileDevice::FileModificationTime));
}

} // namespace

// Pictures of real clips, the disk cache and its key, and the desktop's thumbnail cache.
class TestThumbnailProvider : public QObject {
    Q_OBJECT

    ClipFactory m_clips;
    QThreadPool m_pool;
    std::unique_ptr<TempHome> m_home;
    std::unique_ptr<ThumbnailProvider> m_provider;

    std::optional<QByteArray> thumbnail(const QString& path, QSizeF size = {160, 90}) {
        return QCoro::waitFor(m_provider->thumbnail(QUrl::fromLocalFile(path), size));
    }

    QStringList cacheFiles() {
        m_provider->waitForCacheWrites();
        return QDir(m_provider->cacheFolder()).entryList(QDir::Files);
    }

    QString cachePath(const QString& clip) {
        return m_provider->cacheFolder() + QLatin1Char('/') + ThumbnailProvider::cacheKey(clip) +
               ".jpg";
    }

private Q_SLOTS:
    void initTestCase() {
        if (!ClipFactory::ffmpegAvailable())
            QSKIP("The ffmpeg command-line tool is needed to make test clips.");
        m_pool.setMaxThreadCount(2);
    }

    // The provider goes before its home: it may still be writing to the cache there.
    void init() {
        m_provider.reset();
        m_home = std::make_unique<TempHome>();
        m_provider =
            std::make_unique<ThumbnailProvider>(m_home->stateFolder() + "/thumbnails", m_pool);
    }

    // The frame tests render mov and mkv clips as well, the rotation test an mp4.
    void rendersAndCachesEachContainer_data() {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("avi") << "d.avi";
        QTest::newRow("mxf") << "e.mxf";
    }
    void rendersAndCachesEachContainer() {
        QFETCH(QString, fileName);
        const auto clip = m_clips.video(fileName);
        QVERIFY2(!clip.isEmpty(), qPrintable(m_clips.lastError()));

        setModified(clip, 1700000000250);
        const auto first = thumbnail(clip, {160, 90});
        QCOMPARE(decode(first).size(), QSize(120, 90));
        // Named by the path and the modification time in seconds, so other tools find it;
        // coreutils computes the name here, independent of Qt.
        QProcess sha256sum;
        sha256sum.start("sha256sum");
        sha256sum.write((clip + "|1700000000.25").toUtf8());
        sha256sum.closeWriteChannel();
        QVERIFY(sha256sum.waitForFinished());
        const auto key = QString::fromLatin1(sha256sum.readAllStandardOutput().left(64));
        QCOMPARE(cacheFiles(), QStringList{key + ".jpg"});
        QCOMPARE(readFile(cachePath(clip)), *first);

        // Another size is served from the cache: the first size asked decides.
        QCOMPARE(thumbnail(clip, {640, 360}), first);
        // A modified clip gets a picture of its own.
        setModified(clip, 1700000100500);
        QVERIFY(thumbnail(clip));
        QCOMPARE(cacheFiles().size(), 2);
    }

    // The frame at one second, or the first one of a clip too short for that.
    void pictureOfTheRightFrame_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("audioSeconds");
        QTest::addColumn<QString>("file"); // mkv: written live, stating no running time
        const QString white = "color=c=white:s=%1:r=%2:d=%3";
        const QString blackSecond = "color=c=black:s=%1:r=%2:d=1[a];"
                                    "color=c=white:s=%1:r=%2:d=1[b];[a][b]concat[out0]";
        QTest::newRow("black second, then white") << blackSecond << 2.0 << 0.0 << "a.mov";
        QTest::newRow("black second, no running time") << blackSecond << 2.0 << 0.0 << "b.mkv";
        QTest::newRow("short clip") << white << 0.4 << 0.0 << "c.mov";
        QTest::newRow("audio runs on past 1 s") << white << 0.4 << 3.0 << "d.mov";
    }
    void pictureOfTheRightFrame() {
        QFETCH(QString, source);
        QFETCH(double, seconds);
        QFETCH(double, audioSeconds);
        QFETCH(QString, file);
        const auto clip = m_clips.video("frame/" + file, {.seconds = seconds,
                                                          .withAudio = audioSeconds > 0,
                                                          .audioSeconds = audioSeconds,
                                                          .videoSource = source,
                                                          .live = file.endsWith(".mkv")});
        QVERIFY2(!clip.isEmpty(), qPrintable(m_clips.lastError()));
        const auto picture = decode(thumbnail(clip));
        QCOMPARE(picture.size(), QSize(120, 90));
        QVERIFY(isWhite(picture.pixel(60, 45)));
    }

    void rotatedClipComesOutUpright() {
        // Stored landscape with white on top; shown turned clockwise, white is on the right.
        const auto clip =
            m_clips.rotated("portrait.mp4", 90, {.videoSource = ClipFactory::topWhiteSource()});
        QVERIFY2(!clip.isEmpty(), qPrintable(m_clips.lastError()));
        const auto picture = decode(thumbnail(clip, {160, 160}));
        QCOMPARE(picture.size(), QSize(120, 160));
        const int middle = picture.height() / 2;
        QVERIFY(isWhite(picture.pixel(picture.width() * 3 / 4, middle)));
        QVERIFY(qGray(picture.pixel(picture.width() / 4, middle)) < 50);
    }

    void nothingFromWhatIsNotVideo_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("audio with a cover") << m_clips.video(
            "sound.mp4", {.seconds = 0, .withAudio = true, .audioSeconds = 2, .withCover = true});
        QTest::newRow("truncated") << m_clips.truncated("cut.mp4");
        QTest::newRow("missing") << m_clips.folder() + "/gone.mp4";
    }
    void nothingFromWhatIsNotVideo() {
        QFETCH(QString, path);
        QVERIFY(!path.isEmpty());
        QCOMPARE(thumbnail(path), std::nullopt);
        QVERIFY(cacheFiles().isEmpty());
    }

    // Garbage, then a picture cut short (which still decodes, padded with grey).
    void damagedCacheFileIsReplaced() {
        const auto clip = m_clips.video(QStringLiteral("damaged.mp4"));
        QVERIFY2(!clip.isEmpty(), qPrintable(m_clips.lastError()));
        const auto good = thumbnail(clip);
        QVERIFY(good);
        for (const auto& damaged : {QByteArray("not a picture"), good->left(good->size() / 2)}) {
            m_provider->waitForCacheWrites();
            QVERIFY(writeFile(cachePath(clip), damaged));
            QCOMPARE(thumbnail(clip), good);
            m_provider->waitForCacheWrites();
            QCOMPARE(readFile(cachePath(clip)), *good);
        }
    }

    void desktopThumbnailComesFirst_data() {
        QTest::addColumn<bool>("fresh");
        QTest::newRow("fresh") << true;
        QTest::newRow("stale") << false;
    }
    void desktopThumbnailComesFirst() {
        QFETCH(bool, fresh);
        const auto clip = m_clips.video(QStringLiteral("known%1.mov").arg(fresh));
        QVERIFY2(!clip.isEmpty(), qPrintable(m_clips.lastError()));
        setModified(clip, 1700000000000);

        // Wider than the clip's own pictures: the shape tells which one came.
        QImage green(256, 144, QImage::Format_RGB32);
        green.fill(Qt::green);
        green.setText("Thumb::URI", QUrl::fromLocalFile(clip).toString());
        green.setText("Thumb::MTime", fresh ? "1700000000" : "1600000000");
        const auto desktopPath = desktopThumbnailPath(clip, "large");
        QVERIFY(QDir().mkpath(QFileInfo(desktopPath).absolutePath()));
        QVERIFY(green.save(desktopPath, "PNG"));

        const auto picture = decode(thumbnail(clip, {160, 90}));
        QCOMPARE(picture.size(), QSize(fresh ? 160 : 120, 90));
    }

    // The first asked at no size at all: one pixel.
    void manyAtOnce() {
        QList<QString> clips;
        for (int i = 0; i < 6; ++i) {
            clips.append(m_clips.video(QStringLiteral("many/%1.mkv").arg(i)));
            QVERIFY2(!clips.constLast().isEmpty(), qPrintable(m_clips.lastError()));
        }
        std::vector<QCoro::Task<std::optional<QByteArray>>> tasks;
        for (const auto& clip : clips)
            tasks.push_back(m_provider->thumbnail(QUrl::fromLocalFile(clip),
                                                  tasks.empty() ? QSizeF(0, 0) : QSizeF(160, 90)));
        for (auto& task : tasks)
            QCOMPARE(decode(QCoro::waitFor(std::move(task))).size(),
                     &task == &tasks.front() ? QSize(1, 1) : QSize(120, 90));
        QCOMPARE(cacheFiles().size(), clips.size());
    }
};

QTEST_GUILESS_MAIN(TestThumbnailProvider)
#include "tst_thumbnailprovider.moc"
