#include "ApiKeysDialog.h"

#include "UploadViewModel.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace clipferry {

ApiKeysDialog::ApiKeysDialog(UploadViewModel& viewModel, QWidget* parent)
    : QDialog(parent)
    , m_viewModel(viewModel)
    , m_tokenID(new QLineEdit(this))
    , m_tokenSecret(new QLineEdit(this)) {
    setWindowTitle(tr("Mux API Keys"));
    setModal(true);
    m_tokenID->setObjectName(QStringLiteral("tokenID"));
    m_tokenID->setPlaceholderText(tr("Token ID"));
    m_tokenID->setText(viewModel.tokenID());
    m_tokenSecret->setObjectName(QStringLiteral("tokenSecret"));
    m_tokenSecret->setPlaceholderText(tr("Token Secret"));
    m_tokenSecret->setEchoMode(QLineEdit::Password);
    m_tokenSecret->setText(viewModel.tokenSecret());

    auto* heading = new QLabel(tr("Enter your Mux API access token"), this);
    heading->setStyleSheet(QStringLiteral("font-weight: 600;"));
    auto* form = new QFormLayout;
    form->addRow(tr("Token ID"), m_tokenID);
    form->addRow(tr("Token Secret"), m_tokenSecret);

    auto* buttons = new QDialogButtonBox(this);
    auto* saveButton = buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole);
    saveButton->setObjectName(QStringLiteral("save"));
    saveButton->setDefault(true);
    auto* cancelButton = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancelButton->setObjectName(QStringLiteral("cancel"));
    connect(saveButton, &QPushButton::clicked, this, &ApiKeysDialog::save);
    connect(cancelButton, &QPushButton::clicked, this, [this] {
        m_viewModel.setShowAPIKeySheet(false);
        reject();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void ApiKeysDialog::save() {
    m_viewModel.setTokenID(m_tokenID->text());
    m_viewModel.setTokenSecret(m_tokenSecret->text());
    m_viewModel.startSaveSettings();
    m_viewModel.setShowAPIKeySheet(false);
    accept();
}

} // namespace clipferry
