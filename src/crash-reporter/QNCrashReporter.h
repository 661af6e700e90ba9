// SPDX-License-Identifier: MIT
#pragma once
// The crash reporter's application delegate: takes the target's name and
// path from the 'QNcr'/'SetT' event, shows the notify window and, on
// request, the report window; ends the program when the user is done.
#include "QNCrashLogFile.h"
#include "events/AppleEvent.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <memory>
#include <utility>

class QNNotifyWindowController;
class QNReportWindowController;

extern const QString kQNCrashReporterTargetNameKey;
extern const QString kQNCrashReporterTargetPathKey;

class QNCrashReporter : public QObject {
    Q_OBJECT
public:
    QNCrashReporter();
    ~QNCrashReporter() override;

    /// Installs the 'QNcr'/'SetT' handler on the program's event manager.
    void applicationWillFinishLaunching();
    void onReceiveTargetInfo(const qn::events::AppleEvent& event);
    /// Name and path from a 'QNcr'/'SetT' event (empty when absent).
    static void readTargetInfo(const qn::events::AppleEvent& event, QString* name, QString* path);
    void onEndNotifyWindowWithCode(int code);

    const QString& targetName() const { return _targetName; }
    void setTargetName(const QString& name) { _targetName = name; }
    const QString& targetPath() const { return _targetPath; }
    void setTargetPath(const QString& path) { _targetPath = path; }

private:
    bool isShowing() const;
    void startReport(const QString& name, const QString& path);
    /// The current report is over: the next waiting target's turn, or the end.
    void finishReport();
    void terminate();
    void onReceiveCloseReportWindowNotification();

    QString _targetName;
    QString _targetPath;
    std::unique_ptr<QNCrashLogFile> _crashLogFile;
    QPointer<QNNotifyWindowController> _notifyWindowController;
    QPointer<QNReportWindowController> _reportWindowController;
    std::deque<std::pair<QString, QString>> _pendingTargets;  // name, path
    bool _finishing = false;  // the 0.05 s after a report window closed
};
