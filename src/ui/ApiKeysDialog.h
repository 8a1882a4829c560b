#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace clipferry {

class TokenFields;
class UploadViewModel;

// Asks for the service token pair. The fields write to the view model as they are typed;
// Save stores the changed tokens and closes, Cancel (or closing the window) only closes.
// When the store could not be read, it says so and offers to read it again.
class ApiKeysDialog : public QDialog {
    Q_OBJECT
public:
    explicit ApiKeysDialog(UploadViewModel& viewModel, QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* tokenIDField() const;
    [[nodiscard]] QLineEdit* tokenSecretField() const;

    void done(int result) override;

private:
    void save();
    void showCredentials();

    UploadViewModel& m_viewModel;
    TokenFields* m_tokens;
    QLabel* m_readFailure;
    QPushButton* m_retry;
};

} // namespace clipferry
