// SPDX-License-Identifier: MIT
// Times a 20 % sentence summary of about 1 MB of English text, in process and
// as a whole program run, beside the ots command on the same file.
//
//   qn_bench_summary [text-file] [--size bytes] [--runs n]
//   qn_bench_summary --summarize file      (one summary to stdout; used for
//                                           the whole-run timing)
//
// Without a text file the paragraphs of the sample text are repeated in a
// shuffled order (fixed seed) until the size is reached.
#include "summary/TextSummary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

QString readText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::exit(2);
    }
    return QString::fromUtf8(f.readAll());
}

QString makeText(qsizetype bytes)
{
    const QStringList paragraphs = readText(QStringLiteral(QN_BENCH_TEXT)).split(u'\n', Qt::SkipEmptyParts);
    QRandomGenerator random(20261208);
    QString out;
    while (out.toUtf8().size() < bytes) {
        QStringList round = paragraphs;
        std::shuffle(round.begin(), round.end(), random);
        // A blank line between paragraphs: a single line end is a space.
        out += round.join(QStringLiteral("\n\n")) + QStringLiteral("\n\n");
    }
    return out;
}

int summarize(const QString& path)
{
    const qn::summary::TextSummary s(readText(path));
    const QByteArray out = s.sentenceSummary(int(s.sentenceCount() * 0.2 + 0.5)).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}

// Best wall time of n runs of a program, in milliseconds; -1 when it failed.
double timeProgram(const QString& program, const QStringList& args, int runs)
{
    double best = -1;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        p.start(program, args);
        if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return -1;
        const double ms = double(t.nsecsElapsed()) / 1e6;
        best = best < 0 ? ms : std::min(best, ms);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--summarize"))
        return summarize(args[1]);

    qsizetype size = 1 << 20;
    int runs = 5;
    QString file;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--size") && i + 1 < args.size())
            size = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else
            file = args[i];
    }
    QTemporaryDir dir;
    if (file.isEmpty()) {
        file = dir.filePath(QStringLiteral("text.txt"));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(makeText(size).toUtf8()) < 0)
            return 2;
    }
    const QString text = readText(file);
    std::printf("text: %s, %lld bytes\n", qPrintable(file), static_cast<long long>(text.toUtf8().size()));

    double best = -1;
    int sentences = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const qn::summary::TextSummary s(text);
        sentences = s.sentenceCount();
        const QString summary = s.sentenceSummary(int(sentences * 0.2 + 0.5));
        const double ms = double(t.nsecsElapsed()) / 1e6;
        best = best < 0 ? ms : std::min(best, ms);
        if (summary.isEmpty())
            return 3;
    }
    std::printf("TextSummary in process: %.1f ms (best of %d, %d sentences)\n", best, runs, sentences);

    const double ours = timeProgram(app.applicationFilePath(), {QStringLiteral("--summarize"), file}, runs);
    std::printf("qn_bench_summary --summarize: %.1f ms (best of %d, whole run)\n", ours, runs);
    const QString ots = QStandardPaths::findExecutable(QStringLiteral("ots"));
    if (ots.isEmpty()) {
        std::printf("ots: not installed (Debian package ots)\n");
        return 0;
    }
    const double theirs = timeProgram(ots, {QStringLiteral("--ratio=20"), file}, runs);
    std::printf("ots --ratio=20: %.1f ms (best of %d, whole run)\n", theirs, runs);
    if (ours > 0 && theirs > 0)
        std::printf("ratio (ours / ots, whole runs): %.2fx\n", ours / theirs);
    return 0;
}
