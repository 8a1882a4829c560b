#include "ui/sidebar/SettingsDialog.h"

#include "model/DetachedTask.h"

#include "ui/common/AppStyle.h"
#include "ui/common/TokenFields.h"
#include "ui/sidebar/CityTableModel.h"
#include "ui/sidebar/ScreensDelegate.h"
#include "workflow/UploadViewModel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

namespace clipferry {
namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    style::applyFont(label, style::TextStyle::headline);
    return label;
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* result = new QPushButton(text, parent);
    result->setObjectName(QLatin1String(name));
    result->setAutoDefault(false);
    return result;
}

} // namespace

SettingsDialog::SettingsDialog(UploadViewModel& viewModel, AppStyle& style, Options options,
                               QWidget* parent)
    : QDialog(parent)
    , m_viewModel(viewModel)
    , m_style(style)
    , m_options(std::move(options)) {
    setObjectName(QStringLiteral("settingsSheet"));
    setWindowTitle(tr("Settings"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(400, 300);

    auto* title = new QLabel(tr("Settings"), this);
    style::applyFont(title, style::TextStyle::title2);

    m_useMaxResolution = new QCheckBox(tr("Use Max Resolution for Uploads"), this);
    m_useMaxResolution->setObjectName(QStringLiteral("useMaxResolution"));
    connect(m_useMaxResolution, &QCheckBox::toggled, &m_viewModel,
            &UploadViewModel::setUseMaxResolution);

    auto* markAllSeen = button(tr("Mark All Videos Seen"), "markAllSeen", this);
    connect(markAllSeen, &QPushButton::clicked, &m_viewModel, &UploadViewModel::markAllSeen);

    auto* close = button(tr("Close"), "close", this);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* saveButton = button(tr("Save"), "save", this);
    saveButton->setDefault(true);
    connect(saveButton, &QPushButton::clicked, this, &SettingsDialog::save);
    auto* about =
        new QLabel(tr("Meridia Companion %1").arg(QCoreApplication::applicationVersion()), this);
    about->setObjectName(QStringLiteral("about"));
    about->setTextInteractionFlags(Qt::TextSelectableByMouse);
    about->setForegroundRole(QPalette::PlaceholderText);
    style::applyFont(about, style::TextStyle::caption);
    auto* footer = new QHBoxLayout;
    footer->addWidget(about);
    footer->addStretch();
    footer->addWidget(close);
    footer->addWidget(saveButton);

    // On a short screen the sections scroll; the Save row always stays in view.
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setSpacing(20);
    column->setContentsMargins(20, 20, 20, 0);
    column->addWidget(title);
    column->addWidget(divider(content));
    column->addWidget(makeCredentials());
    column->addWidget(divider(content));
    column->addWidget(m_useMaxResolution);
    column->addWidget(makeTransferSettings());
    column->addWidget(markAllSeen, 0, Qt::AlignLeft);
    column->addWidget(divider(content));
    column->addWidget(makeCityTable());
    column->addWidget(divider(content));
    column->addWidget(makeSheetActions());
    column->addWidget(divider(content));
    column->addStretch();
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 20);
    layout->setSpacing(0);
    layout->addWidget(scroll);
    footer->setContentsMargins(20, 0, 20, 0);
    layout->addLayout(footer);
    resize(460, content->sizeHint().height() + 60);

    connect(&m_viewModel, &UploadViewModel::credentialsChanged, this,
            &SettingsDialog::showCredentials);
    showCredentials();
}

QWidget* SettingsDialog::makeTransferSettings() {
    auto* section = new QWidget(this);
    auto* grid = new QGridLayout(section);
    grid->setContentsMargins(0, 0, 0, 0);
    m_limitUploads = new QCheckBox(tr("Limit uploads to"), section);
    m_limitUploads->setObjectName(QStringLiteral("limitUploads"));
    m_uploadLimit = new QDoubleSpinBox(section);
    m_uploadLimit->setObjectName(QStringLiteral("uploadLimit"));
    m_uploadLimit->setRange(0.1, 10000);
    m_uploadLimit->setDecimals(1);
    m_uploadLimit->setSuffix(tr(" MB/s"));
    m_uploadLimit->setAccessibleName(tr("Upload limit in megabytes per second"));
    const double limit = m_viewModel.uploadLimitMBps();
    m_limitUploads->setChecked(limit > 0);
    m_uploadLimit->setValue(limit > 0 ? limit : 5.0);
    m_uploadLimit->setEnabled(limit > 0);
    const auto applyLimit = [this] {
        m_uploadLimit->setEnabled(m_limitUploads->isChecked());
        m_viewModel.setUploadLimitMBps(m_limitUploads->isChecked() ? m_uploadLimit->value() : 0.0);
    };
    connect(m_limitUploads, &QCheckBox::toggled, this, applyLimit);
    connect(m_uploadLimit, &QDoubleSpinBox::valueChanged, this, applyLimit);
    auto* atOnceLabel = new QLabel(tr("Uploads at once"), section);
    m_uploadsAtOnce = new QSpinBox(section);
    m_uploadsAtOnce->setObjectName(QStringLiteral("uploadsAtOnce"));
    m_uploadsAtOnce->setRange(1, 6);
    m_uploadsAtOnce->setValue(m_viewModel.uploadsAtOnce());
    atOnceLabel->setBuddy(m_uploadsAtOnce);
    connect(m_uploadsAtOnce, &QSpinBox::valueChanged, &m_viewModel,
            &UploadViewModel::setUploadsAtOnce);
    grid->addWidget(m_limitUploads, 0, 0);
    grid->addWidget(m_uploadLimit, 0, 1, Qt::AlignLeft);
    grid->addWidget(atOnceLabel, 1, 0);
    grid->addWidget(m_uploadsAtOnce, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    return section;
}

QWidget* SettingsDialog::makeCredentials() {
    auto* section = new QWidget(this);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(heading(m_options.webDomain + QStringLiteral(" API Keys"), section));

    m_tokens = new TokenFields(section);
    connect(m_tokens->idField(), &QLineEdit::textEdited, &m_viewModel,
            &UploadViewModel::setTokenID);
    connect(m_tokens->secretField(), &QLineEdit::textEdited, &m_viewModel,
            &UploadViewModel::setTokenSecret);
    column->addWidget(m_tokens);
    return section;
}

QWidget* SettingsDialog::makeCityTable() {
    auto* section = new QWidget(this);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(heading(tr("Stadium Configuration"), section));

    m_cityModel = new CityTableModel(m_viewModel, this);
    m_cityTable = new QTableView(section);
    m_cityTable->setObjectName(QStringLiteral("cityTable"));
    m_cityTable->setAccessibleName(tr("Stadium Configuration"));
    m_cityTable->setModel(m_cityModel);
    m_cityTable->setItemDelegateForColumn(CityTableModel::screensColumn,
                                          new ScreensDelegate(m_cityTable));
    m_cityTable->setEditTriggers(QAbstractItemView::AllEditTriggers);
    m_cityTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_cityTable->setShowGrid(false);
    m_cityTable->setFrameShape(QFrame::NoFrame);
    m_cityTable->verticalHeader()->hide();
    m_cityTable->verticalHeader()->setDefaultSectionSize(m_cityTable->fontMetrics().height() + 16);
    auto* header = m_cityTable->horizontalHeader();
    header->setFont(style::font(style::TextStyle::subheadlineBold, font()));
    header->setHighlightSections(false);
    header->setSectionResizeMode(CityTableModel::codeColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(CityTableModel::cityColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(CityTableModel::screensColumn, QHeaderView::Fixed);
    header->resizeSection(CityTableModel::codeColumn, 60 + 16);
    header->resizeSection(CityTableModel::screensColumn, 80 + 16);
    fitCityTable();
    connect(m_cityModel, &QAbstractItemModel::modelReset, this, &SettingsDialog::fitCityTable);
    m_style.setPaletteStyleSheet(m_cityTable, [](const QPalette& palette) {
        QColor tint = style::secondaryColor(palette);
        tint.setAlphaF(0.1F);
        return QStringLiteral(
                   "QTableView#cityTable { background: %1; border-radius: 6px; padding: 8px; }")
            .arg(tint.name(QColor::HexArgb));
    });
    column->addWidget(m_cityTable);
    return section;
}

QWidget* SettingsDialog::makeSheetActions() {
    auto* section = new QWidget(this);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(heading(tr("Google Sheets"), section));

    auto* update = button(tr("Update Google Sheets"), "updateGoogleSheets", section);
    connect(update, &QPushButton::clicked, this, &SettingsDialog::updateGoogleSheets);
    m_sheetBusy = new QProgressBar(section);
    m_sheetBusy->setObjectName(QStringLiteral("sheetBusy"));
    m_sheetBusy->setRange(0, 0);
    m_sheetBusy->setTextVisible(false);
    m_sheetBusy->setMaximumSize(120, 8);
    m_sheetBusy->hide();
    auto* updateRow = new QHBoxLayout;
    updateRow->addWidget(update);
    updateRow->addWidget(m_sheetBusy);
    updateRow->addStretch();
    column->addLayout(updateRow);

    // Prefilled with the address in use (the build's, until one is saved here).
    m_sheetUrl = new QLineEdit(m_viewModel.sheetWebAppUrl().toString(), section);
    m_sheetUrl->setObjectName(QStringLiteral("sheetWebAppUrl"));
    m_sheetUrl->setPlaceholderText(tr("Web app address (https://script.google.com/\u2026/exec)"));
    m_sheetUrl->setAccessibleName(tr("Google Sheet web app address"));
    column->addWidget(m_sheetUrl);
    m_sheetNotice = new QLabel(section);
    m_sheetNotice->setObjectName(QStringLiteral("sheetNotice"));
    m_sheetNotice->setWordWrap(true);
    m_sheetNotice->setForegroundRole(QPalette::PlaceholderText);
    style::applyFont(m_sheetNotice, style::TextStyle::caption);
    column->addWidget(m_sheetNotice);
    connect(&m_viewModel, &UploadViewModel::sheetWebAppUrlChanged, this,
            [this] { showSheetNotice(m_viewModel.sheetAddressProblem()); });
    showSheetNotice(m_viewModel.sheetAddressProblem());

    // Only for a web app whose owner set a key; an untouched field leaves the stored one.
    m_sheetKey = new QLineEdit(section);
    m_sheetKey->setObjectName(QStringLiteral("sheetKey"));
    m_sheetKey->setPlaceholderText(tr("Sheet key (only if the web app asks for one)"));
    m_sheetKey->setEchoMode(QLineEdit::Password);
    m_sheetKey->setAccessibleName(tr("Sheet key"));
    column->addWidget(m_sheetKey);

    auto* openAnimations = button(tr("Open Animation List"), "openAnimationList", section);
    auto* openVideos = button(tr("Open Video List"), "openVideoList", section);
    connect(openAnimations, &QPushButton::clicked, this,
            [this] { openSheet(m_options.animationListUrl); });
    connect(openVideos, &QPushButton::clicked, this, [this] { openSheet(m_options.videoListUrl); });
    auto* openRow = new QHBoxLayout;
    openRow->setSpacing(12);
    // A build without the spreadsheets' addresses has nothing to open: no dead buttons.
    openAnimations->setVisible(canOpen(m_options.animationListUrl));
    openVideos->setVisible(canOpen(m_options.videoListUrl));
    openRow->addWidget(openAnimations);
    openRow->addWidget(openVideos);
    openRow->addStretch();
    column->addLayout(openRow);
    return section;
}

// As tall as its rows, up to 200 pixels of rows; beyond that it scrolls.
void SettingsDialog::fitCityTable() {
    const int rows = m_cityTable->verticalHeader()->length();
    const int frame = 2 * (m_cityTable->frameWidth() + 8);
    m_cityTable->setFixedHeight(qMin(rows, 200) +
                                m_cityTable->horizontalHeader()->sizeHint().height() + frame);
}

void SettingsDialog::showCredentials() {
    m_tokens->showTokens(m_viewModel.tokenID(), m_viewModel.tokenSecret());
    const QSignalBlocker blocker(m_useMaxResolution);
    m_useMaxResolution->setChecked(m_viewModel.useMaxResolution());
}

void SettingsDialog::showSheetNotice(const std::optional<QString>& problem) {
    m_sheetNotice->setText(problem.value_or(QString()));
    m_sheetNotice->setVisible(problem.has_value());
}

void SettingsDialog::save() {
    if (m_sheetUrl->isModified()) {
        // A refused address keeps the sheet open with the reason beside the field.
        if (auto set = m_viewModel.setSheetWebAppUrl(m_sheetUrl->text()); !set) {
            showSheetNotice(set.error().message);
            m_sheetUrl->setFocus();
            return;
        }
        m_sheetUrl->setModified(false);
    }
    TokenFields::saveConfirmingClear(this, m_viewModel, [this] {
        m_viewModel.saveCityMap();
        if (m_sheetKey->isModified())
            m_viewModel.startSaveSheetKey(m_sheetKey->text());
        accept();
    });
}

void SettingsDialog::updateGoogleSheets() {
    ++m_sheetPostsRunning;
    m_sheetBusy->show();
    runDetached(postSheetAndShowProgress());
}

QCoro::Task<> SettingsDialog::postSheetAndShowProgress() {
    QPointer self(this);
    co_await m_viewModel.updateGoogleSheets();
    if (self && --m_sheetPostsRunning == 0)
        m_sheetBusy->hide();
}

bool SettingsDialog::canOpen(const QString& address) {
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    return !address.trimmed().isEmpty() && url.isValid() && !url.isRelative();
}

void SettingsDialog::openSheet(const QString& address) {
    if (canOpen(address))
        QDesktopServices::openUrl(QUrl(address.trimmed(), QUrl::StrictMode));
}

} // namespace clipferry
