#include "ui/sidebar/ScreensDelegate.h"

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
    // A rounded field, like the editor that replaces it while editing.
    const QRectF field =
        QRectF(option.rect.adjusted(fieldInset, fieldInset, -fieldInset, -fieldInset))
            .adjusted(0.5, 0.5, -0.5, -0.5);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->setBrush(option.palette.brush(QPalette::Base));
    painter->drawRoundedRect(field, 4, 4);
    painter->setFont(option.font);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(field.adjusted(4, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter,
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
    // Without group separators, which the validator would reject as the user edits.
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    field->setText(locale.toString(index.data(Qt::EditRole).toLongLong()));
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
