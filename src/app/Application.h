#pragma once

#include <QCoro/QCoroTask>
#include <QList>
#include <QStringList>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;

namespace clipferry {

class ActivityLog;
class CredentialStore;
class MainWindow;
class UploadViewModel;
class Workspace;

// The composition root: creates the long-lived objects in dependency order and owns them.
class Application {
public:
    Application();
    ~Application();

    void show();
    // Another launch asked for this instance.
    void bringToFront();
    // "Open with": the files are uploaded as if dropped on the window.
    void openFiles(const QStringList& paths);

private:
    QCoro::Task<> openWhenReady(QList<QUrl> files);

    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<CredentialStore> m_credentials;
    std::unique_ptr<ActivityLog> m_log;
    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<UploadViewModel> m_viewModel;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace clipferry
