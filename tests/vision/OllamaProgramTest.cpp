#include "Files.h"
#include "OllamaProgram.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

// A folder standing in for the machine: two listed locations, the app bundle, a PATH of one folder
// and a shell of the test's own making, all inside it and all empty until a test fills them.
struct Machine
{
    QTemporaryDir dir;
    OllamaProgramSearch search;

    Machine()
    {
        search.locations = {dir.filePath("usr/bin/ollama"), dir.filePath("home/.local/bin/ollama")};
        search.appBundle = dir.filePath("Applications/Ollama.app");
        search.environment.insert("PATH", dir.filePath("path"));
        QDir().mkpath(dir.filePath("path"));
    }

    void file(const QString &relativePath, const QByteArray &content, QFile::Permissions permissions)
    {
        ASSERT_TRUE(QFile::setPermissions(Files::write(dir.filePath(relativePath), content), permissions));
    }

    void program(const QString &relativePath) { file(relativePath, "#!/bin/sh\n", QFile::ReadOwner | QFile::ExeOwner); }

    // Makes the shell a script of ours, run instead of /bin/sh with the same arguments.
    void shell(const QByteArray &script)
    {
        file("sh", "#!/bin/sh\n" + script + "\n", QFile::ReadOwner | QFile::ExeOwner);
        search.shell = dir.filePath("sh");
    }
};

// The listed locations, then the app bundle, then the shell, whose answer counts only when it
// names something.
TEST(OllamaProgram, FoundInAnyPlaceItCanBe)
{
    const QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner;
    const struct
    {
        const char *name;
        std::function<void(Machine &)> prepare;
        bool found;
    } rows[] = {
        {"second listed location", [](Machine &m) { m.program("home/.local/bin/ollama"); }, true},
        {"listed file not executable", [&](Machine &m) { m.file("usr/bin/ollama", "#!/bin/sh\n", readable); }, false},
        {"listed location is a folder", [](Machine &m) { QDir().mkpath(m.dir.filePath("usr/bin/ollama")); }, false},
        {"app bundle without the program", [](Machine &m) { QDir().mkpath(m.dir.filePath("Applications/Ollama.app")); }, true},
        {"on the PATH only", [](Machine &m) { m.program("path/ollama"); }, true},
        {"shell asked exactly for the program",
         [](Machine &m) { m.shell(R"([ "$1" = "-c" ] && [ "$2" = "command -v ollama" ] && echo /opt/ollama)"); }, true},
        {"shell says white space only", [](Machine &m) { m.shell(R"(printf ' \n\t\r\n')"); }, false},
        {"shell names it but fails", [](Machine &m) { m.shell("echo /opt/ollama; exit 1"); }, false},
        {"shell answer not UTF-8", [](Machine &m) { m.shell(R"(printf '/opt/\377\376\n')"); }, false},
        {"shell reads its input, which is closed", [](Machine &m) { m.shell("read -r line; echo /opt/ollama"); }, true},
        {"shell answers after the limit", [](Machine &m) { m.shell("/bin/sleep 2; echo /opt/ollama"); }, false},
    };
    for (const auto &row : rows) {
        Machine machine;
        machine.search.shellLimit = 500ms;
        row.prepare(machine);
        EXPECT_EQ(OllamaProgram::isOllamaInstalled(machine.search), row.found) << row.name;
    }
}

} // namespace
