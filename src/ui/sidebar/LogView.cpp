#include "ui/sidebar/LogView.h"

#include "workflow/UploadViewModel.h"

#include <QFontDatabase>
#include <QScrollBar>

namespace clipferry {

LogView::LogView(UploadViewModel& viewModel, QWidget* parent)
    : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("log"));
    setAccessibleName(tr("Log"));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    for (const auto& entry : viewModel.log())
        appendLine(entry.message);
    connect(&viewModel, &UploadViewModel::logAppended, this,
            [this](const LogEntry& entry) { appendLine(entry.message); });
}

void LogView::appendLine(const QString& message) {
    auto* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum() - 2;
    const int kept = bar->value();
    appendPlainText(message);
    bar->setValue(following ? bar->maximum() : kept);
}

} // namespace clipferry
