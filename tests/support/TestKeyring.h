#pragma once

#include <QString>

// A secret store service name no other test and no user has. The items a test stores under
// it (the tokens and the sheet key) are removed when it goes, so a test leaves the store as
// it found it.
class TestKeyring {
public:
    TestKeyring();
    ~TestKeyring();
    TestKeyring(const TestKeyring&) = delete;
    TestKeyring& operator=(const TestKeyring&) = delete;

    [[nodiscard]] const QString& service() const { return m_service; }

private:
    QString m_service;
};
