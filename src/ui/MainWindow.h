#pragma once

#include <QList>
#include <QMainWindow>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;
class QSplitter;

namespace clipferry {

class AppStyle;
class UploadViewModel;
class ApiKeysDialog;
class UploadToolsView;

// The one window: the upload tools sidebar and the library column side by side.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(UploadViewModel& viewModel, QNetworkAccessManager& network,
               QWidget* parent = nullptr);
    // `imageBase`: the origin of the library's still images, the build's in the one above.
    MainWindow(UploadViewModel& viewModel, QNetworkAccessManager& network, QUrl imageBase,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] QSplitter* splitter() const { return m_splitter; }
    [[nodiscard]] ApiKeysDialog* apiKeysDialog() const { return m_apiKeysDialog; }
    // Shows the window restored, raised and active, as a later launch asks.
    void bringToFront();
    // The files of "Open with", taken as a drop on the window.
    void openFiles(const QList<QUrl>& files);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void addHeaderToolBar();
    void showApiKeysSheet(bool show);

    UploadViewModel& m_viewModel;
    // The look the widgets below follow; made before them.
    std::unique_ptr<AppStyle> m_style;
    QSplitter* m_splitter;
    UploadToolsView* m_uploadTools;
    // The user chose to quit with uploads running; the next close goes through.
    bool m_quitConfirmed = false;
    ApiKeysDialog* m_apiKeysDialog = nullptr;
};

} // namespace clipferry
