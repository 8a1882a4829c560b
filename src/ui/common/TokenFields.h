#pragma once

#include <QWidget>
#include <functional>

class QLineEdit;

namespace clipferry {

class UploadViewModel;

// The service's token pair as the API keys sheet and the settings sheet both ask for it:
// the ID, and the secret masked, each named for a screen reader.
class TokenFields : public QWidget {
    Q_OBJECT
public:
    explicit TokenFields(QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* idField() const { return m_id; }
    [[nodiscard]] QLineEdit* secretField() const { return m_secret; }
    // Only differing text is replaced, so typing keeps its cursor.
    void showTokens(const QString& id, const QString& secret);

    // Saves the settings, first asking whether an emptied field should remove its stored
    // token; `saved` runs once they are saved, not when the user declines.
    static void saveConfirmingClear(QWidget* sheet, UploadViewModel& viewModel,
                                    const std::function<void()>& saved);

private:
    QLineEdit* m_id;
    QLineEdit* m_secret;
};

} // namespace clipferry
