#include "Application.h"

#include "CredentialStore.h"
#include "MainWindow.h"
#include "UploadViewModel.h"

#include <QFileInfo>
#include <QNetworkAccessManager>

namespace clipferry {

Application::Application()
    : m_network(std::make_unique<QNetworkAccessManager>())
    , m_credentials(std::make_unique<CredentialStore>()) {
    // An idle connection fails after a minute; a long transfer that keeps moving does not.
    m_network->setTransferTimeout(60000);
    m_viewModel = std::make_unique<UploadViewModel>(PlatformConfig{}, *m_network, *m_credentials,
                                                    UploadViewModel::defaultOptions());
    m_window = std::make_unique<MainWindow>(*m_viewModel, *m_network);
}

// The window goes first: it holds references to the view model.
Application::~Application() {
    m_window.reset();
    m_viewModel.reset();
}

void Application::show() {
    m_window->show();
}

void Application::openFiles(const QStringList& paths) {
    QList<QUrl> files;
    for (const auto& path : paths) {
        const QFileInfo info(path);
        if (info.exists())
            files.append(QUrl::fromLocalFile(info.absoluteFilePath()));
    }
    if (!files.isEmpty())
        m_viewModel->startUploadBatch(files);
}

} // namespace clipferry
