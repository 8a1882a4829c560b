#pragma once

#include <QList>
#include <QMainWindow>
#include <QUrl>

class QNetworkAccessManager;
class QSplitter;

namespace clipferry {

class UploadViewModel;
class ApiKeysDialog;
class UploadToolsView;

// The one window: the upload tools sidebar and the library column side by side.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(UploadViewModel& viewModel, QNetworkAccessManager& network,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] QSplitter* splitter() const { return m_splitter; }
    [[nodiscard]] ApiKeysDialog* apiKeysDialog() const { return m_apiKeysDialog; }
    // Files handed over from outside ("Open with"), taken as a drop on the drop zone.
    void dropFiles(const QList<QUrl>& files);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void addHeaderToolBar();
    void showApiKeysSheet(bool show);

    UploadViewModel& m_viewModel;
    QSplitter* m_splitter;
    ApiKeysDialog* m_apiKeysDialog = nullptr;
    UploadToolsView* m_uploadTools = nullptr;
};

} // namespace clipferry
