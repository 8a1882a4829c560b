#include "ConfirmationDialog.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
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
    auto* box =
        new QMessageBox(QMessageBox::Warning, QString(), question, QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPushButton* accept = box->addButton(acceptText, QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    QPointer<QObject> guard(context);
    QObject::connect(box, &QMessageBox::finished, context,
                     [box, accept, guard, done = std::move(done)] {
                         if (guard)
                             done(box->clickedButton() == accept);
                     });
    box->open();
}

void ConfirmationDialog::setNextAnswer(bool accepted) {
    s_nextAnswer = accepted;
}

QString ConfirmationDialog::lastQuestion() {
    return s_lastQuestion;
}

} // namespace clipferry
