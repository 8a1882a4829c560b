#include "ui/common/QuestionDialog.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace clipferry {

std::optional<int> QuestionDialog::s_nextAnswer;
QString QuestionDialog::s_lastQuestion;

void QuestionDialog::ask(QWidget* parent, const QString& question, const QStringList& answers,
                         QObject* context, std::function<void(int)> done) {
    s_lastQuestion = question;
    if (const auto answer = std::exchange(s_nextAnswer, std::nullopt)) {
        // Answered from the event loop like a real dialog, never inside the caller.
        QTimer::singleShot(0, context, [done = std::move(done), index = *answer] { done(index); });
        return;
    }
    QList<QPair<QString, QMessageBox::ButtonRole>> roles;
    for (const QString& text : answers)
        roles.append({text, QMessageBox::AcceptRole});
    open(parent, QMessageBox::Question, question, roles, context, std::move(done));
}

void QuestionDialog::open(QWidget* parent, QMessageBox::Icon icon, const QString& question,
                          const QList<QPair<QString, QMessageBox::ButtonRole>>& answers,
                          QObject* context, std::function<void(int)> done) {
    auto* box = new QMessageBox(icon, QString(), question, QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QList<QPushButton*> buttons;
    for (const auto& [text, role] : answers)
        buttons.append(box->addButton(text, role));
    box->setDefaultButton(buttons.constLast());
    box->setEscapeButton(buttons.constLast());
    QPointer<QObject> guard(context);
    QObject::connect(box, &QMessageBox::finished, context,
                     [box, buttons, guard, done = std::move(done)] {
                         const auto index = buttons.indexOf(box->clickedButton());
                         if (guard)
                             done(index < 0 ? int(buttons.size()) - 1 : int(index));
                     });
    box->open();
}

void QuestionDialog::setNextAnswer(int answer) {
    s_nextAnswer = answer;
}

QString QuestionDialog::lastQuestion() {
    return s_lastQuestion;
}

} // namespace clipferry
