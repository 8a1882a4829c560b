#include "ui/sidebar/SourcePicker.h"

#include "ui/common/AppStyle.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>

namespace clipferry {
namespace {

// Joined segments: only the outer corners are rounded, the checked one is filled.
const auto segmentStyle = QStringLiteral(R"(
QRadioButton {
    padding: 4px 12px;
    border: 1px solid %1;
    background: %2;
    color: %3;
}
QRadioButton { spacing: 0; }
QRadioButton::indicator { width: 0; height: 0; border: none; background: transparent; image: none; }
QRadioButton:checked {
    background: %4;
    color: %5;
}
QRadioButton#segment0 { border-top-left-radius: 6px; border-bottom-left-radius: 6px; }
QRadioButton#segment1 {
    border-left: none;
    border-top-right-radius: 6px;
    border-bottom-right-radius: 6px;
}
)");

// The whole segment takes the click, not only the label beside the hidden indicator.
class Segment : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& position) const override { return rect().contains(position); }
};

} // namespace

SourcePicker::SourcePicker(const QString& serviceLabel, AppStyle& style, QWidget* parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("sourcePicker"));
    setAccessibleName(tr("Video source"));
    m_group->setExclusive(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(0);

    const std::pair<VideoProvider, QString> segments[] = {
        {VideoProvider::webMux, serviceLabel},
        {VideoProvider::localFolder, tr("Local Folder")},
    };
    for (const auto& [provider, label] : segments) {
        auto* button = new Segment(label, this);
        button->setObjectName(QStringLiteral("segment%1").arg(static_cast<int>(provider)));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_group->addButton(button, static_cast<int>(provider));
        layout->addWidget(button);
    }
    style.setPaletteStyleSheet(this, [](const QPalette& palette) {
        QString sheet = segmentStyle;
        for (const auto role : {QPalette::Mid, QPalette::Button, QPalette::ButtonText,
                                QPalette::Highlight, QPalette::HighlightedText})
            sheet = sheet.arg(palette.color(role).name());
        return sheet;
    });
    connect(m_group, &QButtonGroup::idClicked, this,
            [this](int id) { Q_EMIT providerChosen(static_cast<VideoProvider>(id)); });
}

void SourcePicker::setProvider(VideoProvider provider) {
    segment(provider)->setChecked(true);
}

QRadioButton* SourcePicker::segment(VideoProvider provider) const {
    return qobject_cast<QRadioButton*>(m_group->button(static_cast<int>(provider)));
}

} // namespace clipferry
