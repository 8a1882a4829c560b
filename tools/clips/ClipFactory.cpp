#include "ClipFactory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>
#include <cmath>

namespace {

QString extensionOf(const QString& fileName) {
    return QFileInfo(fileName).suffix().toLower();
}

// The containers we write have their own ideas of what they can hold; these pairs are
// the fast ones every build of ffmpeg has.
QStringList videoCodecArguments(const QString& extension) {
    if (extension == QLatin1String("mxf"))
        return {"-c:v", "mpeg2video", "-q:v", "4"};
    return {"-c:v", "mpeg4", "-q:v", "4"};
}

QStringList audioCodecArguments(const QString& extension) {
    if (extension == QLatin1String("avi") || extension == QLatin1String("mxf"))
        return {"-c:a", "pcm_s16le"};
    return {"-c:a", "aac"};
}

QStringList formatArguments(const QString& extension) {
    // ffmpeg picks the muxer from the extension, but not for upper-case ones.
    static const QHash<QString, QString> muxers{{"mp4", "mp4"}, {"mov", "mov"}, {"mkv", "matroska"},
                                                {"avi", "avi"}, {"mxf", "mxf"}, {"m4a", "ipod"}};
    const auto muxer = muxers.value(extension);
    return muxer.isEmpty() ? QStringList{} : QStringList{"-f", muxer};
}

QString number(double value) {
    return QString::number(value, 'f', 3);
}

} // namespace

ClipFactory::ClipFactory() = default;

bool ClipFactory::ffmpegAvailable() {
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

QString ClipFactory::topWhiteSource() {
    return QStringLiteral("color=c=white:s=%1:r=%2:d=%3,"
                          "drawbox=x=0:y=ih/2:w=iw:h=ih/2:color=black:t=fill");
}

QString ClipFactory::prepare(const QString& fileName) {
    const auto path = QDir(m_dir.path()).filePath(fileName);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return QFileInfo(path).absoluteFilePath();
}

bool ClipFactory::runFfmpeg(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{"-nostdin", "-hide_banner", "-loglevel", "error", "-y"} + arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_lastError = QStringLiteral("ffmpeg %1 failed: %2")
                          .arg(arguments.join(QLatin1Char(' ')),
                               QString::fromLocal8Bit(process.readAll()) + process.errorString());
        return false;
    }
    return true;
}

QString ClipFactory::video(const QString& fileName, const Options& options) {
    const auto path = prepare(fileName);
    const auto extension = extensionOf(fileName);
    const auto size = QStringLiteral("%1x%2").arg(options.size.width()).arg(options.size.height());
    const auto source = options.videoSource.isEmpty() ? QStringLiteral("testsrc=s=%1:r=%2:d=%3")
                                                      : options.videoSource;
    // Replaced by hand, so a source may leave out any of the placeholders.
    auto expression = source;
    expression.replace(QStringLiteral("%1"), size)
        .replace(QStringLiteral("%2"), QString::number(options.frameRate))
        .replace(QStringLiteral("%3"), number(options.seconds));
    const bool withVideo = options.seconds > 0;
    QStringList arguments;
    if (withVideo)
        arguments << QStringList{"-f", "lavfi", "-i", expression};
    if (options.withAudio)
        arguments << QStringList{
            "-f", "lavfi", "-i",
            QStringLiteral("sine=frequency=440:duration=%1")
                .arg(number(options.audioSeconds > 0 ? options.audioSeconds : options.seconds))};
    if (options.withCover)
        arguments << QStringList{"-f", "lavfi", "-i", "color=c=red:s=64x64:d=0.04"};
    for (int input = 0; input < int(withVideo) + int(options.withAudio) + int(options.withCover);
         ++input)
        arguments << QStringList{"-map", QString::number(input)};
    if (withVideo)
        arguments << videoCodecArguments(extension) << QStringList{"-pix_fmt", "yuv420p"};
    if (options.withAudio)
        arguments << audioCodecArguments(extension);
    if (options.withCover)
        arguments << QStringList{
            QStringLiteral("-c:v:%1").arg(int(withVideo)),           "mjpeg",
            QStringLiteral("-frames:v:%1").arg(int(withVideo)),      "1",
            QStringLiteral("-disposition:v:%1").arg(int(withVideo)), "attached_pic"};
    if (options.live)
        arguments << QStringList{"-live", "1"};
    arguments << formatArguments(extension) << path;
    return runFfmpeg(arguments) ? path : QString();
}

QString ClipFactory::audioOnly(const QString& fileName, double seconds) {
    const auto path = prepare(fileName);
    const auto extension = extensionOf(fileName);
    QStringList arguments{"-f", "lavfi", "-i",
                          QStringLiteral("sine=frequency=440:duration=%1").arg(number(seconds))};
    arguments << audioCodecArguments(extension) << formatArguments(extension) << path;
    return runFfmpeg(arguments) ? path : QString();
}

QString ClipFactory::shortClip(const QString& fileName, double seconds) {
    Options options;
    options.seconds = seconds;
    return video(fileName, options);
}

QString ClipFactory::truncated(const QString& fileName, double keptFraction) {
    const auto path = video(fileName);
    if (path.isEmpty())
        return path;
    QFile file(path);
    if (!file.resize(static_cast<qint64>(static_cast<double>(file.size()) * keptFraction))) {
        m_lastError = file.errorString();
        return QString();
    }
    return path;
}

QString ClipFactory::zeroByte(const QString& fileName) {
    return file(fileName);
}

QString ClipFactory::file(const QString& fileName, const QByteArray& bytes) {
    const auto path = prepare(fileName);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size()) {
        m_lastError = out.errorString();
        return QString();
    }
    return path;
}

QString ClipFactory::rotated(const QString& fileName, int degrees, const Options& options) {
    // ffmpeg 5.1 can neither take -display_rotation nor honour "-metadata rotate", so the
    // clip is written upright and its track header's matrix is rewritten afterwards.
    auto plain = options;
    plain.withAudio = false; // one track, so the first track header is the video's
    const auto path = video(fileName, plain);
    if (path.isEmpty())
        return path;
    return patchTrackMatrix(path, degrees) ? path : QString();
}

bool ClipFactory::patchTrackMatrix(const QString& path, int degrees) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        m_lastError = file.errorString();
        return false;
    }
    auto bytes = file.readAll();
    const auto box = bytes.indexOf("tkhd");
    if (box < 4) {
        m_lastError = QStringLiteral("no track header in ") + path;
        return false;
    }
    // tkhd: type, version+flags, times/ids/duration (20 or 32 bytes), 16 reserved and
    // layer/volume bytes, then the 3x3 matrix of big-endian 32-bit fixed-point values.
    const auto version = static_cast<unsigned char>(bytes[box + 4]);
    const qsizetype matrix = box + 4 + 4 + (version == 1 ? 32 : 20) + 16;
    // A clockwise display turn of d degrees is a counter-clockwise matrix of -d.
    const double radians = -degrees * M_PI / 180.0;
    const auto fixed16 = [](double v) {
        return static_cast<qint32>(std::lround(v * 65536.0));
    };
    const qint32 values[9] = {fixed16(std::cos(radians)),
                              fixed16(-std::sin(radians)),
                              0,
                              fixed16(std::sin(radians)),
                              fixed16(std::cos(radians)),
                              0,
                              0,
                              0,
                              1 << 30};
    for (int i = 0; i < 9; ++i)
        qToBigEndian(values[i], bytes.data() + matrix + 4 * i);
    if (!file.seek(0) || file.write(bytes) != bytes.size()) {
        m_lastError = file.errorString();
        return false;
    }
    return true;
}
