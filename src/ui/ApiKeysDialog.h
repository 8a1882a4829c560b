#pragma once

#include <QDialog>

class QLineEdit;

namespace clipferry {

class UploadViewModel;

// Asks for the service token pair. Save stores both and closes; Cancel stores nothing.
class ApiKeysDialog : public QDialog {
    Q_OBJECT
public:
    explicit ApiKeysDialog(UploadViewModel& viewModel, QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* tokenIDField() const { return m_tokenID; }
    [[nodiscard]] QLineEdit* tokenSecretField() const { return m_tokenSecret; }

private:
    void save();

    UploadViewModel& m_viewModel;
    QLineEdit* m_tokenID;
    QLineEdit* m_tokenSecret;
};

} // namespace clipferry
