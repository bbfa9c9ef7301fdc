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

TEST(OllamaProgram, FoundInAnyPlaceItCanBe)
{
    const QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner;
    const struct
    {
        const char *name;
        std::function<void(Machine &)> prepare;
        bool found;
    } rows[] = {
        {"nowhere", [](Machine &) {}, false},
        {"second listed location", [](Machine &m) { m.program("home/.local/bin/ollama"); }, true},
        {"listed file not executable", [&](Machine &m) { m.file("usr/bin/ollama", "#!/bin/sh\n", readable); }, false},
        {"listed location is a folder", [](Machine &m) { QDir().mkpath(m.dir.filePath("usr/bin/ollama")); }, false},
        {"app bundle without the program", [](Machine &m) { QDir().mkpath(m.dir.filePath("Applications/Ollama.app")); }, true},
        {"on the PATH only", [](Machine &m) { m.program("path/ollama"); }, true},
    };
    for (const auto &row : rows) {
        Machine machine;
        row.prepare(machine);
        EXPECT_EQ(OllamaProgram::isOllamaInstalled(machine.search), row.found) << row.name;
    }
}

TEST(OllamaProgram, ShellAnswerCountsOnlyWhenItNamesSomething)
{
    const struct
    {
        const char *name;
        QByteArray script;
        bool found;
    } rows[] = {
        {"asked exactly for the program", R"([ "$1" = "-c" ] && [ "$2" = "command -v ollama" ] && echo /opt/ollama)", true},
        {"white space only", R"(printf ' \n\t\r\n')", false},
        {"name with a failing exit", "echo /opt/ollama; exit 1", false},
        {"not UTF-8", R"(printf '/opt/\377\376\n')", false},
        {"reads its input, which is closed", "read -r line; echo /opt/ollama", true},
        {"answers after the limit", "/bin/sleep 2; echo /opt/ollama", false},
        {"not there", {}, false},
    };
    for (const auto &row : rows) {
        Machine machine;
        if (row.script.isNull())
            machine.search.shell = machine.dir.filePath("no such shell");
        else
            machine.shell(row.script);
        machine.search.shellLimit = 500ms;
        EXPECT_EQ(OllamaProgram::ollamaOnPath(machine.search), row.found) << row.name;
    }
}

} // namespace
