#include "ui/sidebar/UploadToolsView.h"

#include "model/DetachedTask.h"
#include "ui/common/AppStyle.h"
#include "ui/common/FolderChooser.h"
#include "ui/common/QuestionDialog.h"
#include "ui/sidebar/DropZone.h"
#include "ui/sidebar/FolderBox.h"
#include "ui/sidebar/LogView.h"
#include "ui/sidebar/SettingsDialog.h"
#include "ui/sidebar/SourcePicker.h"
#include "ui/sidebar/UploadItemDelegate.h"
#include "ui/sidebar/UploadListModel.h"
#include "workflow/UploadViewModel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <clipferry/BuildConfig.h>

namespace clipferry {

UploadToolsView::Options UploadToolsView::defaultOptions() {
    return {QString::fromUtf8(build::muxWebDomain), QString::fromUtf8(build::animationListUrl),
            QString::fromUtf8(build::videoListUrl)};
}

UploadToolsView::UploadToolsView(UploadViewModel& viewModel, AppStyle& style, QWidget* parent)
    : UploadToolsView(viewModel, style, defaultOptions(), parent) {}

UploadToolsView::UploadToolsView(UploadViewModel& viewModel, AppStyle& style, Options options,
                                 QWidget* parent)
    : QScrollArea(parent)
    , m_viewModel(viewModel)
    , m_style(style)
    , m_options(std::move(options))
    , m_folderChooser(new FolderChooser(this)) {
    setObjectName(QStringLiteral("uploadTools"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setSpacing(24);

    const PlatformConfigProtocol& config = viewModel.config();
    column->addWidget(makeHeader());

    m_sourcePicker = new SourcePicker(m_options.webDomain, m_style, content);
    m_sourcePicker->setVisible(config.supportsLocalProvider() || config.supportsMuxProvider());
    column->addWidget(m_sourcePicker);

    m_dropZone = new DropZone(m_options.webDomain, content);
    column->addWidget(m_dropZone);

    m_folderBox = new FolderBox(content);
    column->addWidget(m_folderBox);

    column->addWidget(makeUploadList(), 1);
    column->addWidget(makeLogBox());
    setWidget(content);

    connect(m_sourcePicker, &SourcePicker::providerChosen, &m_viewModel,
            &UploadViewModel::setProvider);
    connect(&m_viewModel, &UploadViewModel::providerChanged, this, [this] {
        showProvider();
        if (m_viewModel.provider() == VideoProvider::localFolder && !m_viewModel.localFolderURL())
            openFolderChooser();
    });

    connect(m_dropZone, &DropZone::filesDropped, this, &UploadToolsView::filesDropped);

    connect(m_folderBox, &FolderBox::chooseClicked, this, &UploadToolsView::openFolderChooser);
    connect(m_folderBox, &FolderBox::includeSubfoldersToggled, &m_viewModel,
            &UploadViewModel::setIncludeSubfolders);
    connect(m_folderBox, &FolderBox::deliverNewClipsToggled, &m_viewModel,
            &UploadViewModel::setDeliverNewClips);
    connect(m_folderBox, &FolderBox::replaceChangedToggled, &m_viewModel,
            &UploadViewModel::setReplaceChangedClips);
    connect(&m_viewModel, &UploadViewModel::deliverNewClipsChanged, this, [this] {
        m_folderBox->setDeliverNewClips(m_viewModel.deliverNewClips(),
                                        m_viewModel.replaceChangedClips());
    });
    connect(m_folderChooser, &FolderChooser::finished, this, &UploadToolsView::folderChosen);
    connect(&m_viewModel, &UploadViewModel::localFolderChanged, this, &UploadToolsView::showFolder);

    showProvider();
    showFolder();
}

QSize UploadToolsView::minimumSizeHint() const {
    // Nothing scrolls sideways, so the narrowest the panel may be is the narrowest its
    // contents can be, beside room for the vertical scroll bar.
    constexpr int narrowest = 280;
    const int contents = widget()->minimumSizeHint().width() + 2 * frameWidth() +
                         verticalScrollBar()->sizeHint().width();
    return {qMax(narrowest, contents), QScrollArea::minimumSizeHint().height()};
}

QWidget* UploadToolsView::makeHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(tr("Video Host"), header);
    style::applyFont(title, style::TextStyle::largeTitle);
    row->addWidget(title);
    row->addStretch();

    m_settingsButton = new QToolButton(header);
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_settingsButton->setAutoRaise(true);
    m_settingsButton->setToolTip(tr("Settings"));
    m_settingsButton->setAccessibleName(tr("Settings"));
    m_settingsButton->setIconSize(QSize(22, 22));
    m_settingsButton->setIcon(style::symbol(
        QStringLiteral("gear"), 22, palette().color(QPalette::WindowText), devicePixelRatioF()));
    connect(m_settingsButton, &QToolButton::clicked, this, &UploadToolsView::openSettings);
    row->addWidget(m_settingsButton);
    return header;
}

QWidget* UploadToolsView::makeUploadList() {
    m_uploadModel = new UploadListModel(m_viewModel, this);
    m_uploadList = new QListView;
    m_uploadList->setObjectName(QStringLiteral("uploadList"));
    m_uploadList->setAccessibleName(tr("Uploads"));
    m_uploadList->setModel(m_uploadModel);
    auto* delegate = new UploadItemDelegate(m_uploadList);
    m_uploadList->setItemDelegate(delegate);
    m_uploadList->setMinimumHeight(150);
    m_uploadList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_uploadList->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_uploadList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A row grows when its playback address or error arrives.
    connect(m_uploadModel, &QAbstractItemModel::dataChanged, delegate,
            [delegate](const QModelIndex& first) { Q_EMIT delegate->sizeHintChanged(first); });

    connect(delegate, &UploadItemDelegate::actionClicked, this,
            [this](const QModelIndex& index, int action) { perform(index.row(), action); });
    // The row's buttons as keys on the selected row, and as its context menu, where a
    // screen reader finds them too.
    m_uploadList->setContextMenuPolicy(Qt::ActionsContextMenu);
    const auto rowAction = [this](const QString& name, const QKeySequence& key) {
        auto* action = new QAction(m_uploadList);
        action->setObjectName(name);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        m_uploadList->addAction(action);
        return action;
    };
    m_pauseAction = rowAction(QStringLiteral("pauseRow"), QKeySequence(Qt::Key_Space));
    m_cancelAction = rowAction(QStringLiteral("cancelRow"), QKeySequence::Delete);
    m_retryAction = rowAction(QStringLiteral("retryRow"), QKeySequence(Qt::Key_R));
    for (auto* action : {m_pauseAction, m_cancelAction, m_retryAction})
        connect(action, &QAction::triggered, this, [this, action] {
            perform(m_uploadList->currentIndex().row(), action->data().toInt());
        });

    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QHBoxLayout;
    m_totals = new QLabel(box);
    m_totals->setObjectName(QStringLiteral("queueTotals"));
    style::applyFont(m_totals, style::TextStyle::caption);
    bar->addWidget(m_totals, 1);
    m_pauseAllButton = new QPushButton(box);
    m_pauseAllButton->setObjectName(QStringLiteral("pauseAll"));
    m_retryAllButton = new QPushButton(tr("Retry all failed"), box);
    m_retryAllButton->setObjectName(QStringLiteral("retryAllFailed"));
    m_clearFinishedButton = new QPushButton(tr("Clear finished"), box);
    m_clearFinishedButton->setObjectName(QStringLiteral("clearFinished"));
    for (auto* button : {m_pauseAllButton, m_retryAllButton, m_clearFinishedButton})
        bar->addWidget(button);
    layout->addLayout(bar);
    layout->addWidget(m_uploadList, 1);
    connect(m_retryAllButton, &QPushButton::clicked, &m_viewModel,
            &UploadViewModel::retryAllFailedUploads);
    connect(m_clearFinishedButton, &QPushButton::clicked, &m_viewModel,
            &UploadViewModel::clearFinishedUploads);
    connect(m_pauseAllButton, &QPushButton::clicked, &m_viewModel,
            &UploadViewModel::pauseOrResumeAllUploads);
    for (const auto signal : {&UploadViewModel::uploadChanged, &UploadViewModel::uploadAppended,
                              &UploadViewModel::uploadRemoved})
        connect(&m_viewModel, signal, this, &UploadToolsView::showQueueState);
    connect(m_uploadList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &UploadToolsView::showQueueState);
    showQueueState();
    return box;
}

void UploadToolsView::perform(int row, int action) {
    m_viewModel.performUploadAction(row, static_cast<UploadQueue::RowAction>(action));
}

void UploadToolsView::showQueueState() {
    m_totals->setText(m_viewModel.uploadTotalsText());
    m_retryAllButton->setVisible(m_viewModel.failedUploadCount() > 1);
    const auto& items = m_viewModel.uploads();
    const bool anyDone = std::any_of(items.begin(), items.end(), [](const UploadItem& item) {
        return item.status == UploadStatus::done;
    });
    const bool anyPaused = std::any_of(items.begin(), items.end(), [](const UploadItem& item) {
        return item.status == UploadStatus::paused;
    });
    m_clearFinishedButton->setVisible(anyDone);
    const bool anyActive = m_viewModel.activeUploadCount() > 0;
    m_pauseAllButton->setText(anyActive ? tr("Pause all") : tr("Resume all"));
    m_pauseAllButton->setVisible(anyActive || anyPaused);

    // The keys of the selected row do what its buttons do.
    const auto actions = m_uploadModel->actionsOf(m_uploadList->currentIndex().row());
    const auto offer = [&actions](QAction* action,
                                  std::initializer_list<std::pair<int, QString>> choices) {
        action->setEnabled(false);
        for (const auto& [kind, text] : choices)
            if (actions.contains(kind)) {
                action->setData(kind);
                action->setText(text);
                action->setEnabled(true);
                return;
            }
        action->setText(choices.begin()->second);
    };
    offer(m_pauseAction, {{UploadListModel::pauseAction, tr("Pause")},
                          {UploadListModel::resumeAction, tr("Resume")}});
    offer(m_cancelAction, {{UploadListModel::cancelAction, tr("Cancel")},
                           {UploadListModel::removeAction, tr("Remove")}});
    offer(m_retryAction, {{UploadListModel::retryAction, tr("Retry")}});
}

QWidget* UploadToolsView::makeLogBox() {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* heading = new QLabel(tr("Log"), box);
    style::applyFont(heading, style::TextStyle::headline);
    layout->addWidget(heading);

    m_log = new LogView(m_viewModel, box);
    m_log->setFixedHeight(150);
    style::applyFont(m_log, style::TextStyle::caption);
    m_style.setPaletteStyleSheet(m_log, [](const QPalette& palette) {
        QColor outline = style::secondaryColor(palette);
        outline.setAlphaF(0.4F);
        return QStringLiteral("QPlainTextEdit#log { background: %2; color: %3; "
                              "border: 1px solid %1; border-radius: 6px; padding: 2px 4px; }")
            .arg(outline.name(QColor::HexArgb), palette.color(QPalette::Window).name(),
                 palette.color(QPalette::Text).name());
    });
    layout->addWidget(m_log);
    return box;
}

void UploadToolsView::showProvider() {
    const VideoProvider provider = m_viewModel.provider();
    m_sourcePicker->setProvider(provider);
    m_dropZone->setVisible(m_viewModel.config().canUpload() && provider == VideoProvider::webMux);
    m_folderBox->setVisible(provider == VideoProvider::localFolder);
    // The other source's controls may need another width.
    updateGeometry();
}

void UploadToolsView::showFolder() {
    const auto& folder = m_viewModel.localFolderURL();
    m_folderBox->setFolderPath(folder ? folder->toLocalFile() : QString());
    m_folderBox->setIncludeSubfolders(m_viewModel.includeSubfolders());
}

void UploadToolsView::openFolderChooser() {
    m_folderChooser->open();
}

void UploadToolsView::folderChosen(const QList<QUrl>& folders) {
    // A cancel or an empty answer leaves everything as it was.
    if (folders.isEmpty())
        return;
    m_viewModel.startSelectLocalFolder(folders.first());
}

void UploadToolsView::openSettings() {
    if (!m_settingsDialog) {
        SettingsDialog::Options options{m_options.webDomain, m_options.animationListUrl,
                                        m_options.videoListUrl};
        m_settingsDialog = new SettingsDialog(m_viewModel, m_style, std::move(options), this);
    }
    m_settingsDialog->open();
}

// The tracker sorts the drop (off this thread) and starts what needs no answer; the rest
// waits for one answer, Skip being the default.
void UploadToolsView::filesDropped(const QList<QUrl>& files) {
    runDetached(dropAndAsk(files));
}

QCoro::Task<> UploadToolsView::dropAndAsk(QList<QUrl> files) {
    QPointer self(this);
    auto question = co_await m_viewModel.dropFiles(std::move(files));
    if (!self || !question)
        co_return;
    QuestionDialog::ask(
        this, question->text, question->answers, this,
        [this, held = *question](int answer) { m_viewModel.answerDrop(held, answer); });
}

} // namespace clipferry
