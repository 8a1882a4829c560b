#include "ui/ApiKeysDialog.h"

#include "ui/library/ConfirmationDialog.h"
#include "ui/sidebar/SidebarStyle.h"
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
    , m_tokenID(new QLineEdit(this))
    , m_tokenSecret(new QLineEdit(this))
    , m_readFailure(new QLabel(this))
    , m_retry(new QPushButton(tr("Try Again"), this)) {
    const QString title = QStringLiteral("API Keys for ") + QString::fromUtf8(build::muxWebDomain);
    setObjectName(QStringLiteral("apiKeysSheet"));
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);

    auto* heading = new QLabel(title, this);
    heading->setAlignment(Qt::AlignCenter);
    style::applyFont(heading, style::TextStyle::title2);

    m_tokenID->setObjectName(QStringLiteral("tokenID"));
    m_tokenID->setPlaceholderText(tr("Token ID"));
    m_tokenSecret->setObjectName(QStringLiteral("tokenSecret"));
    m_tokenSecret->setPlaceholderText(tr("Token Secret"));
    m_tokenSecret->setEchoMode(QLineEdit::Password);
    // A placeholder is gone once typed over: the names stay for a screen reader.
    m_tokenID->setAccessibleName(tr("Token ID"));
    m_tokenSecret->setAccessibleName(tr("Token Secret"));
    connect(m_tokenID, &QLineEdit::textEdited, &m_viewModel, &UploadViewModel::setTokenID);
    connect(m_tokenSecret, &QLineEdit::textEdited, &m_viewModel, &UploadViewModel::setTokenSecret);

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
    layout->addWidget(m_tokenID);
    layout->addWidget(m_tokenSecret);
    layout->addLayout(buttons);
    setMinimumWidth(360);
    setMaximumWidth(400);

    connect(&m_viewModel, &UploadViewModel::credentialsChanged, this,
            &ApiKeysDialog::showCredentials);
    showCredentials();
}

void ApiKeysDialog::showCredentials() {
    // Only differing text is replaced, so typing keeps its cursor.
    if (m_tokenID->text() != m_viewModel.tokenID())
        m_tokenID->setText(m_viewModel.tokenID());
    if (m_tokenSecret->text() != m_viewModel.tokenSecret())
        m_tokenSecret->setText(m_viewModel.tokenSecret());
    const auto& failure = m_viewModel.credentialsReadError();
    m_readFailure->setText(QStringLiteral("Could not read the saved API keys: ") +
                           failure.value_or(QString()));
    m_readFailure->setVisible(failure.has_value());
    m_retry->setVisible(failure.has_value());
}

void ApiKeysDialog::save() {
    saveConfirmingClear(this, m_viewModel, [this] {
        m_viewModel.refreshIfNeverListed();
        accept();
    });
}

void ApiKeysDialog::saveConfirmingClear(QWidget* sheet, UploadViewModel& viewModel,
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

// Every way out hides the sheet in the view model too, or it could never be raised again.
void ApiKeysDialog::done(int result) {
    m_viewModel.setShowAPIKeySheet(false);
    QDialog::done(result);
}

} // namespace clipferry
