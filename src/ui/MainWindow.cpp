#include "ui/MainWindow.h"

#include "ui/ApiKeysDialog.h"
#include "ui/DesktopNotification.h"
#include "ui/common/AppStyle.h"
#include "ui/common/QuestionDialog.h"
#include "ui/library/LibraryColumn.h"
#include "ui/sidebar/UploadToolsView.h"
#include "workflow/UploadViewModel.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QSettings>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

namespace clipferry {
namespace {
const auto splitterKey = QStringLiteral("window/splitter");
const auto geometryKey = QStringLiteral("window/geometry");
constexpr int defaultSidebarWidth = 340;
} // namespace

MainWindow::MainWindow(UploadViewModel& viewModel, QNetworkAccessManager& network, QWidget* parent)
    : MainWindow(viewModel, network, LibraryColumn::defaultOptions().imageBase, parent) {}

MainWindow::MainWindow(UploadViewModel& viewModel, QNetworkAccessManager& network, QUrl imageBase,
                       QWidget* parent)
    : QMainWindow(parent)
    , m_viewModel(viewModel)
    , m_style(std::make_unique<AppStyle>())
    , m_splitter(new QSplitter(Qt::Horizontal, this)) {
    setWindowTitle(QStringLiteral("Meridia Companion"));
    setWindowIcon(QIcon(style::picture(QStringLiteral("clipferry"), 256, 1.0)));
    addHeaderToolBar();

    auto* sidebar = new QWidget(m_splitter);
    sidebar->setObjectName(QStringLiteral("sidebar"));
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    m_uploadTools = new UploadToolsView(viewModel, *m_style, sidebar);
    sidebarLayout->addWidget(m_uploadTools);

    auto libraryOptions = LibraryColumn::defaultOptions();
    libraryOptions.imageBase = std::move(imageBase);
    auto* library =
        new LibraryColumn(viewModel, network, *m_style, std::move(libraryOptions), m_splitter);

    m_splitter->addWidget(sidebar);
    m_splitter->addWidget(library);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);
    setCentralWidget(m_splitter);
    // A first start gives the library room for its widest row beside the sidebar, and the
    // sidebar room for its widest control.
    const int sidebarWidth = qMax(defaultSidebarWidth, sidebar->minimumSizeHint().width());
    const int libraryWidth = library->sizeHint().width();
    resize(sidebarWidth + m_splitter->handleWidth() + libraryWidth, 800);

    const QSettings settings;
    restoreGeometry(settings.value(geometryKey).toByteArray());
    if (!m_splitter->restoreState(settings.value(splitterKey).toByteArray()))
        m_splitter->setSizes({sidebarWidth, libraryWidth});

    // Someone who went elsewhere while the files were sent learns that they are done.
    connect(&viewModel, &UploadViewModel::uploadBatchFinished, this, [this](int done, int failed) {
        if (!isActiveWindow())
            notifyDesktop(
                QStringLiteral("Uploads finished: %1 done, %2 failed").arg(done).arg(failed));
    });
    connect(&viewModel, &UploadViewModel::showAPIKeySheetChanged, this,
            &MainWindow::showApiKeysSheet);
    showApiKeysSheet(viewModel.showAPIKeySheet());
}

MainWindow::~MainWindow() = default;

// The header icon sits at the leading end of the toolbar, in its own colours; it does nothing.
void MainWindow::addHeaderToolBar() {
    auto* toolBar = addToolBar(tr("Header"));
    toolBar->setObjectName(QStringLiteral("headerToolBar"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->toggleViewAction()->setEnabled(false);
    auto* icon = new QLabel(toolBar);
    icon->setObjectName(QStringLiteral("headerIcon"));
    icon->setPixmap(style::picture(QStringLiteral("header"), 20, devicePixelRatioF()));
    icon->setContentsMargins(6, 2, 6, 2);
    toolBar->addWidget(icon);
}

void MainWindow::bringToFront() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::openFiles(const QList<QUrl>& files) {
    m_uploadTools->filesDropped(files);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (const auto question = m_viewModel.quitQuestion(); question && !m_quitConfirmed) {
        event->ignore();
        QuestionDialog::ask(this, *question, {tr("Quit"), tr("Keep running")}, this,
                            [this](int answer) {
                                if (answer != 0)
                                    return;
                                m_quitConfirmed = true;
                                close();
                            });
        return;
    }
    QSettings settings;
    settings.setValue(geometryKey, saveGeometry());
    settings.setValue(splitterKey, m_splitter->saveState());
    QMainWindow::closeEvent(event);
}

void MainWindow::showApiKeysSheet(bool show) {
    if (!show) {
        if (m_apiKeysDialog)
            m_apiKeysDialog->hide();
        return;
    }
    if (!m_apiKeysDialog)
        m_apiKeysDialog = new ApiKeysDialog(m_viewModel, this);
    m_apiKeysDialog->open();
}

} // namespace clipferry
