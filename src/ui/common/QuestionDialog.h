#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QObject;
class QWidget;

namespace clipferry {

// A window-modal question with several answers, the last being the default (Return and
// Escape give it). Asynchronous: `done` runs later with the index of the answer, and only
// while `context` lives.
//   QuestionDialog::ask(this, question, {"Replace", "Keep both", "Cancel"}, this, [](int i) {});
class QuestionDialog {
public:
    static void ask(QWidget* parent, const QString& question, const QStringList& answers,
                    QObject* context, std::function<void(int answer)> done);

    // For tests: the next ask shows nothing and answers this instead.
    static void setNextAnswer(int answer);

    // The box behind both question kinds: the answers in order with their roles, the last
    // being the default and the escape. `done` gets the index of the answer.
    static void open(QWidget* parent, QMessageBox::Icon icon, const QString& question,
                     const QList<QPair<QString, QMessageBox::ButtonRole>>& answers,
                     QObject* context, std::function<void(int answer)> done);
    // The question of the last ask, shown or answered by the seam.
    [[nodiscard]] static QString lastQuestion();

private:
    static std::optional<int> s_nextAnswer;
    static QString s_lastQuestion;
};

} // namespace clipferry
