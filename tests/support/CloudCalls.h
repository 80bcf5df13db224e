// The requests the Python test cloud recorded, for the Qt tests of the
// client's windows: read as JSON and picked by method.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <string>

#include "support/TestCloud.h"

namespace gt {
namespace test {

// Every recorded request in order ({"method", "params", "role", ...}).
inline QJsonArray cloudCalls(TestCloud& cloud) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(cloud.calls())).array();
}

// The params of each recorded request of that method, in order.
inline QList<QJsonObject> cloudParams(TestCloud& cloud, QString const& method) {
    QList<QJsonObject> list;
    for (QJsonValue const& call : cloudCalls(cloud))
        if (call.toObject().value("method").toString() == method)
            list.append(call.toObject().value("params").toObject());
    return list;
}

// The same without the session, to compare whole with what a test expects.
inline QList<QJsonObject> recordedParams(TestCloud& cloud, QString const& method) {
    QList<QJsonObject> list = cloudParams(cloud, method);
    for (QJsonObject& params : list)
        params.remove("session_id");
    return list;
}

// The methods of the recorded requests, in order.
inline QStringList cloudMethods(TestCloud& cloud) {
    QStringList list;
    for (QJsonValue const& call : cloudCalls(cloud))
        list.append(call.toObject().value("method").toString());
    return list;
}

inline QJsonObject jsonObject(char const* text) { return QJsonDocument::fromJson(QByteArray(text)).object(); }

// A control command given as a JSON object, sent as the one line it must be;
// the cloud's answer ("ok ..." / "err ...").
inline std::string cloudCommand(TestCloud& cloud, QJsonObject const& command) {
    return cloud.command(QJsonDocument(command).toJson(QJsonDocument::Compact).toStdString());
}
inline std::string cloudCommand(TestCloud& cloud, char const* json) {
    return cloudCommand(cloud, jsonObject(json));
}

}  // namespace test
}  // namespace gt
