#pragma once

#include "model/Records.h"

#include <QWidget>

class QButtonGroup;
class QPushButton;

namespace clipferry {

// A two-segment control choosing the video source: the service or a local folder.
class SourcePicker : public QWidget {
    Q_OBJECT
public:
    SourcePicker(const QString& serviceLabel, QWidget* parent = nullptr);

    void setProvider(VideoProvider provider);
    [[nodiscard]] QPushButton* segment(VideoProvider provider) const;

Q_SIGNALS:
    void providerChosen(clipferry::VideoProvider provider);

private:
    QButtonGroup* m_group;
};

} // namespace clipferry
