#include "TracedRun.h"

#include <QProcess>
#include <QStandardPaths>

namespace korvo::test {

bool straceAvailable()
{
#ifdef Q_OS_WIN
    return false;
#else
    return !QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty();
#endif
}

CliRun runCliTraced(const QStringList& straceOptions, const QStringList& arguments, const QString& log)
{
    CliRun run;
    QProcess process;
    const QStringList options = QStringList{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
                                            log.isEmpty() ? QStringLiteral("/dev/null") : log}
                                + straceOptions;
    process.start(QStringLiteral("strace"), options + QStringList{QStringLiteral("--"), cliProgram()} + arguments);
    if (!process.waitForFinished(120000)) {
        run.err = QStringLiteral("strace korvo-cli did not finish: %1").arg(process.errorString());
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    // strace passes on its child's exit code, and a death by a signal as
    // 128 plus its number.
    run.exitCode = process.exitStatus() == QProcess::NormalExit && process.exitCode() < 128 ? process.exitCode() : -1;
    return run;
}

} // namespace korvo::test
