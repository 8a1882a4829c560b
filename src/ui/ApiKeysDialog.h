#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace clipferry {

class UploadViewModel;

// Asks for the service token pair. The fields write to the view model as they are typed;
// Save stores the changed tokens and closes, Cancel (or closing the window) only closes.
// When the store could not be read, it says so and offers to read it again.
class ApiKeysDialog : public QDialog {
    Q_OBJECT
public:
    explicit ApiKeysDialog(UploadViewModel& viewModel, QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* tokenIDField() const { return m_tokenID; }
    [[nodiscard]] QLineEdit* tokenSecretField() const { return m_tokenSecret; }

    void done(int result) override;

    // Saves the settings, first asking whether an emptied field should remove its stored
    // token; `saved` runs once they are saved, not when the user declines.
    static void saveConfirmingClear(QWidget* sheet, UploadViewModel& viewModel,
                                    const std::function<void()>& saved);

private:
    void save();
    void showCredentials();

    UploadViewModel& m_viewModel;
    QLineEdit* m_tokenID;
    QLineEdit* m_tokenSecret;
    QLabel* m_readFailure;
    QPushButton* m_retry;
};

} // namespace clipferry
