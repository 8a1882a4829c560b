#pragma once

#include <QDialog>

class QLineEdit;

namespace clipferry {

class UploadViewModel;

// Asks for the service token pair. The fields write to the view model as they are typed;
// Save stores both tokens and closes, Cancel (or closing the window) only closes.
class ApiKeysDialog : public QDialog {
    Q_OBJECT
public:
    explicit ApiKeysDialog(UploadViewModel& viewModel, QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* tokenIDField() const { return m_tokenID; }
    [[nodiscard]] QLineEdit* tokenSecretField() const { return m_tokenSecret; }

    void done(int result) override;

private:
    void save();
    void showCredentials();

    UploadViewModel& m_viewModel;
    QLineEdit* m_tokenID;
    QLineEdit* m_tokenSecret;
};

} // namespace clipferry
