#include "ui/sidebar/FolderBox.h"

#include "ui/common/AppStyle.h"
#include "ui/sidebar/ElidedLabel.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace clipferry {

FolderBox::FolderBox(QWidget* parent)
    : DashedFrame(parent)
    , m_symbol(new QLabel(this))
    , m_choose(new QPushButton(tr("Choose Folder"), this))
    , m_path(new ElidedLabel(this))
    , m_includeSubfolders(new QCheckBox(tr("Include subfolders"), this))
    , m_deliverNewClips(new QCheckBox(tr("Deliver new clips automatically"), this))
    , m_replaceChanged(new QCheckBox(tr("Replace changed clips"), this)) {
    setObjectName(QStringLiteral("folderBox"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    m_symbol->setAlignment(Qt::AlignCenter);
    m_choose->setObjectName(QStringLiteral("chooseFolder"));
    m_choose->setDefault(true);
    m_path->setObjectName(QStringLiteral("folderPath"));
    m_path->setAlignment(Qt::AlignCenter);
    m_path->setForegroundRole(QPalette::PlaceholderText);
    m_path->setContentsMargins(12, 0, 12, 0);
    style::applyFont(m_path, style::TextStyle::caption);
    m_path->hide();
    m_includeSubfolders->setObjectName(QStringLiteral("includeSubfolders"));
    style::applyFont(m_includeSubfolders, style::TextStyle::caption);
    m_deliverNewClips->setObjectName(QStringLiteral("deliverNewClips"));
    m_deliverNewClips->setToolTip(
        tr("Upload each clip that appears in the folder and is not on Mux, once it has "
           "stopped changing"));
    style::applyFont(m_deliverNewClips, style::TextStyle::caption);
    m_replaceChanged->setObjectName(QStringLiteral("replaceChangedClips"));
    m_replaceChanged->setToolTip(tr("Upload a delivered clip again when it changes, and delete "
                                    "its old asset once the new one is done"));
    m_replaceChanged->setEnabled(false);
    style::applyFont(m_replaceChanged, style::TextStyle::caption);

    auto* controls = new QVBoxLayout;
    controls->setSpacing(8);
    controls->addWidget(m_choose, 0, Qt::AlignHCenter);
    controls->addWidget(m_path);
    // The switches stack, one a line, so that the box is no wider than its longest label;
    // the one that depends on the switch above it is set in under it.
    auto* switches = new QVBoxLayout;
    switches->setSpacing(4);
    switches->addWidget(m_includeSubfolders);
    switches->addWidget(m_deliverNewClips);
    auto* dependent = new QHBoxLayout;
    dependent->addSpacing(style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) +
                          style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this));
    dependent->addWidget(m_replaceChanged);
    switches->addLayout(dependent);
    auto* centred = new QHBoxLayout;
    centred->addStretch();
    centred->addLayout(switches);
    centred->addStretch();
    controls->addLayout(centred);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);
    layout->setContentsMargins(12, 16, 12, 16);
    layout->addStretch();
    layout->addWidget(m_symbol);
    layout->addLayout(controls);
    layout->addStretch();

    connect(m_choose, &QPushButton::clicked, this, &FolderBox::chooseClicked);
    connect(m_includeSubfolders, &QCheckBox::toggled, this, &FolderBox::includeSubfoldersToggled);
    connect(m_deliverNewClips, &QCheckBox::toggled, this, &FolderBox::deliverNewClipsToggled);
    connect(m_replaceChanged, &QCheckBox::toggled, this, &FolderBox::replaceChangedToggled);
    updateSymbol();
}

void FolderBox::setFolderPath(const QString& path) {
    m_path->setFullText(path);
    m_path->setVisible(!path.isEmpty());
}

void FolderBox::setIncludeSubfolders(bool include) {
    const QSignalBlocker blocker(m_includeSubfolders);
    m_includeSubfolders->setChecked(include);
}

void FolderBox::setDeliverNewClips(bool deliver, bool replaceChanged) {
    const QSignalBlocker blockDeliver(m_deliverNewClips);
    const QSignalBlocker blockReplace(m_replaceChanged);
    m_deliverNewClips->setChecked(deliver);
    m_replaceChanged->setChecked(replaceChanged);
    m_replaceChanged->setEnabled(deliver);
}

void FolderBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        updateSymbol();
    DashedFrame::changeEvent(event);
}

void FolderBox::updateSymbol() {
    m_symbol->setPixmap(style::symbol(QStringLiteral("folder-badge-plus"), 36, style::accentBlue(),
                                      devicePixelRatioF()));
}

} // namespace clipferry
