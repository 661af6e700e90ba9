// SPDX-License-Identifier: MIT
#pragma once
// What the two HTTP clients (libQNEnhancer's QNNetwork and the crash
// reporter's qn::reporter::QNNetwork) do alike: uncached requests, waiting
// for a synchronous reply, reading its status, and the network diagnosis with
// its texts (table "QNHttpClient"). A small static library of its own, so the
// reporter uses it without linking libQNEnhancer.
#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace qn::http {

/// The text for key from the diagnosis table, whatever tables the program installed.
QString text(const char* key);

/// request, set to bypass and not fill any cache.
QNetworkRequest uncached(QNetworkRequest request);

/// Runs the event loop (user input excluded) until reply has finished.
void waitForFinished(QNetworkReply* reply);

/// The HTTP status of a finished reply; 0 when no HTTP answer came.
int httpStatus(QNetworkReply* reply);

/// Whether the server answered at all (any HTTP status, or no error).
bool answered(QNetworkReply* reply);

/// The body of a finished reply: a null QByteArray when ok is false, an
/// empty (non-null) one when nothing came. Schedules the reply's deletion.
QByteArray takeBody(QNetworkReply* reply, bool ok);

/// GETs url without cache and waits: the body, or a null QByteArray on any
/// error, HTTP ones included.
QByteArray loadSynchronously(QNetworkAccessManager& manager, const QUrl& url);

/// Checks whether url's host can be reached (a TCP connection to its port,
/// within 5 s) and shows the result in an informational alert.
void showNetworkDiagnostic(const QUrl& url);

}  // namespace qn::http
