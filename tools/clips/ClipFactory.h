#pragma once

#include <QSize>
#include <QString>
#include <QTemporaryDir>

// Makes real media files with the ffmpeg command-line tool in a folder of its own,
// removed with the factory. Every maker returns the new file's absolute path, or an
// empty string when ffmpeg failed (lastError() then says why), so a test can write
//     const auto clip = clips.video("E1_Opening_PAR_M01_a.mov");
//     QVERIFY2(!clip.isEmpty(), qPrintable(clips.lastError()));
// A file name may contain subfolders; they are created. The container follows the
// extension (mp4, mov, mkv, avi, mxf, ...), so upper-case extensions work too.
class ClipFactory {
public:
    struct Options {
        double seconds = 2.0;
        QSize size{320, 240};
        int frameRate = 25;
        bool withAudio = false;
        double audioSeconds = 0.0; // 0: as long as the video
        // A lavfi video source; empty means ffmpeg's "testsrc" pattern. Placeholders:
        // %1 the size ("320x240"), %2 the frame rate, %3 the duration in seconds.
        QString videoSource{};
        // A 64x64 red picture stored beside the streams as cover art (an attached picture);
        // with seconds 0 the file holds no video, only the cover and the audio. An mp4 keeps
        // the cover after the video; Matroska keeps no cover mark.
        bool withCover = false;
        // A Matroska file written as a live stream states no running time.
        bool live = false;
    };

    ClipFactory();
    ClipFactory(const ClipFactory&) = delete;
    ClipFactory& operator=(const ClipFactory&) = delete;

    [[nodiscard]] static bool ffmpegAvailable();

    [[nodiscard]] QString folder() const { return m_dir.path(); }
    [[nodiscard]] QString lastError() const { return m_lastError; }

    [[nodiscard]] QString video(const QString& fileName, const Options& options);
    [[nodiscard]] QString video(const QString& fileName) { return video(fileName, Options{}); }
    // An mp4 or mov whose track header asks players to turn the stored picture
    // clockwise by `degrees` (90, 180 or 270) for display.
    [[nodiscard]] QString rotated(const QString& fileName, int degrees, const Options& options);
    [[nodiscard]] QString rotated(const QString& fileName, int degrees = 90) {
        return rotated(fileName, degrees, Options{});
    }
    [[nodiscard]] QString audioOnly(const QString& fileName, double seconds = 2.0);
    // A clip cut after `keptFraction` of its bytes. An mp4 or mov keeps its index at
    // the end, so the default cut leaves a file no demuxer can open.
    [[nodiscard]] QString truncated(const QString& fileName, double keptFraction = 0.5);
    [[nodiscard]] QString zeroByte(const QString& fileName);
    // Shorter than a second, for engines that grab a frame at 1 s.
    [[nodiscard]] QString shortClip(const QString& fileName, double seconds = 0.4);
    // A file with any bytes (not media), e.g. a text file or a fake clip.
    [[nodiscard]] QString file(const QString& fileName, const QByteArray& bytes = {});

    // A 320x240 source whose top half is white and bottom half black, so a test can
    // tell which way a picture was turned.
    [[nodiscard]] static QString topWhiteSource();

private:
    [[nodiscard]] QString prepare(const QString& fileName);
    [[nodiscard]] bool runFfmpeg(const QStringList& arguments);
    [[nodiscard]] bool patchTrackMatrix(const QString& path, int degrees);

    QTemporaryDir m_dir;
    QString m_lastError;
};
