#include "ScreensDelegate.h"

#include <QApplication>
#include <QIntValidator>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>

namespace clipferry {
namespace {
constexpr int fieldInset = 2;
}

void ScreensDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    QStyleOptionFrame frame;
    frame.rect = option.rect.adjusted(fieldInset, fieldInset, -fieldInset, -fieldInset);
    frame.palette = option.palette;
    frame.state = option.state | QStyle::State_Sunken | QStyle::State_Enabled;
    frame.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, option.widget);
    frame.midLineWidth = 0;
    style->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, painter, option.widget);

    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(frame.rect.adjusted(4, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QWidget* ScreensDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                       const QModelIndex&) const {
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("screensEditor"));
    editor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    editor->setPlaceholderText(tr("Screens"));
    // A negative number of screens has no meaning.
    auto* validator = new QIntValidator(0, std::numeric_limits<int>::max(), editor);
    validator->setLocale(QLocale());
    editor->setValidator(validator);
    return editor;
}

void ScreensDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* field = static_cast<QLineEdit*>(editor);
    field->setText(QLocale().toString(index.data(Qt::EditRole).toLongLong()));
    field->selectAll();
}

void ScreensDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const {
    bool ok = false;
    const qint64 count = QLocale().toLongLong(static_cast<QLineEdit*>(editor)->text(), &ok);
    if (ok && count >= 0)
        model->setData(index, count, Qt::EditRole);
}

void ScreensDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex&) const {
    editor->setGeometry(option.rect.adjusted(fieldInset, fieldInset, -fieldInset, -fieldInset));
}

} // namespace clipferry
