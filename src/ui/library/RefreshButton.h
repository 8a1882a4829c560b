#pragma once

#include <QToolButton>
#include <QVariantAnimation>

namespace clipferry {

// The icon-only refresh button: while busy it is disabled and its arrow turns once every
// 0.9 s, linearly, without end; when the work ends the arrow returns to rest.
class RefreshButton : public QToolButton {
    Q_OBJECT
public:
    explicit RefreshButton(QWidget* parent = nullptr);

    void setBusy(bool busy);
    [[nodiscard]] bool isBusy() const { return m_busy; }
    [[nodiscard]] qreal angle() const { return m_angle; }

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] QSize sizeHint() const override;

private:
    QVariantAnimation m_spin;
    QVariantAnimation m_settle;
    qreal m_angle = 0;
    bool m_busy = false;
};

} // namespace clipferry
