#include "ui/common/TokenFields.h"

#include "ui/common/ConfirmationDialog.h"
#include "workflow/UploadViewModel.h"

#include <QLineEdit>
#include <QVBoxLayout>

namespace clipferry {

TokenFields::TokenFields(QWidget* parent)
    : QWidget(parent)
    , m_id(new QLineEdit(this))
    , m_secret(new QLineEdit(this)) {
    m_id->setObjectName(QStringLiteral("tokenID"));
    m_id->setPlaceholderText(tr("Token ID"));
    m_secret->setObjectName(QStringLiteral("tokenSecret"));
    m_secret->setPlaceholderText(tr("Token Secret"));
    m_secret->setEchoMode(QLineEdit::Password);
    // A placeholder is gone once typed over: the names stay for a screen reader.
    m_id->setAccessibleName(tr("Token ID"));
    m_secret->setAccessibleName(tr("Token Secret"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(m_id);
    layout->addWidget(m_secret);
}

void TokenFields::showTokens(const QString& id, const QString& secret) {
    if (m_id->text() != id)
        m_id->setText(id);
    if (m_secret->text() != secret)
        m_secret->setText(secret);
}

void TokenFields::saveConfirmingClear(QWidget* sheet, UploadViewModel& viewModel,
                                      const std::function<void()>& saved) {
    if (!viewModel.saveWouldClearTokens()) {
        viewModel.startSaveSettings();
        saved();
        return;
    }
    ConfirmationDialog::ask(sheet,
                            tr("Remove the saved API token? The emptied field replaces the "
                               "token in the secret store."),
                            tr("Remove"), sheet, [&viewModel, saved](bool remove) {
                                if (!remove)
                                    return;
                                viewModel.startSaveSettings(true);
                                saved();
                            });
}

} // namespace clipferry
