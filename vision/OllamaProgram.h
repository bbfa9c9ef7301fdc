#pragma once

// Whether the Ollama program is on this machine. It may start a shell and wait for it: call it on a
// worker thread.

#include <QDir>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>

// Where to look. The defaults are this machine; tests point every part at a folder of their own.
struct OllamaProgramSearch
{
    // The places an installer or package manager puts the program, tried in this order.
    static QStringList standardLocations(const QString &homeDirectory);

    QStringList locations = standardLocations(QDir::homePath());
    // The desktop app's bundle counts even without the program inside it.
    QString appBundle = QStringLiteral("/Applications/Ollama.app");
    QString shell = QStringLiteral("/bin/sh");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A shell that has not answered by then counts as "not found".
    std::chrono::milliseconds shellLimit{std::chrono::seconds(5)};
};

namespace OllamaProgram {

// The listed locations, then the app bundle, then the shell's own search.
bool isOllamaInstalled(const OllamaProgramSearch &search = {});

// True when `command -v ollama` succeeds in the shell and prints something other than white space.
bool ollamaOnPath(const OllamaProgramSearch &search = {});

} // namespace OllamaProgram
