#pragma once

#include <QString>
#include <functional>
#include <optional>

class QObject;
class QWidget;

namespace clipferry {

// A window-modal question with an accepting button and "Cancel" (the default, so Return
// never confirms by accident). Asynchronous: `done` runs later, with true for the
// accepting button, and only while `context` lives.
//   ConfirmationDialog::ask(this, question, "Delete", this, [](bool yes) { ... });
class ConfirmationDialog {
public:
    static void ask(QWidget* parent, const QString& question, const QString& acceptText,
                    QObject* context, std::function<void(bool accepted)> done);

    // For tests: the next ask shows nothing and answers this instead.
    static void setNextAnswer(bool accepted);
    // The question of the last ask, shown or answered by the seam.
    [[nodiscard]] static QString lastQuestion();

private:
    static std::optional<bool> s_nextAnswer;
    static QString s_lastQuestion;
};

} // namespace clipferry
