// Renders the real main window offscreen with a fixture library and saves it as PNG:
//   clipferry-screenshot OUT.png   ->  OUT.png, OUT-search.png (search "PAR"),
//                                      OUT-local.png (local-folder mode)
// Everything it reads or writes lives in a temporary home folder.
#include "CredentialStore.h"
#include "LibraryColumn.h"
#include "LibraryModel.h"
#include "LibraryView.h"
#include "MainWindow.h"
#include "ThumbnailLoader.h"
#include "UploadViewModel.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QLinearGradient>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QSplitter>
#include <QTemporaryDir>
#include <cstdio>

using namespace clipferry;

namespace {

void settle(int milliseconds, const std::function<bool()>& until = {}) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired() && !(until && until())) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

MuxAsset asset(const QString& id, const QString& name, const QString& resolution, double seconds,
               bool withPlayback = true) {
    MuxAsset a;
    a.id = id;
    a.status = QStringLiteral("ready");
    a.passthrough = name;
    a.max_stored_resolution = resolution;
    a.duration = seconds;
    if (withPlayback)
        a.playback_ids = QList<PlaybackID>{{QStringLiteral("pb") + id}};
    return a;
}

// A still that looks like a frame of the clip: the city's colour, a horizon, the name.
QImage still(const QColor& color, const QString& label, int variant) {
    QImage image(160, 90, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 160, 90);
    sky.setColorAt(0, color.lighter(130 + variant * 10));
    sky.setColorAt(1, color.darker(160));
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawEllipse(QPointF(40 + variant * 25, 70), 60, 28);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    p.drawText(image.rect(), Qt::AlignCenter, label);
    return image;
}

QString variantPath(const QString& out, const QString& suffix) {
    const QFileInfo info(out);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + suffix +
           QStringLiteral(".png");
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: clipferry-screenshot OUT.png\n");
        return 2;
    }
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationName(QStringLiteral("Clipferry"));
    const QString out = QString::fromLocal8Bit(argv[1]);

    QNetworkAccessManager network;
    const CredentialStore credentials(QStringLiteral("Clipferry screenshot"),
                                      std::chrono::milliseconds(500));
    auto options = UploadViewModel::defaultOptions();
    // A closed loopback port: a refresh fails at once instead of reaching the service.
    options.apiBase = QUrl(QStringLiteral("http://127.0.0.1:1"));
    options.client.apiBase = options.apiBase;
    UploadViewModel viewModel(PlatformConfig{}, network, credentials, options);
    viewModel.setTokenID(QStringLiteral("fixture"));
    viewModel.setTokenSecret(QStringLiteral("fixture"));

    MainWindow window(viewModel, network);
    window.resize(1500, 860);
    window.splitter()->setSizes({360, 1140});
    window.show();
    settle(3000, [&] { return viewModel.isReady() && !viewModel.isRefreshing(); });
    viewModel.setShowAPIKeySheet(false);

    // --- fixture: three known cities, one unknown code, animations at every stage ---
    viewModel.setCityMap({
        {QStringLiteral("ATL"), {QStringLiteral("ATLANTA"), QStringLiteral("#C8102E"), 3}},
        {QStringLiteral("NYNJ"), {QStringLiteral("NEW YORK"), QStringLiteral("#003A70"), 4}},
        {QStringLiteral("PAR"), {QStringLiteral("PARIS"), QStringLiteral("#0055A4"), 5}},
    });
    const QList<MuxAsset> assets{
        asset(QStringLiteral("a1"), QStringLiteral("E1_Opening_ATL_M01_intro.mov"),
              QStringLiteral("1920×1080"), 12),
        asset(QStringLiteral("a2"), QStringLiteral("E2_Opening_ATL_M01_crowd.mov"),
              QStringLiteral("1920×1080"), 9.5),
        asset(QStringLiteral("a3"), QStringLiteral("E3_Opening_ATL_M02_flags.mov"),
              QStringLiteral("3840×2160"), 20),
        asset(QStringLiteral("a4"), QStringLiteral("E1_Parade_ATL_M04_floats.mov"),
              QStringLiteral("1920×1080"), 31),
        asset(QStringLiteral("a5"), QStringLiteral("E1_Goal_NYNJ_M03_replay.mov"),
              QStringLiteral("1280×720"), 7),
        asset(QStringLiteral("a6"), QStringLiteral("E2_Goal_NYNJ_M03_celebration_wide.mov"),
              QStringLiteral("1920×1080"), 14),
        asset(QStringLiteral("a7"), QStringLiteral("E1_Halftime_NYNJ_M05_show.mov"),
              QStringLiteral("1920×1080"), 95),
        asset(QStringLiteral("a8"), QStringLiteral("E1_Opening_PAR_M01_intro.mov"),
              QStringLiteral("1920×1080"), 12),
        asset(QStringLiteral("a9"), QStringLiteral("E2_Opening_PAR_M01_tower.mov"),
              QStringLiteral("1920×1080"), 18, false),
        asset(QStringLiteral("a10"), QStringLiteral("E1_Anthem_PAR_M02_choir.mov"),
              QStringLiteral("1920×1080"), 64),
        asset(QStringLiteral("a11"), QStringLiteral("E1_Opening_LON_M01_intro.mov"),
              QStringLiteral("1920×1080"), 12),
    };
    viewModel.setFixtureLibrary(assets, {QStringLiteral("a2"), QStringLiteral("a5"),
                                         QStringLiteral("a8"), QStringLiteral("a9")});
    viewModel.setSelectedAsset(assets[1]);

    auto* column = window.findChild<LibraryColumn*>();
    const CityMap& cities = viewModel.cityMap();
    int variant = 0;
    for (const MuxAsset& a : assets) {
        if (!a.playback_ids)
            continue;
        const auto parts = parseVideoName(*a.passthrough);
        const QColor color = cities.contains(parts.city)
                                 ? QColor::fromString(cities[parts.city].color)
                                 : QColor(90, 90, 90);
        column->remoteThumbnails().insert(
            QStringLiteral(
                "https://image.mux.com/pb%1/thumbnail.jpg?width=160&height=90&fit_mode=preserve")
                .arg(a.id),
            still(color, parts.match, variant++ % 4));
    }
    auto& view = column->view();
    const auto expand = [&](const QStringList& keys) {
        for (int c = 0; c < column->model().rowCount(); ++c) {
            const QModelIndex city = column->model().index(c, 0);
            for (int g = 0; g < column->model().rowCount(city); ++g) {
                const QModelIndex group = column->model().index(g, 0, city);
                const QString key = group.data(LibraryModel::ExpansionKeyRole).toString();
                if (keys.contains(key) != view.isAnimationExpanded(key))
                    view.toggleAnimation(group);
            }
        }
    };
    expand({QStringLiteral("ATL|Opening"), QStringLiteral("NYNJ|Goal"),
            QStringLiteral("PAR|Opening")});
    settle(400);
    if (!window.grab().save(out))
        return 1;

    column->searchField().setText(QStringLiteral("PAR"));
    settle(300);
    if (!window.grab().save(variantPath(out, QStringLiteral("-search"))))
        return 1;
    column->searchField().clear();

    // --- local folder mode ---
    const QString folder = home.path() + QStringLiteral("/clips/");
    QList<QUrl> files;
    for (const QString& name : {QStringLiteral("E1_Opening_ATL_M01_intro.mov"),
                                QStringLiteral("E2_Opening_ATL_M01_crowd.mp4"),
                                QStringLiteral("E1_Goal_NYNJ_M03_replay.mov"),
                                QStringLiteral("E1_Opening_PAR_M01_intro.mov"),
                                QStringLiteral("E2_Opening_PAR_M01_tower.m4v")})
        files.append(QUrl::fromLocalFile(folder + name));
    viewModel.setLocalFolderURL(QUrl::fromLocalFile(folder));
    viewModel.setProvider(VideoProvider::localFolder);
    viewModel.setFixtureLocalVideos(files, {files[1], files[3]});
    viewModel.setSelectedLocalVideo(files[3]);
    column->localThumbnails().insert(files[0].toString(),
                                     still(QColor(200, 16, 46), QStringLiteral("M01"), 1));
    column->localThumbnails().insert(files[3].toString(),
                                     still(QColor(0, 85, 164), QStringLiteral("M01"), 2));
    settle(400);
    if (!window.grab().save(variantPath(out, QStringLiteral("-local"))))
        return 1;
    return 0;
}
