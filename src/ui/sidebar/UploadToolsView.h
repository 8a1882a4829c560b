#pragma once

#include <QCoro/QCoroTask>
#include <QScrollArea>

class QAction;
class QLabel;
class QListView;
class QPushButton;
class QToolButton;

namespace clipferry {

class AppStyle;
class DropZone;
class FolderBox;
class FolderChooser;
class LogView;
class SettingsDialog;
class SourcePicker;
class UploadListModel;
class UploadViewModel;

// The sidebar's working panel: source picker, drop zone or folder box, the upload queue,
// the log, and the settings sheet behind the gear button. It only wires widgets to the
// view model's fields and operations.
class UploadToolsView : public QScrollArea {
    Q_OBJECT
public:
    struct Options {
        QString webDomain;
        QString animationListUrl;
        QString videoListUrl;
    };
    // From the build constants.
    [[nodiscard]] static Options defaultOptions();

    UploadToolsView(UploadViewModel& viewModel, AppStyle& style, QWidget* parent = nullptr);
    UploadToolsView(UploadViewModel& viewModel, AppStyle& style, Options options,
                    QWidget* parent = nullptr);

    [[nodiscard]] QSize minimumSizeHint() const override;

    [[nodiscard]] SourcePicker* sourcePicker() const { return m_sourcePicker; }
    [[nodiscard]] DropZone* dropZone() const { return m_dropZone; }
    [[nodiscard]] FolderBox* folderBox() const { return m_folderBox; }
    [[nodiscard]] FolderChooser* folderChooser() const { return m_folderChooser; }
    [[nodiscard]] QListView* uploadList() const { return m_uploadList; }
    [[nodiscard]] QPushButton* retryAllButton() const { return m_retryAllButton; }
    [[nodiscard]] QPushButton* clearFinishedButton() const { return m_clearFinishedButton; }
    [[nodiscard]] QPushButton* pauseAllButton() const { return m_pauseAllButton; }
    [[nodiscard]] QLabel* queueTotals() const { return m_totals; }
    [[nodiscard]] QToolButton* settingsButton() const { return m_settingsButton; }
    // Created the first time the settings are opened.
    [[nodiscard]] SettingsDialog* settingsDialog() const { return m_settingsDialog; }

    void openSettings();

    // A drop on the zone, or the files "Open with" handed to the window.
    void filesDropped(const QList<QUrl>& files);

private:
    QCoro::Task<> dropAndAsk(QList<QUrl> files);
    QWidget* makeHeader();
    QWidget* makeUploadList();
    QWidget* makeLogBox();
    void showProvider();
    void showFolder();
    void openFolderChooser();
    void folderChosen(const QList<QUrl>& folders);
    // What a row's button or key asks of the queue (an UploadListModel::RowAction).
    void perform(int row, int action);
    void showQueueState();

    UploadViewModel& m_viewModel;
    AppStyle& m_style;
    Options m_options;
    QToolButton* m_settingsButton = nullptr;
    SourcePicker* m_sourcePicker = nullptr;
    DropZone* m_dropZone = nullptr;
    FolderBox* m_folderBox = nullptr;
    UploadListModel* m_uploadModel = nullptr;
    QListView* m_uploadList = nullptr;
    QPushButton* m_retryAllButton = nullptr;
    QPushButton* m_clearFinishedButton = nullptr;
    QPushButton* m_pauseAllButton = nullptr;
    QLabel* m_totals = nullptr;
    QAction* m_pauseAction = nullptr;
    QAction* m_cancelAction = nullptr;
    QAction* m_retryAction = nullptr;
    LogView* m_log = nullptr;
    FolderChooser* m_folderChooser = nullptr;
    SettingsDialog* m_settingsDialog = nullptr;
};

} // namespace clipferry
