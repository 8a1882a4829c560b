#pragma once

#include <QCoro/QCoroTask>
#include <QDialog>
#include <optional>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace clipferry {

class AppStyle;
class CityTableModel;
class TokenFields;
class UploadViewModel;

// The settings sheet. Its fields write to the view model as they are edited; only Save
// makes them permanent (credentials, the preference and the city table). Closing any
// other way keeps the edits in memory, unsaved.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    struct Options {
        QString webDomain;
        QString animationListUrl;
        QString videoListUrl;
    };

    SettingsDialog(UploadViewModel& viewModel, AppStyle& style, Options options,
                   QWidget* parent = nullptr);

    [[nodiscard]] QTableView* cityTable() const { return m_cityTable; }
    [[nodiscard]] bool isUpdatingSheet() const { return m_sheetPostsRunning > 0; }

private:
    QWidget* makeCredentials();
    QWidget* makeCityTable();
    QWidget* makeSheetActions();
    void fitCityTable();
    void showCredentials();
    // The transfer settings for a shared link: a rate cap and how many files go at once.
    QWidget* makeTransferSettings();
    void save();
    void updateGoogleSheets();
    QCoro::Task<> postSheetAndShowProgress();
    void openSheet(const QString& address);
    [[nodiscard]] static bool canOpen(const QString& address);
    void showSheetNotice(const std::optional<QString>& problem);

    UploadViewModel& m_viewModel;
    AppStyle& m_style;
    Options m_options;
    TokenFields* m_tokens = nullptr;
    QCheckBox* m_useMaxResolution = nullptr;
    QCheckBox* m_limitUploads = nullptr;
    QDoubleSpinBox* m_uploadLimit = nullptr;
    QSpinBox* m_uploadsAtOnce = nullptr;
    CityTableModel* m_cityModel = nullptr;
    QTableView* m_cityTable = nullptr;
    QProgressBar* m_sheetBusy = nullptr;
    QLineEdit* m_sheetKey = nullptr;
    QLineEdit* m_sheetUrl = nullptr;
    QLabel* m_sheetNotice = nullptr;
    int m_sheetPostsRunning = 0;
};

} // namespace clipferry
