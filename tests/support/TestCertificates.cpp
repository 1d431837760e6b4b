#include "TestCertificates.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

bool openssl(const QString &directory, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(QStringLiteral("openssl"), arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

std::optional<TestCertificates> TestCertificates::generate()
{
    QTemporaryDir dir;
    const QString d = dir.path();
    const QStringList ecKey{u"-newkey"_qs, u"ec"_qs, u"-pkeyopt"_qs, u"ec_paramgen_curve:prime256v1"_qs, u"-nodes"_qs};
    QFile extensions(dir.filePath(u"server.ext"_qs));
    if (!extensions.open(QIODevice::WriteOnly) ||
        extensions.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n") < 0)
        return std::nullopt;
    extensions.close();

    const bool made = openssl(d, QStringList{u"req"_qs, u"-x509"_qs} + ecKey +
                                     QStringList{u"-keyout"_qs, u"ca.key"_qs, u"-out"_qs, u"ca.pem"_qs, u"-days"_qs,
                                                 u"2"_qs, u"-subj"_qs, u"/CN=Glint Test Authority"_qs, u"-addext"_qs,
                                                 u"basicConstraints=critical,CA:TRUE"_qs, u"-addext"_qs,
                                                 u"keyUsage=critical,keyCertSign,cRLSign"_qs}) &&
                      openssl(d, QStringList{u"req"_qs} + ecKey +
                                     QStringList{u"-keyout"_qs, u"server.key"_qs, u"-out"_qs, u"server.csr"_qs,
                                                 u"-subj"_qs, u"/CN=localhost"_qs}) &&
                      openssl(d, {u"x509"_qs, u"-req"_qs, u"-in"_qs, u"server.csr"_qs, u"-CA"_qs, u"ca.pem"_qs,
                                  u"-CAkey"_qs, u"ca.key"_qs, u"-CAcreateserial"_qs, u"-out"_qs, u"server.pem"_qs,
                                  u"-days"_qs, u"2"_qs, u"-extfile"_qs, u"server.ext"_qs});
    if (!made)
        return std::nullopt;

    TestCertificates result{QSslCertificate(contents(dir.filePath(u"ca.pem"_qs))),
                            QSslCertificate(contents(dir.filePath(u"server.pem"_qs))),
                            QSslKey(contents(dir.filePath(u"server.key"_qs)), QSsl::Ec)};
    if (result.authority.isNull() || result.server.isNull() || result.serverKey.isNull())
        return std::nullopt;
    return result;
}
