#include "MainWindow.h"

#include "ApiKeysDialog.h"
#include "LibraryColumn.h"
#include "LogView.h"
#include "UploadViewModel.h"

#include <QCloseEvent>
#include <QLabel>
#include <QSettings>
#include <QSplitter>
#include <QVBoxLayout>

namespace clipferry {
namespace {
const auto splitterKey = QStringLiteral("window/splitter");
const auto geometryKey = QStringLiteral("window/geometry");
} // namespace

MainWindow::MainWindow(UploadViewModel& viewModel, QNetworkAccessManager& network, QWidget* parent)
    : QMainWindow(parent)
    , m_viewModel(viewModel)
    , m_splitter(new QSplitter(Qt::Horizontal, this)) {
    setWindowTitle(QStringLiteral("Meridia Companion"));

    auto* sidebar = new QWidget(m_splitter);
    sidebar->setObjectName(QStringLiteral("sidebar"));
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->addWidget(new QLabel(tr("Upload tools"), sidebar));
    sidebarLayout->addWidget(new LogView(viewModel, sidebar), 1);

    auto* library = new LibraryColumn(viewModel, network, m_splitter);

    m_splitter->addWidget(sidebar);
    m_splitter->addWidget(library);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);
    setCentralWidget(m_splitter);
    resize(1200, 760);

    const QSettings settings;
    restoreGeometry(settings.value(geometryKey).toByteArray());
    if (!m_splitter->restoreState(settings.value(splitterKey).toByteArray()))
        m_splitter->setSizes({340, 860});

    connect(&viewModel, &UploadViewModel::showAPIKeySheetChanged, this,
            &MainWindow::showApiKeysSheet);
    showApiKeysSheet(viewModel.showAPIKeySheet());
}

MainWindow::~MainWindow() = default;

void MainWindow::closeEvent(QCloseEvent* event) {
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
