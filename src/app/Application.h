#pragma once

#include <memory>

class QNetworkAccessManager;

namespace clipferry {

class CredentialStore;
class MainWindow;
class UploadViewModel;

// The composition root: creates the long-lived objects in dependency order and owns them.
class Application {
public:
    Application();
    ~Application();

    void show();
    // Another launch asked for this instance.
    void bringToFront();

private:
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<CredentialStore> m_credentials;
    std::unique_ptr<UploadViewModel> m_viewModel;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace clipferry
