#pragma once

#include "support/FakeModelServer.h"

#include <QMap>
#include <QRegularExpression>

// The fields of a multipart/form-data request as the server received them, by name.
struct FormField {
    QByteArray disposition; // the Content-Disposition value
    QByteArray contentType;
    QByteArray body;
};

inline QMap<QString, FormField> formFields(const FakeModelServer::Request &request)
{
    static const QRegularExpression boundaryPattern(QStringLiteral("^multipart/form-data; *boundary=\"?([^\";]+)\"?$"));
    static const QRegularExpression namePattern(QStringLiteral("name=\"([^\"]*)\""));
    const QRegularExpressionMatch boundary =
        boundaryPattern.match(QString::fromLatin1(request.headers.value("content-type")));
    QMap<QString, FormField> fields;
    if (!boundary.hasMatch())
        return fields;
    const QByteArray delimiter = "--" + boundary.captured(1).toLatin1();
    qsizetype at = request.body.indexOf(delimiter);
    while (at >= 0 && request.body.mid(at + delimiter.size(), 2) == "\r\n") {
        const qsizetype start = at + delimiter.size() + 2;
        const qsizetype next = request.body.indexOf(QByteArray("\r\n" + delimiter), start);
        const qsizetype split = request.body.indexOf("\r\n\r\n", start);
        if (next < 0 || split < 0 || split > next)
            break;
        FormField field{{}, {}, request.body.mid(split + 4, next - split - 4)};
        for (const QByteArray &line : request.body.mid(start, split - start).split('\n')) {
            const QByteArray header = line.trimmed();
            if (header.toLower().startsWith("content-disposition:"))
                field.disposition = header.mid(20).trimmed();
            else if (header.toLower().startsWith("content-type:"))
                field.contentType = header.mid(13).trimmed();
        }
        fields.insert(namePattern.match(QString::fromUtf8(field.disposition)).captured(1), field);
        at = next + 2;
    }
    return fields;
}
