// The requests the test cloud recorded (TestCloud::calls), read with Qt's
// JSON for the Qt tests: the params of each call of a method, without the
// session, to compare whole with what the test expects.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "support/TestCloud.h"

namespace gt {
namespace test {

// The params of every recorded call of method, in order, "session_id" taken out.
inline QList<QJsonObject> recordedParams(TestCloud& cloud, QString const& method) {
    QList<QJsonObject> found;
    QJsonArray const calls = QJsonDocument::fromJson(QByteArray::fromStdString(cloud.calls())).array();
    for (QJsonValue const& call : calls) {
        QJsonObject const object = call.toObject();
        if (object.value("method").toString() != method) continue;
        QJsonObject params = object.value("params").toObject();
        params.remove("session_id");
        found.append(params);
    }
    return found;
}

// A JSON object from its text, for the expected side of a comparison.
inline QJsonObject jsonObject(char const* text) { return QJsonDocument::fromJson(QByteArray(text)).object(); }

}  // namespace test
}  // namespace gt
