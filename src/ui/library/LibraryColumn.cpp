#include "ui/library/LibraryColumn.h"

#include "thumbnails/ThumbnailSources.h"
#include "ui/common/AppStyle.h"
#include "ui/common/ConfirmationDialog.h"
#include "ui/common/QuestionDialog.h"
#include "ui/library/LibraryAddresses.h"
#include "ui/library/LibraryIcons.h"
#include "ui/library/LibraryModel.h"
#include "ui/library/LibraryStyle.h"
#include "ui/library/LibraryView.h"
#include "ui/library/RefreshButton.h"
#include "ui/library/ThumbnailLoader.h"
#include "workflow/UploadViewModel.h"

#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkDiskCache>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <clipferry/BuildConfig.h>

namespace clipferry {
namespace {
const QSize thumbnailSize(libraryStyle::thumbnailWidth, libraryStyle::thumbnailHeight);
constexpr qint64 imageCacheBytes = 200LL * 1024 * 1024;

// What Copy puts on the clipboard: the playback address, or a local clip's path.
QString copyText(const LibraryVideo& video, const QUrl& streamBase) {
    if (const auto* asset = std::get_if<MuxAsset>(&video)) {
        const auto url = streamURL(*asset, streamBase);
        return url ? url->toString(QUrl::FullyEncoded) : QString();
    }
    return std::get<LocalVideo>(video).url.toLocalFile();
}
} // namespace

LibraryColumn::Options LibraryColumn::defaultOptions() {
    return {QUrl(QString::fromUtf8(build::muxImageBase)), remoteThumbnailCacheFolder(), 6};
}

LibraryColumn::LibraryColumn(UploadViewModel& viewModel, QNetworkAccessManager& network,
                             AppStyle& style, QWidget* parent)
    : LibraryColumn(viewModel, network, style, defaultOptions(), parent) {}

LibraryColumn::LibraryColumn(UploadViewModel& viewModel, QNetworkAccessManager& network,
                             AppStyle& style, Options options, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setObjectName(QStringLiteral("library"));
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    libraryIcons::initResources();

    if (!options.imageCacheFolder.isEmpty()) {
        m_imageCache = new QNetworkDiskCache(this);
        m_imageCache->setCacheDirectory(options.imageCacheFolder);
        m_imageCache->setMaximumCacheSize(imageCacheBytes);
    }
    const qreal ratio = devicePixelRatioF();
    m_remoteThumbnails =
        new ThumbnailLoader(remoteThumbnailFetch(network, m_imageCache), thumbnailSize, ratio,
                            options.maxThumbnailRequests, this);
    m_localThumbnails =
        new ThumbnailLoader(localThumbnailFetch(QSizeF(thumbnailSize)), thumbnailSize, ratio,
                            options.maxThumbnailRequests, this);
    m_model = new LibraryModel(viewModel, this);

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("librarySearch"));
    m_search->setPlaceholderText(QStringLiteral("Search Animations\u2026"));
    m_search->setClearButtonEnabled(true);
    // The style's own frame is drawn in the window colour, which vanishes on a dark base.
    style.setPaletteStyleSheet(m_search, [](const QPalette& palette) {
        QColor outline = style::secondaryColor(palette);
        outline.setAlphaF(0.4F);
        return QStringLiteral("QLineEdit#librarySearch { border: 1px solid %1; "
                              "border-radius: 5px; padding: 3px 4px; background: %2; color: %3; }")
            .arg(outline.name(QColor::HexArgb), palette.color(QPalette::Base).name(),
                 palette.color(QPalette::Text).name());
    });
    m_search->setAccessibleName(QStringLiteral("Search Animations"));
    if (auto* clear = m_search->findChild<QToolButton*>()) {
        clear->setObjectName(QStringLiteral("clearSearch"));
        clear->setAccessibleName(QStringLiteral("Clear search"));
        clear->setToolTip(QStringLiteral("Clear search"));
    }
    m_refresh = new RefreshButton(this);
    m_filter = new QComboBox(this);
    m_filter->setObjectName(QStringLiteral("deliveryFilter"));
    m_filter->setAccessibleName(QStringLiteral("Show"));
    m_filter->addItem(QStringLiteral("All"), int(DeliveryFilter::all));
    m_filter->addItem(QStringLiteral("Not on Mux"), int(DeliveryFilter::notOnMux));
    m_filter->addItem(QStringLiteral("Changed"), int(DeliveryFilter::changed));
    m_uploadShown = new QPushButton(this);
    m_uploadShown->setObjectName(QStringLiteral("uploadShown"));
    m_view = new LibraryView(*m_model, *m_remoteThumbnails, *m_localThumbnails,
                             std::move(options.imageBase), this);

    auto* searchBar = new QHBoxLayout;
    searchBar->setSpacing(6);
    searchBar->setContentsMargins(12, 4, 12, 0);
    searchBar->addWidget(m_search, 1);
    searchBar->addWidget(m_filter);
    searchBar->addWidget(m_uploadShown);
    searchBar->addWidget(m_refresh);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(8);
    layout->addLayout(searchBar);
    m_listingBar = new QProgressBar(this);
    m_listingBar->setObjectName(QStringLiteral("listingBar"));
    m_listingBar->setRange(0, 0);
    m_listingBar->setFormat(QStringLiteral("Listing\u2026"));
    m_listingBar->setAccessibleName(QStringLiteral("Listing\u2026"));
    m_listingBar->setToolTip(QStringLiteral("Listing\u2026"));
    m_listingBar->setMaximumHeight(4);
    m_listingBar->setTextVisible(false);
    layout->addWidget(m_listingBar);
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("listingNotice"));
    m_notice->setWordWrap(true);
    m_notice->setContentsMargins(8, 0, 8, 0);
    layout->addWidget(m_notice);
    layout->addWidget(m_view, 1);
    m_dimmer = new QGraphicsOpacityEffect(m_view);
    m_dimmer->setOpacity(0.5);
    m_view->setGraphicsEffect(m_dimmer);
    // Tab walks the bar left to right, then into the list; a focus proxy on the column
    // would send Tab past the search field and the buttons.
    QWidget::setTabOrder(m_search, m_filter);
    QWidget::setTabOrder(m_filter, m_uploadShown);
    QWidget::setTabOrder(m_uploadShown, m_refresh);
    QWidget::setTabOrder(m_refresh, m_view);

    // Every keystroke refilters; there is nothing to submit.
    connect(m_search, &QLineEdit::textChanged, m_model, &LibraryModel::setSearchText);
    connect(m_search, &QLineEdit::returnPressed, m_view, [this] { m_view->setFocus(); });
    connect(m_refresh, &QToolButton::clicked, this, &LibraryColumn::refresh);
    connect(&viewModel, &UploadViewModel::isRefreshingChanged, m_refresh, &RefreshButton::setBusy);
    m_refresh->setBusy(viewModel.isRefreshing());
    connect(&viewModel, &UploadViewModel::showsCachedListingChanged, this,
            &LibraryColumn::showCachedListing);
    connect(&viewModel, &UploadViewModel::providerChanged, this,
            [this] { showCachedListing(m_viewModel.showsCachedListing()); });
    showCachedListing(viewModel.showsCachedListing());
    connect(&viewModel, &UploadViewModel::listingNoticeChanged, this, [this] {
        showListingNotice();
        showCachedListing(m_viewModel.showsCachedListing());
        updateEmptyText();
    });
    connect(&viewModel, &UploadViewModel::providerChanged, this, &LibraryColumn::showListingNotice);
    showListingNotice();
    // A new listing may bring back stills that failed before.
    connect(&viewModel, &UploadViewModel::existingAssetsChanged, m_remoteThumbnails,
            &ThumbnailLoader::forgetFailures);
    connect(&viewModel, &UploadViewModel::localVideoURLsChanged, m_localThumbnails,
            &ThumbnailLoader::forgetFailures);

    connect(m_filter, &QComboBox::currentIndexChanged, m_model, [this] {
        m_model->setDeliveryFilter(DeliveryFilter(m_filter->currentData().toInt()));
    });
    connect(m_uploadShown, &QPushButton::clicked, this, &LibraryColumn::uploadShown);
    // Every rebuild may change what is shown and so what "Upload N" would send.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        updateDeliveryControls();
        updateEmptyText();
    });
    for (const auto signal :
         {&UploadViewModel::credentialsChanged, &UploadViewModel::localFolderChanged})
        connect(&viewModel, signal, this, &LibraryColumn::updateEmptyText);
    connect(&viewModel, &UploadViewModel::isRefreshingChanged, this,
            &LibraryColumn::updateEmptyText);
    updateDeliveryControls();
    updateEmptyText();

    connect(m_view, &LibraryView::videoClicked, this, &LibraryColumn::clickVideo);
    connect(m_view, &LibraryView::videoSelectedByKey, this, &LibraryColumn::selectVideo);
    connect(m_view, &LibraryView::openRequested, this, &LibraryColumn::openVideo);
    connect(m_view, &LibraryView::deleteRequested, this, &LibraryColumn::deleteSelected);
    connect(m_view, &LibraryView::openSelectedRequested, this, &LibraryColumn::openSelected);
    connect(m_view, &LibraryView::deleteSelectedRequested, this, &LibraryColumn::deleteSelected);
    connect(m_view, &LibraryView::copySelectedRequested, this, &LibraryColumn::copySelected);
    connect(m_view, &LibraryView::menuRequested, this, &LibraryColumn::showVideoMenu);

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    auto* reload = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(reload, &QShortcut::activated, this, [this] {
        if (m_refresh->isEnabled())
            refresh();
    });
}

LibraryColumn::~LibraryColumn() = default;

QSize LibraryColumn::sizeHint() const {
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_view);
    const int width = libraryStyle::minimumRowWidth() + scrollBar + 2 * m_view->frameWidth();
    return {width, QWidget::sizeHint().height()};
}

void LibraryColumn::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Un-minimising the window shows the column again; only the first showing lists.
    if (m_shown || event->spontaneous())
        return;
    m_shown = true;
    m_viewModel.startRefreshLibrary();
}

void LibraryColumn::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (m_painted)
        return;
    m_painted = true;
    // The kept listing is read once this frame is out: reading it earlier would share the
    // cores with building and showing the window and make the empty window come later.
    QMetaObject::invokeMethod(
        this, [this] { m_viewModel.loadKeptListing(); }, Qt::QueuedConnection);
}

void LibraryColumn::refresh() {
    m_viewModel.startRefreshLibrary();
}

void LibraryColumn::showCachedListing(bool cached) {
    // The previous run's rows are a preview: dimmed, and not to be opened or deleted.
    cached = cached && m_viewModel.provider() != VideoProvider::localFolder;
    // The busy line says a listing will replace the rows; after a failed one, the notice
    // says why they stay.
    m_listingBar->setVisible(cached && m_viewModel.listingNotice().isEmpty());
    m_view->setEnabled(!cached);
    m_dimmer->setEnabled(cached);
}

void LibraryColumn::showListingNotice() {
    const QString& notice = m_viewModel.listingNotice();
    m_notice->setText(notice);
    m_notice->setVisible(!notice.isEmpty() && m_viewModel.provider() == VideoProvider::webMux);
}

void LibraryColumn::clickVideo(const QModelIndex& video) {
    if (video.data(LibraryModel::IsSelectedRole).toBool())
        openVideo(video);
    else
        selectVideo(video);
}

void LibraryColumn::selectVideo(const QModelIndex& video) {
    const auto* node = LibraryModel::nodeAt(video);
    const auto* entry = node ? std::get_if<VideoEntry>(&node->payload) : nullptr;
    if (!entry)
        return;
    // Selecting marks nothing as seen.
    if (const auto* asset = std::get_if<MuxAsset>(&entry->video))
        m_viewModel.setSelectedAsset(*asset);
    else
        m_viewModel.setSelectedLocalVideo(std::get<LocalVideo>(entry->video).url);
}

void LibraryColumn::openVideo(const QModelIndex& video) {
    const auto* node = LibraryModel::nodeAt(video);
    const auto* entry = node ? std::get_if<VideoEntry>(&node->payload) : nullptr;
    if (!entry)
        return;
    if (const auto* asset = std::get_if<MuxAsset>(&entry->video)) {
        m_viewModel.markAssetSeen(asset->id);
        if (const auto url = streamURL(*asset, m_viewModel.streamBase()); url && url->isValid())
            m_openUrl(*url);
        return;
    }
    const QUrl file = std::get<LocalVideo>(entry->video).url;
    m_openUrl(file);
    m_viewModel.markLocalVideoSeen(file);
}

void LibraryColumn::openSelected() {
    openVideo(m_model->selectedVideoIndex());
}

void LibraryColumn::copySelected() {
    const auto* node = LibraryModel::nodeAt(m_model->selectedVideoIndex());
    const auto* entry = node ? std::get_if<VideoEntry>(&node->payload) : nullptr;
    if (!entry)
        return;
    if (const QString text = copyText(entry->video, m_viewModel.streamBase()); !text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void LibraryColumn::showVideoMenu(const QModelIndex& video, const QPoint& globalPosition) {
    const auto* node = LibraryModel::nodeAt(video);
    const auto* entry = node ? std::get_if<VideoEntry>(&node->payload) : nullptr;
    if (!entry)
        return;
    // The menu acts on the row it was opened on, as a click would have selected it.
    selectVideo(video);
    const bool remote = std::holds_alternative<MuxAsset>(entry->video);
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("videoMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto* copy = menu->addAction(remote ? QStringLiteral("Copy Playback Address")
                                        : QStringLiteral("Copy File Path"),
                                 this, &LibraryColumn::copySelected);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(!copyText(entry->video, m_viewModel.streamBase()).isEmpty());
    const QPersistentModelIndex row(video);
    menu->addAction(remote ? QStringLiteral("Open in Browser") : QStringLiteral("Open"), this,
                    [this, row] { openVideo(row); });
    if (remote && m_viewModel.config().canDelete()) {
        menu->addSeparator();
        auto* remove =
            menu->addAction(QStringLiteral("Delete\u2026"), this, &LibraryColumn::deleteSelected);
        remove->setShortcut(QKeySequence::Delete);
    }
    // popup(), not exec(): no nested event loop.
    menu->popup(globalPosition);
}

void LibraryColumn::deleteSelected() {
    // Local files are never deleted; the service's asset goes only after a confirmation.
    if (m_viewModel.provider() == VideoProvider::localFolder || !m_viewModel.selectedAsset())
        return;
    const MuxAsset asset = *m_viewModel.selectedAsset();
    const QString name = asset.passthrough.value_or(asset.id);
    const QString question = QStringLiteral("Delete \u201C") + name +
                             QStringLiteral("\u201D from Mux? This cannot be undone.");
    // The selection may move while the question is open: the asset asked about goes.
    ConfirmationDialog::ask(this, question, QStringLiteral("Delete"), this,
                            [this, asset](bool accepted) {
                                if (accepted)
                                    m_viewModel.startDeleteAsset(asset);
                            });
}

void LibraryColumn::updateDeliveryControls() {
    const bool local = m_viewModel.provider() == VideoProvider::localFolder;
    m_filter->setVisible(local);
    const auto count = local ? m_viewModel.uploadCandidateCount(m_model->shownLocalFiles()) : 0;
    m_uploadShown->setText(QStringLiteral("Upload %1").arg(count));
    m_uploadShown->setVisible(count > 0 && m_viewModel.config().canUpload());
}

void LibraryColumn::updateEmptyText() {
    const bool local = m_viewModel.provider() == VideoProvider::localFolder;
    const bool narrowed = isSearchActive(m_model->searchText()) ||
                          (local && m_model->deliveryFilter() != DeliveryFilter::all);
    QString text;
    if (m_viewModel.isRefreshing())
        text.clear();
    else if (local && !m_viewModel.localFolderURL())
        text = QStringLiteral("Choose a folder of clips on the left.");
    else if (!local && (m_viewModel.tokenID().isEmpty() || m_viewModel.tokenSecret().isEmpty()))
        text = QStringLiteral("Enter your Mux API keys with the gear on the left to see the "
                              "library.");
    else if (narrowed)
        text = QStringLiteral("No clips match.");
    else if (!local && !m_viewModel.listingNotice().isEmpty())
        text = m_viewModel.listingNotice();
    else if (local)
        text = QStringLiteral("No clips in this folder.");
    else
        text = QStringLiteral("The library is empty. Drop clips on the left to upload them.");
    m_view->setEmptyText(text);
}

void LibraryColumn::uploadShown() {
    auto question = m_viewModel.deliverShown(m_model->shownLocalFiles());
    if (!question)
        return;
    QuestionDialog::ask(
        this, question->text, question->answers, this,
        [this, held = *question](int answer) { m_viewModel.answerDelivery(held, answer); });
}

} // namespace clipferry
