#pragma once

#include "model/Records.h"

#include <QWidget>

class QButtonGroup;
class QRadioButton;

namespace clipferry {

class AppStyle;

// A two-segment control choosing the video source: the service or a local folder. The
// segments are radio buttons drawn as joined buttons, so a screen reader announces one
// choice of two rather than two check boxes.
class SourcePicker : public QWidget {
    Q_OBJECT
public:
    SourcePicker(const QString& serviceLabel, AppStyle& style, QWidget* parent = nullptr);

    void setProvider(VideoProvider provider);
    [[nodiscard]] QRadioButton* segment(VideoProvider provider) const;

Q_SIGNALS:
    void providerChosen(clipferry::VideoProvider provider);

private:
    QButtonGroup* m_group;
};

} // namespace clipferry
