#include "FreshCopy.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdlib>

namespace Bench::FreshCopy {

namespace {

constexpr char inputVariable[] = "ORVANE_BENCH_COPY_INPUT";
constexpr char reportVariable[] = "ORVANE_BENCH_COPY_REPORT";

} // namespace

std::optional<Memory> measure(const QString &benchmark, const QString &input)
{
    const QString report = scratchPath(QStringLiteral("copy-memory.txt"));
    QFile::remove(report);
    qputenv(inputVariable, QFile::encodeName(input));
    qputenv(reportVariable, QFile::encodeName(report));
    const bool ran = runTool(QCoreApplication::applicationFilePath(), {QStringLiteral("--benchmark_filter=^") + benchmark + QStringLiteral("(/|$)")});
    qunsetenv(inputVariable);
    qunsetenv(reportVariable);

    QFile file(report);
    const QList<QByteArray> figures = ran && file.open(QIODevice::ReadOnly) ? file.readAll().split(' ') : QList<QByteArray>();
    if (figures.size() != 2)
        return std::nullopt;
    return Memory{figures[0].toLong(), figures[1].toLong()};
}

std::optional<QString> input()
{
    if (!qEnvironmentVariableIsSet(inputVariable))
        return std::nullopt;
    return QFile::decodeName(qgetenv(inputVariable));
}

void report(const std::function<bool()> &work)
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    const bool restarted = clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1 && clearRefs.flush();
    const long start = statusKiB("VmRSS:");
    const bool worked = work();
    const long peak = statusKiB("VmHWM:");
    QFile out(QFile::decodeName(qgetenv(reportVariable)));
    const bool written = restarted && worked && out.open(QIODevice::WriteOnly)
        && out.write(QByteArray::number(qint64(peak)) + ' ' + QByteArray::number(qint64(start))) > 0;
    out.close();
    std::exit(written ? EXIT_SUCCESS : EXIT_FAILURE);
}

} // namespace Bench::FreshCopy
