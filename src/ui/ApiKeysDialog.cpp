#include "ui/ApiKeysDialog.h"

#include "ui/common/AppStyle.h"
#include "ui/common/TokenFields.h"
#include "workflow/UploadViewModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <clipferry/BuildConfig.h>

namespace clipferry {

ApiKeysDialog::ApiKeysDialog(UploadViewModel& viewModel, QWidget* parent)
    : QDialog(parent)
    , m_viewModel(viewModel)
    , m_tokens(new TokenFields(this))
    , m_readFailure(new QLabel(this))
    , m_retry(new QPushButton(tr("Try Again"), this)) {
    const QString title = QStringLiteral("API Keys for ") + QString::fromUtf8(build::muxWebDomain);
    setObjectName(QStringLiteral("apiKeysSheet"));
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);

    auto* heading = new QLabel(title, this);
    heading->setAlignment(Qt::AlignCenter);
    style::applyFont(heading, style::TextStyle::title2);

    connect(m_tokens->idField(), &QLineEdit::textEdited, &m_viewModel,
            &UploadViewModel::setTokenID);
    connect(m_tokens->secretField(), &QLineEdit::textEdited, &m_viewModel,
            &UploadViewModel::setTokenSecret);

    m_readFailure->setObjectName(QStringLiteral("readFailure"));
    m_readFailure->setWordWrap(true);
    m_retry->setObjectName(QStringLiteral("retry"));
    m_retry->setAutoDefault(false);
    connect(m_retry, &QPushButton::clicked, &m_viewModel, &UploadViewModel::startLoadSettings);

    auto* saveButton = new QPushButton(tr("Save"), this);
    saveButton->setObjectName(QStringLiteral("save"));
    saveButton->setDefault(true);
    auto* cancelButton = new QPushButton(tr("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancel"));
    cancelButton->setAutoDefault(false);
    connect(saveButton, &QPushButton::clicked, this, &ApiKeysDialog::save);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(20);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(heading);
    layout->addWidget(m_readFailure);
    layout->addWidget(m_retry, 0, Qt::AlignCenter);
    layout->addWidget(m_tokens);
    layout->addLayout(buttons);
    setMinimumWidth(360);
    setMaximumWidth(400);

    connect(&m_viewModel, &UploadViewModel::credentialsChanged, this,
            &ApiKeysDialog::showCredentials);
    showCredentials();
}

QLineEdit* ApiKeysDialog::tokenIDField() const {
    return m_tokens->idField();
}

QLineEdit* ApiKeysDialog::tokenSecretField() const {
    return m_tokens->secretField();
}

void ApiKeysDialog::showCredentials() {
    m_tokens->showTokens(m_viewModel.tokenID(), m_viewModel.tokenSecret());
    const auto& failure = m_viewModel.credentialsReadError();
    m_readFailure->setText(QStringLiteral("Could not read the saved API keys: ") +
                           failure.value_or(QString()));
    m_readFailure->setVisible(failure.has_value());
    m_retry->setVisible(failure.has_value());
}

void ApiKeysDialog::save() {
    TokenFields::saveConfirmingClear(this, m_viewModel, [this] {
        m_viewModel.refreshIfNeverListed();
        accept();
    });
}

// Every way out hides the sheet in the view model too, or it could never be raised again.
void ApiKeysDialog::done(int result) {
    m_viewModel.setShowAPIKeySheet(false);
    QDialog::done(result);
}

} // namespace clipferry
