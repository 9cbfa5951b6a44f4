#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace korvo::test {

bool makeFolder(const QString& path)
{
    return QDir().mkpath(path);
}

bool writeFile(const QString& path, const QByteArray& content)
{
    if (!makeFolder(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(content) == content.size() && file.flush();
}

bool writeFile(const QString& path, qint64 size)
{
    QByteArray content(int(size), '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = char('a' + i % 26);
    return writeFile(path, content);
}

QProcessEnvironment toolEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.remove(QStringLiteral("LANGUAGE"));
    return environment;
}

QString cliProgram()
{
    return QString::fromUtf8(KORVO_CLI_PROGRAM);
}

CliRun runCli(const QStringList& arguments, const QString& workingFolder)
{
    CliRun run;
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    // Wine now and then fails to create a process at all: one that never
    // started has done nothing, so it is started again.
    for (int attempt = 0;; ++attempt) {
        process.start(cliProgram(), arguments);
        if (process.waitForStarted(60000) || process.error() != QProcess::FailedToStart || attempt == 2)
            break;
        QThread::msleep(500);
    }
    if (!process.waitForFinished(120000)) {
        run.err = QStringLiteral("korvo-cli did not finish: %1").arg(process.errorString());
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() != QProcess::NormalExit)
        run.err += QStringLiteral("korvo-cli crashed: %1").arg(process.errorString());
#ifdef Q_OS_WIN
    // A Windows console program writes its text lines with CR LF.
    run.out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    run.err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
    return run;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool runningAsRoot()
{
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

} // namespace korvo::test
