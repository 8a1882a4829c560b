#include "app/Application.h"

#include "app/TestSeams.h"
#include "model/CredentialStore.h"
#include "model/DetachedTask.h"
#include "ui/MainWindow.h"
#include "ui/library/LibraryColumn.h"
#include "workflow/ActivityLog.h"
#include "workflow/UploadViewModel.h"
#include "workflow/Workspace.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QPointer>

namespace clipferry {

Application::Application()
    : m_network(std::make_unique<QNetworkAccessManager>()) {
    // An idle connection fails after a minute; a long transfer that keeps moving does not.
    m_network->setTransferTimeout(60000);
    auto options = Workspace::defaultOptions();
    QString storeService = QStringLiteral("Clipferry");
    QUrl imageBase = LibraryColumn::defaultOptions().imageBase;
    applyTestSeams(options, storeService, &imageBase);
    options.watchTweak = applyWatchTestSeams;
    m_credentials = std::make_unique<CredentialStore>(storeService);
    m_log = std::make_unique<ActivityLog>();
    m_log->echoToStandardOutput();
    m_workspace =
        std::make_unique<Workspace>(*m_log, *m_network, *m_credentials, std::move(options));
    m_viewModel = std::make_unique<UploadViewModel>(PlatformConfig{}, *m_workspace);
    m_window = std::make_unique<MainWindow>(*m_viewModel, *m_network, std::move(imageBase));
}

// The window goes first: it holds references to the view model.
Application::~Application() {
    m_window.reset();
    m_viewModel.reset();
    m_workspace.reset();
}

void Application::show() {
    m_window->show();
}

void Application::bringToFront() {
    m_window->bringToFront();
}

void Application::openFiles(const QStringList& paths) {
    QList<QUrl> files;
    for (const auto& path : paths) {
        if (QFileInfo::exists(path))
            files.append(QUrl::fromLocalFile(path));
    }
    if (!files.isEmpty())
        runDetached(openWhenReady(std::move(files)));
}

// At launch the keys are still being read; the files wait for them as a drop would.
QCoro::Task<> Application::openWhenReady(QList<QUrl> files) {
    QPointer window(m_window.get());
    co_await m_viewModel->waitUntilReady();
    if (window)
        window->openFiles(files);
}

} // namespace clipferry
