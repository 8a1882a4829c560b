#pragma once

#include <QColor>
#include <QWidget>

namespace clipferry {

// A box with a dashed rounded outline; the drop zone and the folder box share it.
// The outline is drawn in the secondary text colour unless highlighted.
class DashedFrame : public QWidget {
    Q_OBJECT
public:
    explicit DashedFrame(QWidget* parent = nullptr);

    [[nodiscard]] bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_highlighted = false;
};

} // namespace clipferry
