#include "OllamaProgram.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

QStringList OllamaProgramSearch::standardLocations(const QString &homeDirectory)
{
    return {
        QStringLiteral("/usr/local/bin/ollama"),
        QStringLiteral("/opt/homebrew/bin/ollama"),
        QStringLiteral("/usr/bin/ollama"),
        QStringLiteral("/opt/local/bin/ollama"),
        QStringLiteral("/Applications/Ollama.app/Contents/Resources/ollama"),
        homeDirectory + QStringLiteral("/Applications/Ollama.app/Contents/Resources/ollama"),
        // Homebrew on Linux, the install script run without root, the snap.
        QStringLiteral("/home/linuxbrew/.linuxbrew/bin/ollama"),
        homeDirectory + QStringLiteral("/.local/bin/ollama"),
        QStringLiteral("/snap/bin/ollama"),
    };
}

namespace OllamaProgram {

bool isOllamaInstalled(const OllamaProgramSearch &search)
{
    for (const QString &location : search.locations) {
        const QFileInfo program(location);
        if (program.isFile() && program.isExecutable())
            return true;
    }
    if (QFileInfo::exists(search.appBundle))
        return true;
    return ollamaOnPath(search);
}

bool ollamaOnPath(const OllamaProgramSearch &search)
{
    const int limit = int(search.shellLimit.count());
    QProcess shell;
    shell.setProgram(search.shell);
    shell.setArguments({QStringLiteral("-c"), QStringLiteral("command -v ollama")});
    shell.setProcessEnvironment(search.environment);
    // A shell profile that asks for input would otherwise wait for it until the limit.
    shell.setStandardInputFile(QProcess::nullDevice());
    shell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    shell.start();
    if (!shell.waitForStarted(limit))
        return false;
    if (!shell.waitForFinished(limit)) {
        shell.kill();
        shell.waitForFinished();
        return false;
    }
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString found = utf8(shell.readAllStandardOutput());
    return !utf8.hasError() && !found.trimmed().isEmpty();
}

} // namespace OllamaProgram
