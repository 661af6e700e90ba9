// SPDX-License-Identifier: MIT
#pragma once
// Runs a program from a single command-line string and splits such strings.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>

class QObject;
class QProcess;

class TaskUtility {
public:
    /// Splits a command line into words. Words are separated by white space
    /// (Unicode white space, line ends included). A word starting with a
    /// double or single quotation mark runs to the next such mark (or to the
    /// end of the line); white space right after the opening mark is dropped.
    /// There is no escape character, a quote inside an unquoted word is an
    /// ordinary character, and a word right after a closing quote is a word
    /// of its own. A blank line gives an empty list; an empty word (such as
    /// "" or " ") makes the whole line invalid: nullopt.
    static std::optional<QStringList> componentsOfCommandLine(const QString& commandLine);

    /// Starts the program named by the first word (taken literally, never
    /// searched for in PATH; a bare name is relative to the working
    /// directory) with the other words as arguments, in workingDirectory
    /// unless that is empty. Its standard output goes piece by piece to
    /// stdoutTarget (see QNSubTask). Returns the running process, or nullptr
    /// when the line is invalid or empty or the program could not be started;
    /// nothing is left running then.
    static std::shared_ptr<QProcess> runCommandLine(const QString& commandLine,
                                                    const QString& workingDirectory,
                                                    QObject* stdoutTarget,
                                                    const QByteArray& stdoutSelector,
                                                    const QVariant& context);
};
