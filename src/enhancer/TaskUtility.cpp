// SPDX-License-Identifier: MIT
#include "TaskUtility.h"

#include "QNSubTask.h"

#include <QProcess>

std::optional<QStringList> TaskUtility::componentsOfCommandLine(const QString& line)
{
    QStringList words;
    const qsizetype n = line.size();
    qsizetype pos = 0;
    for (;;) {
        while (pos < n && line.at(pos).isSpace())
            ++pos;
        if (pos == n)
            return words;
        const QChar first = line.at(pos);
        QString word;
        if (first == u'"' || first == u'\'') {
            ++pos;
            while (pos < n && line.at(pos).isSpace())
                ++pos;
            qsizetype end = line.indexOf(first, pos);
            if (end < 0)
                end = n;
            word = line.mid(pos, end - pos);
            pos = end < n ? end + 1 : n;
        } else {
            const qsizetype start = pos;
            while (pos < n && !line.at(pos).isSpace())
                ++pos;
            word = line.mid(start, pos - start);
        }
        if (word.isEmpty())
            return std::nullopt;
        words.append(word);
    }
}

std::shared_ptr<QProcess> TaskUtility::runCommandLine(const QString& commandLine,
                                                      const QString& workingDirectory,
                                                      QObject* stdoutTarget,
                                                      const QByteArray& stdoutSelector,
                                                      const QVariant& context)
{
    const auto words = componentsOfCommandLine(commandLine);
    if (!words || words->isEmpty())
        return nullptr;
    auto* subTask = new QNSubTask;
    subTask->setStdoutTarget(stdoutTarget, stdoutSelector, context);
    auto task = std::make_shared<QProcess>();
    subTask->setTask(task);
    if (!workingDirectory.isEmpty())
        task->setWorkingDirectory(workingDirectory);
    // Taken literally: a bare name would otherwise be looked up in PATH.
    QString program = words->first();
    if (!program.contains(u'/'))
        program.prepend(QStringLiteral("./"));
    task->setProgram(program);
    task->setArguments(words->mid(1));
    subTask->prepareForLaunch();
    task->start(QIODevice::ReadOnly);
    if (!task->waitForStarted(30000)) {
        subTask->taskDidEnd(nullptr);
        return nullptr;
    }
    return task;
}
