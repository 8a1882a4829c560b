#pragma once

#include "ui/sidebar/DashedFrame.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace clipferry {

class ElidedLabel;

// The local-folder box: "Choose Folder", the chosen folder's path, the subfolder switch and
// the switches of unattended delivery.
// It only shows and forwards; the panel decides what the clicks do.
class FolderBox : public DashedFrame {
    Q_OBJECT
public:
    explicit FolderBox(QWidget* parent = nullptr);

    // An empty path hides the path line.
    void setFolderPath(const QString& path);
    void setIncludeSubfolders(bool include);
    void setDeliverNewClips(bool deliver, bool replaceChanged);

    [[nodiscard]] QPushButton* chooseButton() const { return m_choose; }
    [[nodiscard]] QCheckBox* includeSubfoldersBox() const { return m_includeSubfolders; }
    [[nodiscard]] ElidedLabel* pathLabel() const { return m_path; }
    [[nodiscard]] QCheckBox* deliverNewClipsBox() const { return m_deliverNewClips; }
    [[nodiscard]] QCheckBox* replaceChangedBox() const { return m_replaceChanged; }

Q_SIGNALS:
    void chooseClicked();
    void includeSubfoldersToggled(bool include);
    void deliverNewClipsToggled(bool deliver);
    void replaceChangedToggled(bool replace);

protected:
    void changeEvent(QEvent* event) override;

private:
    void updateSymbol();

    QLabel* m_symbol;
    QPushButton* m_choose;
    ElidedLabel* m_path;
    QCheckBox* m_includeSubfolders;
    QCheckBox* m_deliverNewClips;
    QCheckBox* m_replaceChanged;
};

} // namespace clipferry
