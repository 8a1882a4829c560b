// Renders the real main window offscreen against the local stand-in service and saves
//   clipferry-screenshot FOLDER
// as FOLDER/window.png (the library), library-menu.png (a video row's menu), library-search.png
// (search "PAR"), library-local.png (a local folder of generated clips in each delivery
// state), settings.png (the settings sheet), sidebar-batch.png (the upload list while a batch
// is in flight, with the queue's total and a paused row) and library-offline.png (the kept
// listing without a network); window, library-local and settings also as "-dark" under a
// dark palette.
// Everything it reads or writes lives in a temporary home folder.
#include "ClipFactory.h"
#include "StandInService.h"
#include "model/CredentialStore.h"
#include "ui/MainWindow.h"
#include "ui/library/LibraryAddresses.h"
#include "ui/library/LibraryColumn.h"
#include "ui/library/LibraryModel.h"
#include "ui/library/LibraryView.h"
#include "ui/library/ThumbnailLoader.h"
#include "ui/sidebar/UploadToolsView.h"
#include "workflow/ActivityLog.h"
#include "workflow/UploadQueue.h"
#include "workflow/UploadViewModel.h"
#include "workflow/Workspace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListView>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QSplitter>
#include <QTemporaryDir>
#include <cstdio>

using namespace clipferry;

namespace {

// Runs the event loop until `until` holds; false when `milliseconds` passed first.
bool settle(int milliseconds, const std::function<bool()>& until = {}) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        if (until && until())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return !until;
}

bool fail(const char* what) {
    std::fprintf(stderr, "clipferry-screenshot: %s\n", what);
    return false;
}

qsizetype logCount(const UploadViewModel& viewModel, const QString& prefix) {
    return std::count_if(viewModel.log().begin(), viewModel.log().end(),
                         [&](const LogEntry& entry) { return entry.message.startsWith(prefix); });
}

bool logHas(const UploadViewModel& viewModel, const QString& prefix) {
    return logCount(viewModel, prefix) > 0;
}

qsizetype sheetExports(const UploadViewModel& viewModel) {
    return logCount(viewModel, QStringLiteral("Google Sheet updated.")) +
           logCount(viewModel, QStringLiteral("Google Sheet update failed"));
}

// One asset as the service lists it. New assets were created after any launch.
QJsonObject asset(const QString& id, const QString& name, QSize size, double seconds,
                  bool isNew = false, bool withPlayback = true) {
    QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("status"), QStringLiteral("ready")},
        {QStringLiteral("passthrough"), name},
        {QStringLiteral("duration"), seconds},
        {QStringLiteral("aspect_ratio"), QStringLiteral("16:9")},
        {QStringLiteral("created_at"),
         isNew ? QStringLiteral("4102444800") : QStringLiteral("1714564800")},
        {QStringLiteral("tracks"),
         QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("video")},
                                {QStringLiteral("max_width"), size.width()},
                                {QStringLiteral("max_height"), size.height()}}}},
    };
    if (withPlayback)
        object.insert(
            QStringLiteral("playback_ids"),
            QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("pb") + id},
                                   {QStringLiteral("policy"), QStringLiteral("public")}}});
    return object;
}

QJsonArray fixtureLibrary() {
    const QSize hd(1920, 1080);
    return {
        asset(QStringLiteral("a1"), QStringLiteral("E1_Opening_ATL_M01_intro.mov"), hd, 12),
        asset(QStringLiteral("a2"), QStringLiteral("E2_Opening_ATL_M01_crowd.mov"), hd, 9.5, true),
        asset(QStringLiteral("a3"), QStringLiteral("E3_Opening_ATL_M02_flags.mov"),
              QSize(3840, 2160), 20),
        asset(QStringLiteral("a4"), QStringLiteral("E1_Parade_ATL_M04_floats.mov"), hd, 31),
        asset(QStringLiteral("a5"), QStringLiteral("E1_Goal_NYNJ_M03_replay.mov"), QSize(1280, 720),
              7, true),
        asset(QStringLiteral("a6"), QStringLiteral("E2_Goal_NYNJ_M03_celebration_wide.mov"), hd,
              14),
        asset(QStringLiteral("a7"), QStringLiteral("E1_Halftime_NYNJ_M05_show.mov"), hd, 95),
        asset(QStringLiteral("a8"), QStringLiteral("E1_Opening_PAR_M01_intro.mov"), hd, 12, true),
        asset(QStringLiteral("a9"), QStringLiteral("E2_Opening_PAR_M01_tower.mov"), hd, 18, true,
              false),
        asset(QStringLiteral("a10"), QStringLiteral("E1_Anthem_PAR_M02_choir.mov"), hd, 64),
        asset(QStringLiteral("a11"), QStringLiteral("E1_Opening_LON_M01_intro.mov"), hd, 12),
    };
}

// The service's stills are out of reach here: a picture in the city's colour stands in.
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

// The stills are drawn here and keyed by the stand-in's address: the stand-in serves none,
// and no picture is asked of a real image host.
void insertStills(LibraryColumn& column, const UploadViewModel& viewModel, const QUrl& imageBase) {
    int variant = 0;
    for (const auto& value : fixtureLibrary()) {
        const QJsonObject object = value.toObject();
        MuxAsset a;
        a.id = object.value(QStringLiteral("id")).toString();
        a.passthrough = object.value(QStringLiteral("passthrough")).toString();
        if (object.contains(QStringLiteral("playback_ids")))
            a.playback_ids = QList<PlaybackID>{{QStringLiteral("pb") + a.id}};
        const auto url = thumbnailURL(a, imageBase);
        if (!url)
            continue;
        const auto parts = parseVideoName(*a.passthrough);
        const CityMap& cities = viewModel.cityMap();
        const QColor color = cities.contains(parts.city)
                                 ? QColor::fromString(cities[parts.city].color)
                                 : QColor(90, 90, 90);
        column.remoteThumbnails().insert(url->toString(), still(color, parts.match, variant++ % 4));
    }
}

void expandGroups(LibraryColumn& column, const QStringList& keys) {
    LibraryModel& model = column.model();
    LibraryView& view = column.view();
    for (int c = 0; c < model.rowCount(); ++c) {
        const QModelIndex city = model.index(c, 0);
        for (int g = 0; g < model.rowCount(city); ++g) {
            const QModelIndex group = model.index(g, 0, city);
            const QString key = group.data(LibraryModel::ExpansionKeyRole).toString();
            if (keys.contains(key) != view.isAnimationExpanded(key))
                view.toggleAnimation(group);
        }
    }
}

bool save(const QPixmap& picture, const QString& path) {
    if (picture.save(path)) {
        std::printf("wrote %s\n", qPrintable(path));
        return true;
    }
    return fail("cannot write a picture");
}

bool save(QWidget& widget, const QString& path) {
    return save(widget.grab(), path);
}

// The colours a dark desktop hands the application.
QPalette darkPalette() {
    QPalette p;
    const QColor text(229, 229, 231);
    const QColor disabled(120, 120, 124);
    p.setColor(QPalette::Window, QColor(36, 36, 38));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(28, 28, 30));
    p.setColor(QPalette::AlternateBase, QColor(44, 44, 46));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(58, 58, 60));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(72, 72, 74));
    p.setColor(QPalette::Midlight, QColor(60, 60, 62));
    p.setColor(QPalette::Mid, QColor(48, 48, 50));
    p.setColor(QPalette::Dark, QColor(20, 20, 22));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(64, 156, 255));
    p.setColor(QPalette::PlaceholderText, QColor(142, 142, 147));
    p.setColor(QPalette::ToolTipBase, QColor(58, 58, 60));
    p.setColor(QPalette::ToolTipText, text);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

// The picture under the application's palette, then NAME-dark.png under a dark one.
bool saveLightAndDark(QWidget& widget, const QString& folder, const char* name) {
    const QString base = folder + QLatin1Char('/') + QLatin1String(name);
    if (!save(widget, base + QStringLiteral(".png")))
        return false;
    const QPalette light = QApplication::palette();
    QApplication::setPalette(darkPalette());
    settle(300);
    const bool saved = save(widget, base + QStringLiteral("-dark.png"));
    QApplication::setPalette(light);
    settle(100);
    return saved;
}

QUrl makeFile(const QString& folder, const QString& name, qint64 size) {
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
        return {};
    return QUrl::fromLocalFile(file.fileName());
}

// Holds every request that matches until the end: a reply slower than the screenshot.
bool hold(StandInService& service, const QString& method, const QString& path) {
    StandInService::Fault fault;
    fault.method = method;
    fault.path = path;
    fault.delayMs = 120000;
    return service.addFault(fault);
}

class Screenshots {
public:
    Screenshots(StandInService& service, UploadViewModel& viewModel, MainWindow& window,
                QString folder, QString scratch)
        : m_service(service)
        , m_viewModel(viewModel)
        , m_window(window)
        , m_column(*window.findChild<LibraryColumn*>())
        , m_folder(std::move(folder))
        , m_scratch(std::move(scratch)) {}

    bool library();
    bool videoMenu();
    bool localFolder();
    bool settings();
    bool batch();
    bool offline();
    bool finish();

private:
    [[nodiscard]] QString path(const char* name) const {
        return m_folder + QLatin1Char('/') + QLatin1String(name);
    }
    bool waitForStatus(qsizetype index, UploadStatus status);

    StandInService& m_service;
    UploadViewModel& m_viewModel;
    MainWindow& m_window;
    LibraryColumn& m_column;
    QString m_folder;
    QString m_scratch;
    ClipFactory m_clips;
    qsizetype m_firstBatchItem = 0;
    qsizetype m_exportsBefore = 0;
};

bool Screenshots::library() {
    insertStills(m_column, m_viewModel, m_service.baseUrl());
    m_window.show();
    // The first showing lists the service library; its change set lands right after.
    if (!settle(10000, [&] {
            return !m_viewModel.isRefreshing() &&
                   logHas(m_viewModel, QStringLiteral("Found 4 new/updated MUX assets."));
        }))
        return fail("the first listing did not arrive");
    for (const MuxAsset& a : m_viewModel.existingAssets())
        if (a.id == QStringLiteral("a2"))
            m_viewModel.setSelectedAsset(a);
    expandGroups(m_column, {QStringLiteral("ATL|Opening"), QStringLiteral("NYNJ|Goal"),
                            QStringLiteral("PAR|Opening")});
    settle(300);
    if (!saveLightAndDark(m_window, m_folder, "window"))
        return false;

    m_column.searchField().setText(QStringLiteral("PAR"));
    settle(300);
    const bool saved = save(m_window, path("library-search.png"));
    m_column.searchField().clear();
    return saved;
}

// A popup is a window of its own: the menu is drawn over the window's picture where it opened.
bool Screenshots::videoMenu() {
    LibraryModel& model = m_column.model();
    const QModelIndex group =
        model
            .match(model.index(0, 0), LibraryModel::ExpansionKeyRole, QStringLiteral("ATL|Opening"),
                   1, Qt::MatchExactly | Qt::MatchRecursive)
            .value(0);
    const QModelIndex row = model.index(1, 0, group);
    LibraryView& view = m_column.view();
    if (!row.isValid())
        return fail("no video row for the menu");
    const QPoint at = view.visualRect(row).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view.viewport(), &event);
    auto* menu = m_column.findChild<QMenu*>(QStringLiteral("videoMenu"));
    if (!menu || !settle(2000, [&] { return menu->isVisible(); }))
        return fail("the row's menu did not open");
    settle(300);
    QPixmap picture = m_window.grab();
    QPainter painter(&picture);
    painter.drawPixmap(m_window.mapFromGlobal(menu->pos()), menu->grab());
    painter.end();
    menu->close();
    settle(100);
    return save(picture, path("library-menu.png"));
}

// One clip in each delivery state: the service holds an older render of ATL's intro
// (changed since), a newer one of PAR's (on the service), nothing of the ".mp4" crowd and
// NYNJ's replay (not there), and PAR's tower is being sent.
bool Screenshots::localFolder() {
    const QStringList names{QStringLiteral("E1_Opening_ATL_M01_intro.mov"),
                            QStringLiteral("E2_Opening_ATL_M01_crowd.mp4"),
                            QStringLiteral("E1_Goal_NYNJ_M03_replay.mp4"),
                            QStringLiteral("E1_Opening_PAR_M01_intro.mov"),
                            QStringLiteral("E2_Opening_PAR_M01_tower.mov")};
    ClipFactory::Options clip;
    clip.size = QSize(640, 360);
    clip.videoSource = QStringLiteral("testsrc2=s=%1:r=%2:d=%3");
    for (const QString& name : names) {
        if (m_clips.video(name, clip).isEmpty())
            return fail(qPrintable(QStringLiteral("ffmpeg failed: ") + m_clips.lastError()));
    }
    // As the folder chooser does; then a look at two clips, so only the others stay new.
    m_viewModel.setLocalFolderURL(QUrl::fromLocalFile(m_clips.folder()));
    m_viewModel.setProvider(VideoProvider::localFolder);
    m_viewModel.startLoadLocalVideos();
    settle(10000, [&] { return !m_viewModel.localVideoURLs().isEmpty(); });
    const QList<QUrl> files = m_viewModel.localVideoURLs();
    for (const QUrl& file : files) {
        if (file.fileName().startsWith(QStringLiteral("E1_Opening")))
            m_viewModel.markLocalVideoSeen(file);
        if (file.fileName() == QStringLiteral("E1_Opening_PAR_M01_intro.mov"))
            m_viewModel.setSelectedLocalVideo(file);
        if (file.fileName() == QStringLiteral("E2_Opening_PAR_M01_tower.mov")) {
            if (!hold(m_service, QStringLiteral("PUT"), QStringLiteral("/_upload/*")))
                return fail("the stand-in refused a fault");
            m_viewModel.startUploadBatch({file});
        }
    }
    expandGroups(m_column, {QStringLiteral("ATL|Opening"), QStringLiteral("PAR|Opening")});
    settle(15000, [&] {
        return m_column.localThumbnails().inFlightCount() == 0 &&
               m_column.localThumbnails().queuedCount() == 0;
    });
    settle(500);
    if (!saveLightAndDark(m_window, m_folder, "library-local"))
        return false;
    // The held clip goes on, so that the batch pictures start from an idle list.
    if (!m_service.clearFaults() || !m_service.releaseHangingReplies())
        return fail("the stand-in did not release its replies");
    if (!settle(30000, [&] {
            return m_viewModel.completedBatchUploads() == m_viewModel.pendingBatchUploads() &&
                   sheetExports(m_viewModel) > 0;
        }))
        return fail("the local clip's upload did not end");
    m_viewModel.setProvider(VideoProvider::webMux);
    settle(200);
    return true;
}

bool Screenshots::settings() {
    auto* gear = m_window.findChild<QAbstractButton*>(QStringLiteral("settingsButton"));
    if (!gear)
        return fail("no settings button");
    gear->click();
    QDialog* sheet = nullptr;
    settle(2000, [&] {
        for (auto* dialog : m_window.findChildren<QDialog*>())
            if (dialog->isVisible())
                sheet = dialog;
        return sheet != nullptr;
    });
    if (!sheet)
        return fail("the settings sheet did not open");
    settle(300);
    const bool saved = saveLightAndDark(*sheet, m_folder, "settings");
    sheet->reject();
    settle(100);
    return saved;
}

bool Screenshots::waitForStatus(qsizetype index, UploadStatus status) {
    index += m_firstBatchItem;
    const bool reached = settle(10000, [&] {
        return m_viewModel.uploads().size() > index &&
               m_viewModel.uploads()[index].status == status;
    });
    return reached || fail("an upload did not reach its stage");
}

// One file after another, each held at its own stage by the stand-in, three at a time.
bool Screenshots::batch() {
    m_firstBatchItem = m_viewModel.uploads().size();
    m_exportsBefore = sheetExports(m_viewModel);
    const auto start = [&](const QString& name, qint64 size) {
        m_viewModel.startUploadBatch({makeFile(m_scratch, name, size)});
    };
    start(QStringLiteral("E3_Parade_ATL_M04_drums.mov"), 200000);
    if (!waitForStatus(0, UploadStatus::done))
        return false;

    if (!hold(m_service, QStringLiteral("GET"), QStringLiteral("/video/v1/assets/*")))
        return fail("the stand-in refused a fault");
    start(QStringLiteral("E2_Halftime_NYNJ_M05_lights.mov"), 200000);
    if (!waitForStatus(1, UploadStatus::processingAsset))
        return false;

    // Larger than the loopback buffers: the bar stops part of the way.
    if (!hold(m_service, QStringLiteral("PUT"), QStringLiteral("/_upload/*")))
        return fail("the stand-in refused a fault");
    start(QStringLiteral("E2_Anthem_PAR_M02_orchestra.mov"), 160LL * 1024 * 1024);
    if (!waitForStatus(2, UploadStatus::uploading))
        return false;
    settle(1000);

    StandInService::Fault refused;
    refused.method = QStringLiteral("POST");
    refused.path = QStringLiteral("/video/v1/uploads");
    refused.times = 1;
    refused.status = 400;
    refused.body = QByteArray(R"({"error":{"type":"invalid_parameters",)"
                              R"("messages":["File name is not allowed"]}})");
    if (!m_service.addFault(refused))
        return fail("the stand-in refused a fault");
    start(QStringLiteral("E1_Goal_LON_M02_penalty.mov"), 200000);
    if (!waitForStatus(3, UploadStatus::failed))
        return false;

    if (!hold(m_service, QStringLiteral("POST"), QStringLiteral("/video/v1/uploads")))
        return fail("the stand-in refused a fault");
    start(QStringLiteral("E3_Goal_NYNJ_M03_keeper.mov"), 200000);
    if (!waitForStatus(4, UploadStatus::creatingUpload))
        return false;
    start(QStringLiteral("E4_Goal_NYNJ_M03_fans.mov"), 200000);
    settle(500);
    // Held before it began: a paused row, counted in the total above the list.
    m_viewModel.performUploadAction(m_firstBatchItem + 5, UploadQueue::pauseAction);
    settle(300);

    // The list's end, where the paused row is.
    m_window.findChild<UploadToolsView*>()->uploadList()->scrollToBottom();
    settle(100);
    auto* sidebar = m_window.findChild<QWidget*>(QStringLiteral("sidebar"));
    return sidebar ? save(*sidebar, path("sidebar-batch.png")) : fail("no sidebar");
}

// The network gone: the library keeps its rows, dimmed, and says since when.
bool Screenshots::offline() {
    StandInService::Fault down;
    down.method = QStringLiteral("GET");
    down.path = QStringLiteral("/video/v1/assets");
    down.dropBeforeReply = true;
    if (!m_service.addFault(down))
        return fail("the stand-in refused a fault");
    m_viewModel.startRefreshLibrary();
    if (!settle(30000, [&] {
            return !m_viewModel.isRefreshing() && !m_viewModel.listingNotice().isEmpty();
        }))
        return fail("the listing without a network did not end");
    settle(300);
    return save(m_window, path("library-offline.png"));
}

// Lets the held replies go and waits for the batch to end: nothing may be in flight when
// the view model goes. Hidden, the window asks for no stills of the new assets.
bool Screenshots::finish() {
    m_window.hide();
    if (!m_service.clearFaults() || !m_service.releaseHangingReplies())
        return fail("the stand-in did not release its replies");
    const bool ended = settle(60000, [&] {
        return m_viewModel.completedBatchUploads() == m_viewModel.pendingBatchUploads() &&
               !m_viewModel.isRefreshing() && sheetExports(m_viewModel) > m_exportsBefore;
    });
    return ended || fail("the batch did not end");
}

void useTemporaryHome(const QString& home) {
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/cache")).toUtf8());
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: clipferry-screenshot FOLDER\n");
        return 2;
    }
    QTemporaryDir home;
    useTemporaryHome(home.path());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Clipferry"));
    QApplication::setApplicationName(QStringLiteral("Clipferry"));
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        fail("cannot create the output folder");
        return 1;
    }

    StandInService service;
    if (!service.isRunning() || !service.seedAssets(fixtureLibrary())) {
        fail("the stand-in service did not start");
        return 1;
    }

    QNetworkAccessManager network;
    const CredentialStore credentials(QStringLiteral("Clipferry screenshot"),
                                      std::chrono::milliseconds(500));
    auto options = Workspace::defaultOptions();
    options.apiBase = service.baseUrl();
    options.client = service.clientOptions();
    options.sheetWebAppUrl = service.sheetWebAppUrl();
    ActivityLog log;
    log.echoToStandardOutput();
    Workspace workspace(log, network, credentials, options);
    UploadViewModel viewModel(PlatformConfig{}, workspace);
    if (!settle(5000, [&] { return viewModel.isReady(); })) {
        fail("the view model did not become ready");
        return 1;
    }
    viewModel.setTokenID(service.tokenID());
    viewModel.setTokenSecret(service.tokenSecret());
    viewModel.setShowAPIKeySheet(false);
    viewModel.setCityMap({
        {QStringLiteral("ATL"), {QStringLiteral("ATLANTA"), QStringLiteral("#C8102E"), 3}},
        {QStringLiteral("NYNJ"), {QStringLiteral("NEW YORK"), QStringLiteral("#003A70"), 4}},
        {QStringLiteral("PAR"), {QStringLiteral("PARIS"), QStringLiteral("#0055A4"), 5}},
    });

    // The window at the size a first start gives it.
    MainWindow window(viewModel, network, service.baseUrl());
    Screenshots shots(service, viewModel, window, folder, home.path());
    const bool ok = shots.library() && shots.videoMenu() && shots.localFolder() &&
                    shots.settings() && shots.batch() && shots.offline();
    const bool ended = shots.finish();
    return ok && ended ? 0 : 1;
}
