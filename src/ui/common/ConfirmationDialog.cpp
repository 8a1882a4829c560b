#include "ui/common/ConfirmationDialog.h"

#include "ui/common/QuestionDialog.h"

#include <QTimer>

namespace clipferry {

std::optional<bool> ConfirmationDialog::s_nextAnswer;
QString ConfirmationDialog::s_lastQuestion;

void ConfirmationDialog::ask(QWidget* parent, const QString& question, const QString& acceptText,
                             QObject* context, std::function<void(bool)> done) {
    s_lastQuestion = question;
    if (const auto answer = std::exchange(s_nextAnswer, std::nullopt)) {
        // Answered from the event loop like a real dialog, never inside the caller.
        QTimer::singleShot(0, context,
                           [done = std::move(done), accepted = *answer] { done(accepted); });
        return;
    }
    auto accepted = [done = std::move(done)](int answer) {
        done(answer == 0);
    };
    QuestionDialog::open(parent, QMessageBox::Warning, question,
                         {{acceptText, QMessageBox::DestructiveRole},
                          {QMessageBox::tr("Cancel"), QMessageBox::RejectRole}},
                         context, std::move(accepted));
}

void ConfirmationDialog::setNextAnswer(bool accepted) {
    s_nextAnswer = accepted;
}

QString ConfirmationDialog::lastQuestion() {
    return s_lastQuestion;
}

} // namespace clipferry
