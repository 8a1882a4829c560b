#pragma once

#include <QPlainTextEdit>

namespace clipferry {

class UploadViewModel;

// The in-app log: selectable text that follows new lines unless the user scrolled up.
class LogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogView(UploadViewModel& viewModel, QWidget* parent = nullptr);

private:
    void appendLine(const QString& message);
};

} // namespace clipferry
