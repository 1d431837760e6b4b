#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <optional>

// A throw-away certificate authority and a server certificate it signed for localhost and 127.0.0.1,
// made with the openssl command when a test needs them.
struct TestCertificates {
    QSslCertificate authority;
    QSslCertificate server;
    QSslKey serverKey;

    // Nothing when the openssl command is missing or fails.
    static std::optional<TestCertificates> generate();
};
